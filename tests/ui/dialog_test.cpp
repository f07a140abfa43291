// The dialog framework and the two small dialogs, run in this process with
// templates of its own; a second thread plays the user.

#include "ui/dialog.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "base/system_library.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/sandbox.h"
#include "ui/eula_dialog.h"
#include "ui/extract_dialog.h"
#include "ui/extract_result_dialog.h"

namespace ulverane::testing {
namespace {

constexpr int kPlainTemplate = 201;
constexpr int kOtherTemplate = 202;

HINSTANCE Self() {
  return GetModuleHandleW(nullptr);
}

// The default handling, and `onInit` after it.
class PlainDialog : public Dialog<PlainDialog> {
 public:
  explicit PlainDialog(int templateId = kPlainTemplate) : Dialog(Self(), templateId, nullptr) {}
  std::function<void()> onInit;

 protected:
  INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    const INT_PTR result = Dialog::DialogProc(message, wParam, lParam);
    if (message == WM_INITDIALOG && onInit)
      onInit();
    return result;
  }
};

// Keeps its template's caption, to be told apart from PlainDialog.
class OtherDialog : public Dialog<OtherDialog> {
 public:
  OtherDialog() : Dialog(Self(), kOtherTemplate, nullptr) {}

 protected:
  INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    return message == WM_INITDIALOG ? TRUE : Dialog::DialogProc(message, wParam, lParam);
  }
};

BOOL CALLBACK CollectDialogOfThisProcess(HWND window, LPARAM dialogs) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process == GetCurrentProcessId() && ClassName(window) == L"#32770")
    reinterpret_cast<std::vector<HWND>*>(dialogs)->push_back(window);
  return TRUE;
}

// This process's dialog windows, visible or not.
std::vector<HWND> DialogsOfThisProcess() {
  std::vector<HWND> dialogs;
  EnumWindows(CollectDialogOfThisProcess, reinterpret_cast<LPARAM>(&dialogs));
  return dialogs;
}

// Plays the user on a thread of its own while the dialog runs here. A step
// that fails closes the dialogs still open, so that RunModal returns and the
// test ends with its failure instead of waiting for ever.
class User {
 public:
  explicit User(std::function<void()> steps)
      : thread_([steps = std::move(steps)] {
          steps();
          if (::testing::Test::HasFailure()) {
            for (const HWND dialog : DialogsOfThisProcess())
              PostMessageW(dialog, WM_CLOSE, 0, 0);
          }
        }) {}
  ~User() { thread_.join(); }

 private:
  std::thread thread_;
};

TEST(DialogTest, DefaultHandlingSetsIconsAndTitleAndEndsWithTheWholeCommand) {
  struct Case {
    const char* what;
    std::function<void(const DialogDriver&)> act;
    int result;
  };
  const Case cases[] = {
      {"OK", [](const DialogDriver& d) { d.Click(IDOK); }, IDOK},
      {"Cancel", [](const DialogDriver& d) { d.Click(IDCANCEL); }, IDCANCEL},
      {"Escape", [](const DialogDriver& d) { PostMessageW(d.window(), WM_KEYDOWN, VK_ESCAPE, 0); },
       IDCANCEL},
      {"close box", [](const DialogDriver& d) { d.Close(); }, IDCANCEL},
      {"OK with a notification code",
       [](const DialogDriver& d) { PostMessageW(d.window(), WM_COMMAND, MAKEWPARAM(IDOK, 7), 0); },
       MAKEWPARAM(IDOK, 7)},
  };
  for (const Case& c : cases) {
    std::wstring caption;
    HICON small = nullptr, big = nullptr;
    int result = 0;
    {
      User user([&] {
        const HWND window = DialogDriver::WaitFor(GetCurrentProcessId(), kTitle);
        ASSERT_NE(window, nullptr) << c.what;
        const DialogDriver dialog(window);
        caption = dialog.Caption();
        small = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_SMALL, 0));
        big = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_BIG, 0));
        c.act(dialog);
      });
      PlainDialog dialog;
      result = dialog.RunModal();
    }
    EXPECT_EQ(result, c.result) << c.what;
    EXPECT_EQ(caption, kTitle) << c.what;
    EXPECT_NE(small, nullptr) << c.what;
    EXPECT_NE(big, nullptr) << c.what;
  }
}

TEST(DialogTest, SameClassMayNotNestOtherClassesMay) {
  std::string refusal;
  int windowsAfterRefusal = 0;
  int nested = 0;
  PlainDialog outer;
  outer.onInit = [&] {
    try {
      PlainDialog inner;
      inner.RunModal();
    } catch (const std::runtime_error& error) {
      refusal = error.what();
    }
    windowsAfterRefusal = static_cast<int>(DialogsOfThisProcess().size());
    OtherDialog other;
    nested = other.RunModal();
  };
  int result = 0;
  {
    User user([&] {
      const HWND other = DialogDriver::WaitFor(GetCurrentProcessId(), L"Other test dialog");
      ASSERT_NE(other, nullptr);
      DialogDriver(other).Click(IDOK);
      DialogDriver::WaitGone(other);
      const HWND window = DialogDriver::WaitFor(GetCurrentProcessId(), kTitle);
      ASSERT_NE(window, nullptr);
      DialogDriver(window).Click(IDCANCEL);
    });
    result = outer.RunModal();
  }
  EXPECT_EQ(refusal, "Dialog: Reentrance not allowed");
  EXPECT_EQ(windowsAfterRefusal, 1) << "the refused dialog must show nothing";
  EXPECT_EQ(nested, IDOK);
  EXPECT_EQ(result, IDCANCEL);
}

