#include "payload/executable_image.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "image_fixture.h"
#include "tests/test_paths.h"

namespace ulverane::testing {
namespace {

std::wstring CurrentDirectory() {
  wchar_t buffer[MAX_PATH];
  return std::wstring(buffer, GetCurrentDirectoryW(MAX_PATH, buffer));
}

using ExecutableImageTest = ImageFixture;

TEST_F(ExecutableImageTest, FailuresLogTheirCauseAndKeepTheCurrentDirectory) {
  struct Case {
    const char* what;
    std::wstring folder;
    std::wstring file;
    std::string content;  // written to folder\file when not empty
    const char* cause;
  };
  const Case cases[] = {
      {"missing folder", folder_ / L"nowhere", L"image.exe", "", "SetCurrentDirectory failed"},
      {"missing file", folder_.path(), L"absent.exe", "", "ImageLoad failed"},
      {"not an image", folder_.path(), L"text.exe", "just some text, no headers",
       "ImageLoad failed"},
      {"bad PE signature", folder_.path(), L"mz.exe",
       "MZ" + std::string(0x3A, '\0') + "\x40" + std::string(3, '\0') + "PX\0\0",
       "ImageLoad failed"},
  };
  const std::wstring before = CurrentDirectory();
  std::string expectedLog;
  for (const Case& c : cases) {
    if (!c.content.empty())
      WriteBytes(c.folder + L"\\" + c.file, c.content);
    try {
      ExecutableImage image(c.folder, c.file);
      ADD_FAILURE() << c.what << ": loaded";
    } catch (const std::runtime_error& error) {
      EXPECT_STREQ(error.what(), "Image loading failed") << c.what;
    }
    EXPECT_EQ(CurrentDirectory(), before) << c.what;
    expectedLog += std::string(c.cause) + "\n";
  }
  EXPECT_EQ(Log(), expectedLog);
}

TEST_F(ExecutableImageTest, LoadsByBareNameFromItsFolder) {
  const std::string bytes = PeWriter().AddResources({Bin(132, "payload")}).Build();
  // Names the ANSI code page can spell, and one it cannot (found by its short name).
  for (const std::wstring name : {L"Setup.exe", L"S\u00e9tup (1).exe", L"\u30bb\u30c3\u30c8.exe"}) {
    WriteImage(bytes, name);
    const std::wstring before = CurrentDirectory();
    const std::wstring target = folder_ / L"out.bin";
    ExecutableImage image(folder_.path(), name);
    EXPECT_EQ(CurrentDirectory(), before);
    image.ExtractResource(132, target);
    EXPECT_EQ(ReadBytes(target), "payload");
  }
  EXPECT_EQ(Log(), "");
}

TEST_F(ExecutableImageTest, OwnImageFromAnyCurrentDirectory) {
  const std::string expected = ReadBytes(ULVERANE_TEST_SOURCE_DIR L"\\payload\\own_image.bin");
  const std::wstring before = CurrentDirectory();
  ASSERT_TRUE(SetCurrentDirectoryW(folder_.path().c_str()));
  {
    ExecutableImage image;
    image.ExtractResource(200, folder_ / L"own.bin");
    EXPECT_EQ(CurrentDirectory(), folder_.path());
  }
  SetCurrentDirectoryW(before.c_str());
  EXPECT_EQ(ReadBytes(folder_ / L"own.bin"), expected);
}

}  // namespace
}  // namespace ulverane::testing
