// The Setup.exe built beside the tests carries each payload file byte for byte.

#include <gtest/gtest.h>

#include "image_fixture.h"
#include "resources/payload_files.h"
#include "tests/test_paths.h"

namespace ulverane::testing {
namespace {

TEST(ProductPayloadTest, EveryResourceMatchesItsPayloadFile) {
  TempFolder folder;
  ExecutableImage image(ULVERANE_SETUP_DIR, L"Setup.exe");
  for (const PayloadFile& p : kPayloadFiles) {
    const std::wstring target = folder / L"out";
    image.ExtractResource(p.id, target);
    const std::wstring file = *p.culture ? std::wstring(p.culture) + L"\\" + p.name : p.name;
    const std::string expected = ReadBytes(std::wstring(ULVERANE_PAYLOAD_DIR) + L"\\" + file);
    EXPECT_EQ(ReadBytes(target), expected) << p.id;
  }
  for (const std::uint32_t missing : {131u, 145u, 157u}) {
    try {
      image.ExtractResource(missing, folder / L"none");
      ADD_FAILURE() << missing;
    } catch (const std::runtime_error& error) {
      EXPECT_STREQ(error.what(), "ResourceDir::GetChildWithId");
    }
  }
}

}  // namespace
}  // namespace ulverane::testing
