#include "log/utf8.h"

#include <gtest/gtest.h>

namespace ulverane {
namespace {

TEST(ToUtf8Test, ConvertsUtf16) {
  struct Case {
    std::wstring in;
    std::string out;
  };
  const Case cases[] = {
      {L"", ""},
      {L"Setup.log", "Setup.log"},
      {L"C:\\Users\\Ren\u00e9\\", "C:\\Users\\Ren\xC3\xA9\\"},
      {L"\u30d5\u30a9\u30c8", "\xE3\x83\x95\xE3\x82\xA9\xE3\x83\x88"},
      {L"\xD83D\xDCF7", "\xF0\x9F\x93\xB7"},  // a surrogate pair
      {std::wstring(L"ab\0cd", 5), "ab"},     // stops at an embedded zero
      {std::wstring(L"\0x", 2), ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ToUtf8(c.in), c.out) << c.out;
}

TEST(ToUtf8Test, LongText) {
  const std::wstring text(100000, L'\u00e9');
  const std::string utf8 = ToUtf8(text);
  ASSERT_EQ(utf8.size(), 200000u);
  EXPECT_EQ(utf8.substr(199998), "\xC3\xA9");
}

}  // namespace
}  // namespace ulverane