TEST(DialogTest, FailuresLeaveTheClassFreeForTheNextRun) {
  // A missing template: the platform's failure value, twice.
  PlainDialog missing(999);
  EXPECT_EQ(missing.RunModal(), -1);
  EXPECT_EQ(missing.RunModal(), -1);

  // An error inside the procedure leaves through RunModal, not through the
  // platform's message loop.
  PlainDialog throwing;
  throwing.onInit = [] { throw std::runtime_error("raised inside"); };
  try {
    throwing.RunModal();
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "raised inside");
  }
  EXPECT_FALSE(IsWindow(throwing.hwnd()));

  User user([] {
    const HWND window = DialogDriver::WaitFor(GetCurrentProcessId(), kTitle);
    ASSERT_NE(window, nullptr);
    DialogDriver(window).Click(IDOK);
  });
  PlainDialog next;
  EXPECT_EQ(next.RunModal(), IDOK);
}

TEST(DialogTest, AgreementShowsItsTextAsIsAndReturnsTheButton) {
  static const SystemLibrary richEdit(L"riched20.dll");
  const HRSRC resource = FindResourceW(Self(), MAKEINTRESOURCEW(IDR_EULA_TEXT), L"TXT");
  ASSERT_NE(resource, nullptr);
  const std::string rtf(static_cast<const char*>(LockResource(LoadResource(Self(), resource))),
                        SizeofResource(Self(), resource));
  struct Case {
    std::string text;
    int button;
    const wchar_t* shown;  // the start of the control's plain text
  };
  const Case cases[] = {
      {"", IDOK, L""},
      {"plain words", IDCANCEL, L"plain words"},
      {rtf, IDOK, L"Ulverane Photo \u2013 End-User Licence Agreement"},
  };
  for (const Case& c : cases) {
    std::wstring shown;
    int result = 0;
    {
      User user([&] {
        const HWND window =
            DialogDriver::WaitFor(GetCurrentProcessId(), L"End-User Licence Agreement");
        ASSERT_NE(window, nullptr);
        const DialogDriver dialog(window);
        shown = dialog.Control(IDC_EULA_TEXT).text;
        EXPECT_EQ(dialog.Control(IDC_EULA_TEXT).className, L"RichEdit20W");
        dialog.Click(c.button);
      });
      EulaDialog dialog(Self(), nullptr, c.text);
      result = dialog.RunModal();
    }
    EXPECT_EQ(result, c.button);
    EXPECT_EQ(shown.substr(0, std::wstring(c.shown).size()), c.shown);
    if (*c.shown == L'\0') {
      EXPECT_EQ(shown, L"");
    }
    EXPECT_EQ(shown.find(L"\\rtf"), std::wstring::npos);
  }
}

// This program's copies of the templates carry another caption: the title
// and the icons come from the dialog's own code.
TEST(DialogTest, OptionsDialogShowsTheProductTitleAndIcons) {
  std::wstring caption;
  HICON small = nullptr, big = nullptr;
  int result = 0;
  {
    User user([&] {
      const HWND window = DialogDriver::WaitFor(GetCurrentProcessId(), nullptr);
      ASSERT_NE(window, nullptr);
      caption = DialogDriver(window).Caption();
      small = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_SMALL, 0));
      big = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_BIG, 0));
      DialogDriver(window).Click(IDCANCEL);
    });
    ExtractDialog dialog(Self(), false);
    result = dialog.RunModal();
  }
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(caption, kTitle);
  EXPECT_NE(small, nullptr);
  EXPECT_NE(big, nullptr);
}

TEST(DialogTest, CompletionOffersExplorerCheckedAtFirst) {
  struct Case {
    const char* what;
    bool clear;
    int button;  // 0: the close box
    int result;
    bool openExplorer;
  };
  const Case cases[] = {
      {"OK", false, IDOK, IDOK, true},
      {"cleared, OK", true, IDOK, IDOK, false},
      {"Cancel", false, IDCANCEL, IDCANCEL, false},
      {"close box", false, 0, IDCANCEL, false},
  };
  for (const Case& c : cases) {
    int checkedAtFirst = -1;
    std::wstring caption;
    int result = 0;
    ExtractResultDialog dialog(Self(), L"C:\\some where\\package.msi");
    {
      User user([&] {
        const HWND window = DialogDriver::WaitFor(GetCurrentProcessId(), nullptr);
        ASSERT_NE(window, nullptr);
        const DialogDriver driver(window);
        caption = driver.Caption();
        checkedAtFirst = driver.Control(IDC_OPEN_EXPLORER).check;
        if (c.clear) {
          driver.Click(IDC_OPEN_EXPLORER);
          ASSERT_TRUE(driver.WaitForCheck(IDC_OPEN_EXPLORER, BST_UNCHECKED));
        }
        if (c.button == 0)
          driver.Close();
        else
          driver.Click(c.button);
      });
      result = dialog.RunModal();
    }
    EXPECT_EQ(checkedAtFirst, BST_CHECKED) << c.what;
    EXPECT_EQ(caption, kTitle) << c.what;
    EXPECT_EQ(result, c.result) << c.what;
    EXPECT_EQ(dialog.openExplorer(), c.openExplorer) << c.what;
    EXPECT_EQ(dialog.packagePath(), L"C:\\some where\\package.msi");
  }
}

}  // namespace
}  // namespace ulverane::testing
