#ifndef ULVERANE_TESTS_PAYLOAD_IMAGE_FIXTURE_H_
#define ULVERANE_TESTS_PAYLOAD_IMAGE_FIXTURE_H_

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "log/logger.h"
#include "payload/executable_image.h"
#include "tests/support/pe_writer.h"
#include "tests/support/temp_folder.h"

namespace ulverane::testing {

inline std::string Pattern(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  unsigned state = seed * 2654435761u + 1;
  for (char& c : bytes) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 16);
  }
  return bytes;
}

inline Resource Bin(std::uint16_t id, std::string data, std::uint16_t language = 2057) {
  return Resource{{L"BIN"}, {L"", id}, language, std::move(data)};
}

// Owns a folder for images and targets, and a setup log there for the cause
// lines of failures.
class ImageFixture : public ::testing::Test {
 protected:
  void SetUp() override { OpenSetupLog(folder_.path() + L"\\"); }
  void TearDown() override {
    setupLog.close();
    setupLog.clear();
  }

  std::wstring WriteImage(const std::string& bytes, const std::wstring& name = L"image.exe") {
    WriteBytes(folder_ / name, bytes);
    return name;
  }

  // Extracts `id` from the image file `name`; returns the exception text, or
  // "" on success.
  std::string Extract(const std::wstring& name, std::uint32_t id, const std::wstring& target) {
    try {
      ExecutableImage image(folder_.path(), name);
      image.ExtractResource(id, target);
      return "";
    } catch (const std::runtime_error& error) {
      return error.what();
    }
  }

  std::string Log() { return ReadBytes(folder_ / L"Setup.log"); }

  TempFolder folder_;
};

}  // namespace ulverane::testing

#endif  // ULVERANE_TESTS_PAYLOAD_IMAGE_FIXTURE_H_
