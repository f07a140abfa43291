// The options dialog of the real Setup.exe, worked from this process the way
// an administrator would: "/extract", "/defaults", the agreement gate and the
// Save As step.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "log/utf8.h"
#include "resources/resource_ids.h"
#include "tests/support/app_defaults.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/sandbox.h"
#include "tests/support/scripted_user.h"
#include "tests/support/wait.h"

namespace ulverane::testing {
namespace {

const std::wstring kAgreement = L"End-User Licence Agreement";
// The controls that "/defaults" hides.
const int kExtractOnly[] = {IDC_NO_UPDATE_CHECK, IDC_NO_EULA,           IDC_NO_UPDATE_CHECK_NOTE,
                            IDC_NO_EULA_NOTE,    IDC_EXTRACT_SEPARATOR, IDC_EXTRACT_GROUP};

// Pixels of text drawn in grey, as the cue banner is, and not in black.
int GreyPixels(const std::vector<DWORD>& pixels) {
  int grey = 0;
  for (const DWORD pixel : pixels) {
    const int r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
    const int high = std::max({r, g, b}), low = std::min({r, g, b});
    if (high - low < 24 && high >= 0x40 && high <= 0xD8)
      ++grey;
  }
  return grey;
}

RECT Relative(const RECT& area, const RECT& dialog) {
  return {area.left - dialog.left, area.top - dialog.top, area.right - dialog.left,
          area.bottom - dialog.top};
}

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

class OptionsDialogTest : public SandboxTest {
 protected:
  void SetUp() override { CreateDirectoryW(out_.c_str(), nullptr); }

  // Starts the product with `arguments` and waits for `caption`.
  std::unique_ptr<SetupProcess> Start(const std::wstring& arguments,
                                      HWND* dialog,
                                      const std::wstring& caption = kTitle) {
    auto process = SandboxTest::Start(kProduct, arguments);
    *dialog = DialogDriver::WaitFor(process->id(), caption);
    return process;
  }

  // Nothing on disk beyond the program's copy: no package, no working
  // folder under %TEMP%, no Setup.log.
  void ExpectNothingWritten() {
    EXPECT_TRUE(ListTree(temp_).empty());
    EXPECT_TRUE(ListTree(downloads_).empty());
    EXPECT_TRUE(ListTree(out_).empty());
    EXPECT_EQ(ListTree(app_), std::vector<std::wstring>{name_});
  }

