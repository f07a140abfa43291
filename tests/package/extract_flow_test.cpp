// "/extract" and "/defaults" end to end on the real Setup.exe, worked from
// this process like an administrator would, then the packages deployed with
// msiexec the way they are meant to be.

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "log/utf8.h"
#include "resources/resource_ids.h"
#include "tests/package/package_results.h"
#include "tests/support/call_trace.h"
#include "tests/support/damaged_copy.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/planted_dlls.h"
#include "tests/support/sandbox.h"
#include "tests/support/wait.h"
#include "tests/support/wow64.h"

namespace ulverane::testing {
namespace {

struct Choices {
  std::wstring folder;
  bool shortcut = false;
  bool noUpdateCheck = false;
  bool noEula = false;
};

std::wstring KnownFolder(int id) {
  wchar_t path[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, id, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

bool DesktopShortcutExists() {
  for (const int id : {CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY})
    if (Exists(KnownFolder(id) + L"\\Ulverane Photo.lnk"))
      return true;
  return false;
}

// The product's values under its key, in the 32-bit view that the 32-bit
// package writes; -1 where there is none.
long ProductValue(const wchar_t* name) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Ulverane\\Photo", 0,
                    KEY_QUERY_VALUE | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS)
    return -1;
  DWORD value = 0, size = sizeof(value), type = 0;
  const LSTATUS status =
      RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  return status == ERROR_SUCCESS && type == REG_DWORD ? static_cast<long>(value) : -1;
}

DWORD Msiexec(const std::wstring& arguments) {
  SetupProcess msiexec(SystemFolder() + L"\\msiexec.exe", arguments, SystemFolder());
  return msiexec.Wait(120000);
}

class ExtractFlowTest : public SandboxTest {
 protected:
  // Works the options dialog of `process` and saves to `target`; answers
  // the overwrite question with Yes when `target` exists.
  void ChooseAndSave(const SetupProcess& process,
                     const Choices& choices,
                     const std::wstring& target) {
    const HWND window = DialogDriver::WaitFor(process.id(), kTitle);
    ASSERT_NE(window, nullptr);
    const DialogDriver options(window);
    options.Type(IDC_INSTALL_FOLDER, choices.folder);
    const std::pair<int, bool> boxes[] = {{IDC_DESKTOP_SHORTCUT, choices.shortcut},
                                          {IDC_NO_UPDATE_CHECK, choices.noUpdateCheck}};
    for (const auto& [id, on] : boxes) {
      if (on) {
        options.Click(id);
        ASSERT_TRUE(options.WaitForCheck(id, BST_CHECKED)) << id;
      }
    }
    if (choices.noEula) {
      options.Click(IDC_NO_EULA);
      const HWND eula = DialogDriver::WaitFor(process.id(), L"End-User Licence Agreement");
      ASSERT_NE(eula, nullptr);
      DialogDriver(eula).Click(IDOK);
      ASSERT_TRUE(options.WaitForCheck(IDC_NO_EULA, BST_CHECKED));
    }
    options.Command(IDC_SAVE);
    ASSERT_TRUE(DialogDriver::SaveAs(process.id(), target));
    ASSERT_TRUE(DialogDriver::WaitGone(window));
  }

