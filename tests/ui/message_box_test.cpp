#include "ui/message_box.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "tests/support/box_watcher.h"

namespace ulverane::testing {
namespace {

TEST(MessageBoxTest, ShowsTextUnderTheProductTitle) {
  EXPECT_EQ(SetupTitle(), L"Ulverane Photo Setup");
  struct Case {
    unsigned flags;
    int press;  // 0 closes the box
    int result;
    const wchar_t* icon;
    std::vector<int> buttons;
  };
  const Case cases[] = {
      {MB_OK | MB_ICONERROR, IDOK, IDOK, L"error", {IDOK}},
      {MB_OK | MB_ICONINFORMATION, IDOK, IDOK, L"information", {IDOK}},
      {MB_OKCANCEL | MB_ICONERROR, IDOK, IDOK, L"error", {IDOK, IDCANCEL}},
      {MB_OKCANCEL | MB_ICONERROR, IDCANCEL, IDCANCEL, L"error", {IDOK, IDCANCEL}},
      {MB_OKCANCEL | MB_ICONERROR, 0, IDCANCEL, L"error", {IDOK, IDCANCEL}},
  };
  for (const Case& c : cases) {
    BoxWatcher watcher(c.press);
    const int result = ShowMessageBox(L"Line one\nLine two", c.flags);
    const auto box = watcher.Result();
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(box->caption, L"Ulverane Photo Setup");
    EXPECT_EQ(box->text, L"Line one\nLine two");
    EXPECT_EQ(box->icon, c.icon);
    EXPECT_EQ(box->buttons, c.buttons);
  }
}

}  // namespace
}  // namespace ulverane::testing