  const std::wstring out_ = folder_ / L"out \u00e9";
};

// The package modes make no version check: a Windows that the setup run
// refuses still gets the options dialog.
TEST_F(OptionsDialogTest, ExtractShowsEveryOptionEvenOnARefusedWindows) {
  name_ = L"VistaSetup-" + std::to_wstring(GetCurrentProcessId()) + L".exe";
  AppDefaults vista(name_);
  vista.Version(L"vista");
  {
    // Control: the setup run on this Windows is refused.
    const auto run = SandboxTest::Start(kProduct, L"");
    const HWND refusal = DialogDriver::WaitFor(run->id(), kTitle);
    ASSERT_NE(refusal, nullptr);
    EXPECT_NE(DialogDriver(refusal).Control(0xFFFF).text.find(L"Windows 7 Service Pack 1"),
              std::wstring::npos);
    DialogDriver(refusal).Click(IDOK);
    EXPECT_EQ(run->Wait(), 1u);
    RemoveTree(temp_);
    CreateDirectoryW(temp_.c_str(), nullptr);
  }

  HWND window = nullptr;
  auto process = Start(L"/extract", &window);
  ASSERT_NE(window, nullptr);
  const DialogDriver dialog(window);
  const std::string probe = dialog.Probe(probe_);
  EXPECT_NE(probe.find("icon-small=16\n"), std::string::npos) << probe;
  EXPECT_NE(probe.find("icon-big=32\n"), std::string::npos) << probe;
  EXPECT_NE(probe.find("focus=" + std::to_string(IDC_SAVE) + "\n"), std::string::npos) << probe;
  EXPECT_NE(probe.find("cue." + std::to_string(IDC_INSTALL_FOLDER) + "=[Default]\n"),
            std::string::npos)
      << probe;

  struct Expected {
    int id;
    const wchar_t* className;
    int check;
  };
  const Expected controls[] = {
      {IDC_INSTALL_FOLDER, L"Edit", -1},
      {IDC_DESKTOP_SHORTCUT, L"Button", BST_UNCHECKED},
      {IDC_NO_UPDATE_CHECK, L"Button", BST_UNCHECKED},
      {IDC_NO_EULA, L"Button", BST_UNCHECKED},
      {IDC_NO_UPDATE_CHECK_NOTE, nullptr, -1},
      {IDC_NO_EULA_NOTE, nullptr, -1},
      {IDC_EXTRACT_SEPARATOR, nullptr, -1},
      {IDC_EXTRACT_GROUP, L"Button", -1},
      {IDC_SAVE, L"Button", -1},
      {IDCANCEL, L"Button", -1},
  };
  for (const Expected& e : controls) {
    const ControlInfo control = dialog.Control(e.id);
    EXPECT_EQ(control.id, e.id);
    EXPECT_TRUE(control.visible) << e.id;
    if (e.className != nullptr) {
      EXPECT_EQ(control.className, e.className) << e.id;
    }
    EXPECT_EQ(control.check, e.check) << e.id;
  }
  // Only the program sets the agreement box.
  EXPECT_EQ(GetWindowLongW(GetDlgItem(window, IDC_NO_EULA), GWL_STYLE) & BS_TYPEMASK, BS_CHECKBOX);
  // Empty, with the cue text drawn in grey.
  EXPECT_EQ(dialog.Control(IDC_INSTALL_FOLDER).text, L"");
  EXPECT_GT(GreyPixels(dialog.ClientPixels(IDC_INSTALL_FOLDER)), 20);

  dialog.Click(IDCANCEL);
  EXPECT_EQ(process->Wait(), 0u);
  ExpectNothingWritten();
}

TEST_F(OptionsDialogTest, DefaultsHidesTheExtractSectionAndMovesTheButtonsUp) {
  struct Layout {
    RECT dialog, section, save, cancel, folder, shortcut;
  };
  Layout extract = {}, defaults = {};
  for (const wchar_t* mode : {L"/extract", L"/defaults"}) {
    HWND window = nullptr;
    auto process = Start(mode, &window);
    ASSERT_NE(window, nullptr) << mode;
    const DialogDriver dialog(window);
    const RECT area = dialog.Rect();
    Layout& layout = std::wstring(mode) == L"/extract" ? extract : defaults;
    layout = {area,
              Relative(dialog.Control(IDC_EXTRACT_GROUP).rect, area),
              Relative(dialog.Control(IDC_SAVE).rect, area),
              Relative(dialog.Control(IDCANCEL).rect, area),
              Relative(dialog.Control(IDC_INSTALL_FOLDER).rect, area),
              Relative(dialog.Control(IDC_DESKTOP_SHORTCUT).rect, area)};
    const bool hidden = std::wstring(mode) == L"/defaults";
    for (const int id : kExtractOnly)
      EXPECT_EQ(dialog.Control(id).visible, !hidden) << id;
    for (const int id : {IDC_INSTALL_FOLDER, IDC_DESKTOP_SHORTCUT, IDC_SAVE, IDCANCEL})
      EXPECT_TRUE(dialog.Control(id).visible) << id;
    dialog.Close();
    EXPECT_EQ(process->Wait(), 0u) << mode;
  }
  const LONG shift = extract.section.top - extract.save.top;
  EXPECT_LT(shift, 0);
  EXPECT_EQ(defaults.save.top, extract.section.top);
  EXPECT_EQ(defaults.save.bottom - defaults.save.top, extract.save.bottom - extract.save.top);
  EXPECT_EQ(defaults.save.left, extract.save.left);
  EXPECT_EQ(defaults.cancel.top, extract.cancel.top + shift);
  EXPECT_EQ(defaults.cancel.left, extract.cancel.left);
  EXPECT_EQ(defaults.dialog.bottom - defaults.dialog.top,
            extract.dialog.bottom - extract.dialog.top + shift);
  EXPECT_EQ(defaults.dialog.right - defaults.dialog.left,
            extract.dialog.right - extract.dialog.left);
  EXPECT_TRUE(SameRect(defaults.folder, extract.folder));
  EXPECT_TRUE(SameRect(defaults.shortcut, extract.shortcut));
  ExpectNothingWritten();
}

// The /extract-only controls are disabled too when hidden, so that no
// mnemonic reaches them: Alt+L opens the agreement in /extract only. The
// folder field takes no more than the 259 characters that are kept.
TEST_F(OptionsDialogTest, HiddenControlsTakeNoKeysAndTheFolderFieldKeepsItsLimit) {
  for (const std::wstring mode : {L"/extract", L"/defaults"}) {
    const bool extract = mode == L"/extract";
    HWND window = nullptr;
    auto process = Start(mode, &window);
    ASSERT_NE(window, nullptr);
    for (const int id : kExtractOnly)
      EXPECT_EQ(IsWindowEnabled(GetDlgItem(window, id)) != FALSE, extract) << id;

    PostMessageW(GetDlgItem(window, IDC_SAVE), WM_SYSCHAR, L'l', 1 << 29);  // Alt held
    const HWND eula = DialogDriver::WaitFor(process->id(), kAgreement, extract ? 20000 : 1000);
    EXPECT_EQ(eula != nullptr, extract);
    if (eula != nullptr) {
      DialogDriver(eula).Click(IDCANCEL);
      ASSERT_TRUE(DialogDriver::WaitGone(eula));
    }

    const HWND folder = GetDlgItem(window, IDC_INSTALL_FOLDER);
    for (int i = 0; i < 300; ++i)
      SendMessageTimeoutW(folder, WM_CHAR, L'a' + i % 26, 1, SMTO_ABORTIFHUNG, 5000, nullptr);
    EXPECT_EQ(DialogDriver(window).Control(IDC_INSTALL_FOLDER).text.size(), 259u);
    DialogDriver(window).Click(IDCANCEL);
    EXPECT_EQ(process->Wait(), 0u);
  }
  ExpectNothingWritten();
}

TEST_F(OptionsDialogTest, AgreementMustBeAcceptedOncePerRunBeforeItCanBeSkipped) {
  for (int run = 0; run < 2; ++run) {
    HWND window = nullptr;
    auto process = Start(L"/extract", &window);
    ASSERT_NE(window, nullptr);
    const DialogDriver dialog(window);
    // Declined: the box stays clear, and the next click asks again.
    for (const int answer :
         run == 0 ? std::vector<int>{IDCANCEL, IDOK} : std::vector<int>{IDCANCEL}) {
      dialog.Click(IDC_NO_EULA);
      const HWND eula = DialogDriver::WaitFor(process->id(), kAgreement);
      ASSERT_NE(eula, nullptr) << "run " << run;
      const DialogDriver agreement(eula);
      EXPECT_EQ(GetWindow(eula, GW_OWNER), window);
      EXPECT_EQ(agreement.Control(IDC_EULA_TEXT)
                    .text.rfind(L"Ulverane Photo \u2013 End-User Licence Agreement", 0),
                0u);
      agreement.Click(answer);
      ASSERT_TRUE(DialogDriver::WaitGone(eula));
      EXPECT_TRUE(dialog.WaitForCheck(IDC_NO_EULA, answer == IDOK ? BST_CHECKED : BST_UNCHECKED));
    }
    if (run == 0) {
      // Accepted once: the box toggles without asking again.
      for (const int state : {BST_UNCHECKED, BST_CHECKED, BST_UNCHECKED}) {
        dialog.Click(IDC_NO_EULA);
        EXPECT_TRUE(dialog.WaitForCheck(IDC_NO_EULA, state));
        EXPECT_EQ(DialogDriver::WaitFor(process->id(), kAgreement, kNothingHappensMs), nullptr);
      }
    }
    dialog.Click(IDCANCEL);
    EXPECT_EQ(process->Wait(), 0u);
  }
  ExpectNothingWritten();
}

TEST_F(OptionsDialogTest, SaveAsProposesTheNameAndKeepsEverythingOnCancel) {
  const std::wstring existing = out_ + L"\\existing.msi";
  HWND window = nullptr;
  auto process = Start(L"/extract", &window);
  ASSERT_NE(window, nullptr);
  const DialogDriver dialog(window);
  dialog.Type(IDC_INSTALL_FOLDER, L"D:\\Some where");
  dialog.Click(IDC_DESKTOP_SHORTCUT);
  ASSERT_TRUE(dialog.WaitForCheck(IDC_DESKTOP_SHORTCUT, BST_CHECKED));

  dialog.Command(IDC_SAVE);
  HWND save = DialogDriver::WaitFor(process->id(), L"Save As");
  ASSERT_NE(save, nullptr);
  EXPECT_EQ(GetWindow(save, GW_OWNER), window);
  EXPECT_EQ(DialogDriver(save).Control(ScriptedUser::kSaveAsFileName).text, L"Ulverane.msi");
  DialogDriver(save).Command(IDCANCEL);
  ASSERT_TRUE(DialogDriver::WaitGone(save));
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_EQ(dialog.Control(IDC_INSTALL_FOLDER).text, L"D:\\Some where");
  EXPECT_EQ(dialog.Control(IDC_DESKTOP_SHORTCUT).check, BST_CHECKED);

  // An existing file: the system asks, and "No" goes back to Save As.
  WriteBytes(existing, "keep me");
  dialog.Command(IDC_SAVE);
  save = DialogDriver::WaitFor(process->id(), L"Save As");
  ASSERT_NE(save, nullptr);
  DialogDriver(save).Type(ScriptedUser::kSaveAsFileName, existing);
  DialogDriver(save).Command(IDOK);
  const HWND question = DialogDriver::WaitForOwned(save);
  ASSERT_NE(question, nullptr);
  EXPECT_NE(GetDlgItem(question, IDNO), nullptr);
  PostMessageW(question, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
  ASSERT_TRUE(DialogDriver::WaitGone(question));
  EXPECT_FALSE(DialogDriver::WaitGone(save, kNothingHappensMs)) << "No returns to Save As";
  DialogDriver(save).Command(IDCANCEL);
  ASSERT_TRUE(DialogDriver::WaitGone(save));
  dialog.Click(IDCANCEL);
  EXPECT_EQ(process->Wait(), 0u);
  EXPECT_EQ(ReadBytes(existing), "keep me");
  EXPECT_EQ(ListTree(out_), std::vector<std::wstring>{L"existing.msi"});
}

}  // namespace
}  // namespace ulverane::testing
