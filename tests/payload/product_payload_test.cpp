// The Setup.exe built beside the tests carries each payload file byte for byte.

#include <gtest/gtest.h>

#include "image_fixture.h"
#include "tests/test_paths.h"

namespace ulverane::testing {
namespace {

struct PayloadFile {
  std::uint32_t id;
  const wchar_t* file;
};

constexpr PayloadFile kPayload[] = {
    {132, L"DotNet.exe"},
    {133, L"SetupUI.exe"},
    {134, L"SetupUI.exe.config"},
    {135, L"Ulverane.msi"},
    {136, L"de\\SetupUI.resources.dll"},
    {137, L"en-US\\SetupUI.resources.dll"},
    {138, L"es\\SetupUI.resources.dll"},
    {139, L"fr\\SetupUI.resources.dll"},
    {140, L"it\\SetupUI.resources.dll"},
    {141, L"ja\\SetupUI.resources.dll"},
    {142, L"pt-BR\\SetupUI.resources.dll"},
    {143, L"ru\\SetupUI.resources.dll"},
    {144, L"zh-Hans\\SetupUI.resources.dll"},
};

TEST(ProductPayloadTest, EveryResourceMatchesItsPayloadFile) {
  TempFolder folder;
  ExecutableImage image(ULVERANE_SETUP_DIR, L"Setup.exe");
  for (const PayloadFile& p : kPayload) {
    const std::wstring target = folder / L"out";
    image.ExtractResource(p.id, target);
    const std::string expected = ReadBytes(std::wstring(ULVERANE_PAYLOAD_DIR) + L"\\" + p.file);
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