  // The completion dialog: checks its box is on, then clears it if asked
  // and presses `button`.
  void Complete(const SetupProcess& process, bool clear, int button) {
    const HWND window = DialogDriver::WaitFor(process.id(), kTitle, 60000);
    ASSERT_NE(window, nullptr);
    const DialogDriver done(window);
    EXPECT_EQ(done.Control(IDC_OPEN_EXPLORER).check, BST_CHECKED);
    if (clear) {
      done.Click(IDC_OPEN_EXPLORER);
      ASSERT_TRUE(done.WaitForCheck(IDC_OPEN_EXPLORER, BST_UNCHECKED));
    }
    done.Click(button);
  }
};

// Every option, a folder and a file name with blanks and a non-ASCII letter,
// no extension; the agreement accepted on the way. Explorer comes from the
// Windows folder, whatever lies beside Setup.exe or in the current folder,
// and so do msi.dll and riched20.dll.
TEST_F(ExtractFlowTest, ExtractWithEveryOptionDeploysSilently) {
  const std::wstring folder = L"C:\\Program Files\\Ulverane \u00e9 Test";
  const std::wstring deploy = kResults + L"\\Deploy \u00e9 1";
  const std::wstring package = deploy + L"\\extract package";
  RemoveTree(deploy);
  CreateDirectoryW(deploy.c_str(), nullptr);

  for (const std::wstring& place : {app_, downloads_})
    ASSERT_TRUE(CopyFileW((kBinaries + L"\\stand_in.exe").c_str(),
                          (place + L"\\explorer.exe").c_str(), FALSE));
  const PlantedDlls planted({app_, downloads_}, {L"msi.dll", L"riched20.dll"});
  ASSERT_TRUE(planted.ProbeLoads(app_, L"msi.dll")) << "planting does not work here";
  name_ = planted.program();
  // The trace of the product's system calls tells what Explorer was given,
  // which Wine's Explorer does not show.
  const std::wstring trace = folder_ / L"calls.txt";
  const ScopedEnvironment tracing(L"ULVERANE_FAULT_TRACE", trace);

  ExpectRows(package, {{L"NO_UPDATE_CHECK_PROPERTY", L"#1"},
                       {L"NO_EULA_PROPERTY", L"#1"},
                       {L"INSTALL_DESKTOP_SHORTCUT_PROPERTY", L"#1"},
                       {L"INSTALL_DIR_PROPERTY", folder}});
  auto process = Start(kProduct, L"/extract", kFaultDll);
  ChooseAndSave(*process, {folder, true, true, true}, package);
  Complete(*process, false, IDOK);
  const HWND explorer = DialogDriver::WaitForWindow(L"ExplorerWClass", L"Deploy \u00e9 1", 20000);
  EXPECT_NE(explorer, nullptr) << "Explorer did not open the package's folder";
  if (explorer != nullptr)
    PostMessageW(explorer, WM_CLOSE, 0, 0);
  EXPECT_EQ(process->Wait(), 0u);
  EXPECT_FALSE(Exists(report_)) << "a planted explorer.exe ran:\n" << ReadBytes(report_);
  wchar_t windows[MAX_PATH] = {};
  GetSystemWindowsDirectoryW(windows, MAX_PATH);
  EXPECT_EQ(CallsOf(ReadTrace(trace), "ShellExecuteW"),
            std::vector<std::string>{
                ToUtf8(std::wstring(windows) + L"\\explorer.exe\t/select,\"" + package + L"\"")});
  EXPECT_TRUE(planted.Loaded().empty()) << ToUtf8(planted.Loaded().front());

  EXPECT_EQ(ListTree(deploy),
            (std::vector<std::wstring>{L"extract package", L"extract package.expect"}));

  EXPECT_EQ(Msiexec(L"/i \"" + package + L"\" /qn"), 0u);
  EXPECT_TRUE(Exists(folder + L"\\Readme.txt"));
  EXPECT_TRUE(DesktopShortcutExists());
  EXPECT_EQ(ProductValue(L"NoUpdateCheck"), 1);
  EXPECT_EQ(ProductValue(L"NoEula"), 1);
  EXPECT_EQ(Msiexec(L"/x \"" + package + L"\" /qn"), 0u);
  EXPECT_FALSE(Exists(folder + L"\\Readme.txt"));
  EXPECT_FALSE(DesktopShortcutExists());
}

// A loader without SetDefaultDllDirectories (Windows 7 SP1 without its
// update, Vista, XP) searches the program's folder first for a DLL named
// bare; the delay-loaded ones come from the system folder all the same.
TEST_F(ExtractFlowTest, OldLoaderStillTakesDelayLoadedDllsFromTheSystemFolder) {
  const PlantedDlls planted({app_, downloads_}, {L"msi.dll", L"comdlg32.dll"});
  ASSERT_TRUE(planted.ProbeLoads(app_, L"comdlg32.dll")) << "planting does not work here";
  const ScopedEnvironment oldLoader(L"ULVERANE_FAULT_HIDE", L"SetDefaultDllDirectories");
  const std::wstring package = folder_ / L"old loader.msi";
  name_ = planted.program();
  const auto process = Start(kProduct, L"/extract", kFaultDll);
  ASSERT_TRUE(process->started());
  ChooseAndSave(*process, {}, package);
  Complete(*process, true, IDCANCEL);
  EXPECT_EQ(process->Wait(), 0u);
  EXPECT_TRUE(Exists(package));
  EXPECT_TRUE(planted.Loaded().empty()) << ToUtf8(planted.Loaded().front());
}

// "/defaults" writes the shortcut flag, and the folder only when one was
// typed; the package's own defaults stay. No Explorer when the box is
// cleared or the dialog cancelled.
TEST_F(ExtractFlowTest, DefaultsWritesAtMostTwoRows) {
  const std::wstring plain = kResults + L"\\defaults.msi";
  const std::wstring typed = kResults + L"\\defaults-folder.msi";
  for (const std::wstring& path : {plain, typed})
    DeleteFileW(path.c_str());

  ExpectRows(plain, {{L"INSTALL_DESKTOP_SHORTCUT_PROPERTY", L"#0"}},
             {L"INSTALL_DIR_PROPERTY", L"NO_EULA_PROPERTY"});
  ExpectRows(typed,
             {{L"INSTALL_DESKTOP_SHORTCUT_PROPERTY", L"#1"},
              {L"INSTALL_DIR_PROPERTY", L"D:\\Apps\\Ulverane"}},
             {L"NO_EULA_PROPERTY"});
  auto first = Start(kProduct, L"/defaults");
  ChooseAndSave(*first, {}, plain);
  Complete(*first, true, IDOK);
  EXPECT_EQ(first->Wait(), 0u);

  // A signed image writes the same package.
  auto second = Start(kBinaries + L"\\app\\setup_signed.exe", L"/defaults");
  ChooseAndSave(*second, {L"D:\\Apps\\Ulverane", true}, typed);
  Complete(*second, false, IDCANCEL);
  EXPECT_EQ(second->Wait(), 0u);
  EXPECT_EQ(DialogDriver::WaitForWindow(L"ExplorerWClass", L"results", kNothingHappensMs), nullptr);

  // Into the package's default folder, without a shortcut.
  const std::wstring folder = KnownFolder(CSIDL_PROGRAM_FILESX86) + L"\\Ulverane Photo";
  EXPECT_EQ(Msiexec(L"/i \"" + plain + L"\" /qn"), 0u);
  EXPECT_TRUE(Exists(folder + L"\\Readme.txt")) << ToUtf8(folder);
  EXPECT_FALSE(DesktopShortcutExists());
  EXPECT_EQ(ProductValue(L"NoUpdateCheck"), 0);
  EXPECT_EQ(Msiexec(L"/x \"" + plain + L"\" /qn"), 0u);
  EXPECT_FALSE(Exists(folder + L"\\Readme.txt"));
}

// One run per box, with only that box checked: each feeds its own property,
// and a cleared box writes "#0". The second run saves over the first run's
// package, the third over a file that is no package; both after the
// system's question, and nothing else is left in the folder.
TEST_F(ExtractFlowTest, EachBoxFeedsItsOwnPropertyAlsoOverAnExistingFile) {
  const std::wstring folder = kResults + L"\\boxes";
  RemoveTree(folder);
  CreateDirectoryW(folder.c_str(), nullptr);
  struct Case {
    Choices choices;
    const wchar_t* file;
    const wchar_t* existing;  // copied there first, or "" for text, or null for none
    const wchar_t* update;
    const wchar_t* eula;
    const wchar_t* shortcut;
  };
  const Case cases[] = {
      {{L"", true, false, false}, L"shortcut.msi", nullptr, L"#0", L"#0", L"#1"},
      {{L"", false, true, false}, L"update.msi", L"shortcut.msi", L"#1", L"#0", L"#0"},
      {{L"", false, false, true}, L"eula.msi", L"", L"#0", L"#1", L"#0"},
  };
  std::vector<std::wstring> written;
  for (const Case& c : cases) {
    const std::wstring target = folder + L"\\" + c.file;
    if (c.existing != nullptr && *c.existing != L'\0')
      ASSERT_TRUE(CopyFileW((folder + L"\\" + c.existing).c_str(), target.c_str(), FALSE));
    else if (c.existing != nullptr)
      WriteBytes(target, "no package, but the administrator's own file");
    ExpectRows(target,
               {{L"NO_UPDATE_CHECK_PROPERTY", c.update},
                {L"NO_EULA_PROPERTY", c.eula},
                {L"INSTALL_DESKTOP_SHORTCUT_PROPERTY", c.shortcut}},
               {L"INSTALL_DIR_PROPERTY"});
    auto process = Start(kProduct, L"/extract");
    ChooseAndSave(*process, c.choices, target);
    Complete(*process, true, IDOK);
    EXPECT_EQ(process->Wait(), 0u) << ToUtf8(c.file);
    written.push_back(std::wstring(c.file));
    written.push_back(std::wstring(c.file) + L".expect");
    std::sort(written.begin(), written.end());
    EXPECT_EQ(ListTree(folder), written) << ToUtf8(c.file);
  }
}

// Saved over a file, the package takes over its attributes and permissions
// and reaches the disk before it takes the file's place: a power cut after
// the move cannot leave unwritten data under the chosen name. A null DACL
// (everyone may write) is not passed on: the package keeps its folder's.
TEST_F(ExtractFlowTest, SaveOverAFileIsDurableAndKeepsItsLook) {
  for (const bool nullDacl : {false, true}) {
    const std::wstring name = nullDacl ? L"open.msi" : L"hidden.msi";
    const std::wstring target = folder_ / name;
    WriteBytes(target, "an earlier package");
    ASSERT_TRUE(SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    const std::wstring trace = folder_ / L"calls.txt";
    DeleteFileW(trace.c_str());
    const ScopedEnvironment tracing(L"ULVERANE_FAULT_TRACE", trace);
    const ScopedEnvironment open(L"ULVERANE_FAULT_NULL_DACL", nullDacl ? name : L"");
    auto process = Start(kProduct, L"/extract", kFaultDll);
    ChooseAndSave(*process, {}, target);
    Complete(*process, true, IDCANCEL);
    EXPECT_EQ(process->Wait(), 0u);
    EXPECT_EQ(GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_HIDDEN);

    // The new file's steps, in order, each on the new file, the move last.
    std::string fresh;
    for (const TracedCall& call : ReadTrace(trace)) {
      if (call.function == "MoveFileExW" && call.details.size() == 2) {
        fresh = call.details[0];
        EXPECT_EQ(call.details[1], ToUtf8(target));
      }
    }
    ASSERT_FALSE(fresh.empty()) << "no move";
    std::vector<std::string> steps;
    for (const TracedCall& call : ReadTrace(trace))
      if (!call.details.empty() && call.details[0] == fresh && call.function != "CreateFileW")
        // Of the permissions, only that a DACL was given.
        steps.push_back(call.function + (call.details.size() < 2 ? ""
                                         : call.function == "SetSecurityInfo"
                                             ? " " + call.details[1].substr(0, 2)
                                             : " " + call.details[1]));
    std::vector<std::string> expected = {"SetFileAttributesW 0x22",
                                         "SetSecurityInfo D:", "FlushFileBuffers",
                                         "MoveFileExW " + ToUtf8(target)};
    if (nullDacl)
      expected.erase(expected.begin() + 1);
    ASSERT_GE(steps.size(), expected.size());
    steps.erase(steps.begin(), steps.end() - static_cast<std::ptrdiff_t>(expected.size()));
    EXPECT_EQ(steps, expected);
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

// Failures before the commit leave no package and no temporary file, and an
// existing file exactly as it was.
TEST_F(ExtractFlowTest, FailuresLeaveNothingAndKeepExistingFiles) {
  const std::wstring notMsi = kBinaries + L"\\package\\setup_pkg_notmsi.exe";
  const std::wstring noProperty = kBinaries + L"\\package\\setup_pkg_noproperty.exe";
  const std::wstring target = folder_ / L"target";
  const std::wstring damaged = folder_ / L"damaged.exe";
  ASSERT_TRUE(CopyWithDamagedResource(kProduct, damaged, 135, -1));
  struct Case {
    const char* what;
    std::wstring exe;
    std::wstring file;     // relative to the target folder
    const char* existing;  // content of an existing file, or null
    DWORD attributes;      // of the existing file
    bool lock;             // held open by this test without sharing
    const char* message;
  };
  const Case cases[] = {
      {"not a package", notMsi, L"new.msi", nullptr, 0, false, "MsiOpenDatabase failed"},
      {"not a package, over a file", notMsi, L"old.msi", "old bytes", FILE_ATTRIBUTE_NORMAL, false,
       "MsiOpenDatabase failed"},
      {"no Property table", noProperty, L"new.msi", nullptr, 0, false,
       "MsiDatabaseOpenView failed"},
      {"folder missing", kProduct, L"missing\\new.msi", nullptr, 0, false, "Image loading failed"},
      {"read-only file", kProduct, L"old.msi", "old bytes", FILE_ATTRIBUTE_READONLY, false,
       "Image loading failed"},
      {"locked file", kProduct, L"old.msi", "old bytes", FILE_ATTRIBUTE_NORMAL, true,
       "Image loading failed"},
      {"damaged package, over a file", damaged, L"old.msi", "old bytes", FILE_ATTRIBUTE_NORMAL,
       false, "Payload check failed"},
  };
  for (const Case& c : cases) {
    RemoveTree(target);
    CreateDirectoryW(target.c_str(), nullptr);
    const std::wstring path = target + L"\\" + c.file;
    HANDLE lock = INVALID_HANDLE_VALUE;
    if (c.existing != nullptr) {
      WriteBytes(path, c.existing);
      SetFileAttributesW(path.c_str(), c.attributes);
      if (c.lock)
        lock = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    }
    auto process = Start(c.exe, L"/extract");
    ChooseAndSave(*process, {}, path);
    const HWND box = DialogDriver::WaitFor(process->id(), L"Ulverane Setup", 30000);
    ASSERT_NE(box, nullptr) << c.what;
    EXPECT_EQ(DialogDriver(box).Control(0xFFFF).text, L"Exception: " + Widen(c.message)) << c.what;
    DialogDriver(box).Click(IDOK);
    EXPECT_EQ(process->Wait(), 0u) << c.what;
    if (lock != INVALID_HANDLE_VALUE)
      CloseHandle(lock);
    if (c.existing != nullptr) {
      EXPECT_EQ(ReadBytes(path), c.existing) << c.what;
      EXPECT_EQ(ListTree(target), std::vector<std::wstring>{c.file}) << c.what;
    } else {
      EXPECT_TRUE(ListTree(target).empty()) << c.what;
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

}  // namespace
}  // namespace ulverane::testing
