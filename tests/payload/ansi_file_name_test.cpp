#include "payload/ansi_file_name.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "tests/support/temp_folder.h"

namespace ulverane::testing {
namespace {

// Windows 10 and 11 may run with UTF-8 as the ANSI code page; the check for a
// lossy spelling must work there as well as with a legacy code page.
TEST(AnsiFileNameTest, SpellsExactlyOrNotAtAll) {
  struct Case {
    const wchar_t* text;
    UINT codePage;
    const char* spelled;  // null: cannot be spelled
  };
  const Case cases[] = {
      {L"Setup.exe", 1252, "Setup.exe"},
      {L"S\u00e9tup (1).exe", 1252, "S\xe9tup (1).exe"},
      {L"\u30bb\u30c3\u30c8.exe", 1252, nullptr},
      {L"\u0101.exe", 1252, nullptr},  // best fit would make it "a.exe"
      {L"Setup.exe", CP_UTF8, "Setup.exe"},
      {L"S\u00e9tup (1).exe", CP_UTF8, "S\xc3\xa9tup (1).exe"},
      {L"\u30bb\u30c3\u30c8.exe", CP_UTF8, "\xe3\x82\xbb\xe3\x83\x83\xe3\x83\x88.exe"},
      {L"\xd800.exe", CP_UTF8, nullptr},  // a lone surrogate
      {L"\u30bb.exe", 932, "\x83\x5a.exe"},
      {L"", 1252, nullptr},
  };
  for (const Case& c : cases) {
    const std::optional<std::string> spelled = SpellInCodePage(c.text, c.codePage);
    ASSERT_EQ(spelled.has_value(), c.spelled != nullptr) << c.codePage << " " << c.spelled;
    if (c.spelled != nullptr)
      EXPECT_EQ(*spelled, c.spelled) << c.codePage;
  }
}

TEST(AnsiFileNameTest, FallsBackToTheShortName) {
  TempFolder folder;
  wchar_t saved[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, saved);
  SetCurrentDirectoryW(folder.path().c_str());
  const std::wstring name = L"\u30bb\u30c3\u30c8 long name.exe";
  WriteBytes(folder / name, "image");
  for (const UINT codePage : {1252u, static_cast<UINT>(CP_UTF8)}) {
    const std::optional<std::string> ansi = AnsiFileName(name, codePage);
    ASSERT_TRUE(ansi.has_value()) << codePage;
    // Whatever the spelling, it names the same file.
    std::wstring back(MAX_PATH, L'\0');
    back.resize(MultiByteToWideChar(codePage, 0, ansi->c_str(), -1, back.data(), MAX_PATH) - 1);
    EXPECT_EQ(ReadBytes(folder / back), "image") << codePage;
  }
  EXPECT_FALSE(AnsiFileName(L"\u30bb missing.exe", 1252).has_value());
  SetCurrentDirectoryW(saved);
}

}  // namespace
}  // namespace ulverane::testing
