// Runs the real setup executable, built with test payloads, under the
// platform: answers its boxes with the out-of-process driver and inspects
// its exit code, its working folder and its log.

#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "log/utf8.h"
#include "tests/support/environment.h"
#include "tests/support/planted_dlls.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wow64.h"
#include "tests/test_paths.h"

namespace ulverane::testing {
namespace {

const std::wstring kBinaries = ULVERANE_TEST_BINARY_DIR;
const std::wstring kPayload = kBinaries + L"\\app\\e2e-payload";
const std::wstring kLargePayload = kBinaries + L"\\app\\e2e-large-payload";
const char kDotNetText[] =
    "Failed to start Setup. It looks like Microsoft .NET 3.5 has been turned off on this "
    "computer.\\nOpen the Windows Features app to turn it back on?";

struct Outcome {
  DWORD exitCode = 0;
  std::string boxes;  // what the driver saw, FormatBox lines
};

std::string Box(const std::string& caption,
                const std::string& text,
                const std::string& icon,
                const std::string& buttons) {
  return "caption=" + caption + "\ntext=" + text + "\nicon=" + icon + "\nbuttons=" + buttons + "\n";
}

void RunAndWait(const std::wstring& commandLine) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process;
  std::wstring line = commandLine;
  ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &process));
  WaitForSingleObject(process.hProcess, 60000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

// The registry view the product sees (the 32-bit one for the 32-bit image on
// 64-bit Windows), and the other one.
constexpr REGSAM kOwnView = sizeof(void*) == 4 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
constexpr REGSAM kOtherView = sizeof(void*) == 4 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;

class SetupExeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const std::wstring& folder : {temp_, app_, downloads_})
      CreateDirectoryW(folder.c_str(), nullptr);
  }

  // Starts <variant>.exe as Setup.exe with `arguments`, the driver answering
  // up to `buttons.size()` boxes, and waits for both.
  Outcome Run(const wchar_t* variant,
              const std::wstring& arguments,
              std::vector<int> buttons = {1},
              const std::wstring& temp = L"") {
    Outcome outcome;
    const std::wstring setup = app_ + L"\\Setup.exe";
    CopyFileW((kBinaries + L"\\app\\" + variant + L".exe").c_str(), setup.c_str(), FALSE);
    ScopedEnvironment tmp(L"TMP", (temp.empty() ? temp_ : temp) + L"\\");
    ScopedEnvironment tmp2(L"TEMP", (temp.empty() ? temp_ : temp) + L"\\");
    ScopedEnvironment report(L"ULVERANE_STANDIN_REPORT", report_);

    PROCESS_INFORMATION process = Start(L"\"" + setup + L"\" " + arguments, downloads_, true);
    std::wstring driverLine = L"\"" + kBinaries + L"\\box_driver.exe\" \"" + boxes_ + L"\" 30000 " +
                              std::to_wstring(process.dwProcessId);
    for (const int button : buttons)
      driverLine += L" " + std::to_wstring(button);
    PROCESS_INFORMATION driver = Start(driverLine, folder_.path(), false);
    ResumeThread(process.hThread);

    if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) {
      ADD_FAILURE() << "Setup.exe did not end";
      TerminateProcess(process.hProcess, 99);
    }
    GetExitCodeProcess(process.hProcess, &outcome.exitCode);
    // Every box was answered by now; a driver still waiting has nothing to see.
    if (WaitForSingleObject(driver.hProcess, 1000) != WAIT_OBJECT_0)
      TerminateProcess(driver.hProcess, 0);
    WaitForSingleObject(driver.hProcess, 5000);
    for (const HANDLE h : {process.hThread, process.hProcess, driver.hThread, driver.hProcess})
      CloseHandle(h);
    if (Exists(boxes_)) {
      outcome.boxes = ReadBytes(boxes_);
      DeleteFileW(boxes_.c_str());
    }
    return outcome;
  }

  PROCESS_INFORMATION Start(std::wstring commandLine,
                            const std::wstring& directory,
                            bool suspended) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    EXPECT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                               suspended ? CREATE_SUSPENDED : 0, nullptr, directory.c_str(),
                               &startup, &process));
    return process;
  }

  // The working folders made under `temp`, each ending in a backslash.
  std::vector<std::wstring> WorkingFolders(const std::wstring& temp = L"") {
    const std::wstring parent = (temp.empty() ? temp_ : temp) + L"\\UlveraneSetup\\";
    std::vector<std::wstring> folders;
    for (const std::wstring& entry : ListTree(parent))
      if (entry.back() == L'\\' && entry.find(L'\\') == entry.size() - 1)
        folders.push_back(parent + entry);
    return folders;
  }

  std::string Report() { return Exists(report_) ? ReadBytes(report_) : ""; }

  // The file= lines the stand-in should see beside itself: the payload.
  std::set<std::string> PayloadLines(const std::wstring& payload = kPayload) {
    std::set<std::string> lines;
    for (const std::wstring& entry : ListTree(payload)) {
      if (entry.back() == L'\\')
        continue;
      lines.insert("file=" + ToUtf8(entry) + " " + FileDigest(payload + L"\\" + entry));
    }
    return lines;
  }

  std::string LauncherLines(const std::wstring& folder, int exitCode) {
    return "Trying to start process: " + ToUtf8(folder) + "SetupUI.exe /log=true\n" +
           "  Succeeded: 1\nWaiting for process to finish...\n  Exit code: " +
           std::to_string(exitCode) + "\n";
  }

  TempFolder folder_;
  const std::wstring temp_ = folder_ / L"temp";
  const std::wstring app_ = folder_ / L"app";
  const std::wstring downloads_ = folder_ / L"downloads";
  const std::wstring report_ = folder_ / L"report.txt";
  const std::wstring boxes_ = folder_ / L"boxes.txt";
};

// The large package is as big as the product's: 481,894,400 bytes. A signed
// image carries its signature after its last section; the payload is found
// through the section table all the same.
TEST_F(SetupExeTest, NormalRunUnpacksStartsAndCleansUp) {
  for (const auto& [variant, payload] :
       {std::pair{L"setup_e2e", kPayload}, std::pair{L"setup_e2e_large", kLargePayload},
        std::pair{L"setup_e2e_signed", kPayload}}) {
    RemoveTree(temp_ + L"\\UlveraneSetup");
    DeleteFileW(report_.c_str());
    const Outcome outcome = Run(variant, L"");
    EXPECT_EQ(outcome.exitCode, 0u);
    EXPECT_EQ(outcome.boxes, "");
    const auto folders = WorkingFolders();
    ASSERT_EQ(folders.size(), 1u);
    const std::wstring& folder = folders[0];

    std::istringstream report(Report());
    std::set<std::string> seen;
    std::string line, args, cwd;
    while (std::getline(report, line)) {
      if (line.rfind("file=", 0) == 0 && line.rfind("file=Setup.log ", 0) != 0)
        seen.insert(line);
      if (line.rfind("args=", 0) == 0)
        args = line;
      if (line.rfind("cwd=", 0) == 0)
        cwd = line;
    }
    EXPECT_EQ(args, "args=/log=true");
    EXPECT_EQ(cwd, "cwd=" + ToUtf8(downloads_));
    EXPECT_EQ(seen, PayloadLines(payload));
    EXPECT_EQ(seen.size(), 13u);

    EXPECT_EQ(ListTree(folder), std::vector<std::wstring>{L"Setup.log"});
    EXPECT_EQ(ReadBytes(folder + L"Setup.log"), LauncherLines(folder, 0));
  }
  EXPECT_EQ(FileDigest(kLargePayload + L"\\Ulverane.msi").rfind("481894400 ", 0), 0u);
}

TEST_F(SetupExeTest, WindowsVersionBelowSevenServicePackOneIsRefused) {
  struct Case {
    const wchar_t* version;
    bool noServicePack;
    bool refused;
  };
  const Case cases[] = {{L"vista", false, true},
                        {L"win7", true, true},
                        {L"win7", false, false},
                        {L"win10", false, false}};
  const std::wstring winecfg = L"\"" + SystemFolder() + L"\\winecfg.exe\" -v ";
  for (const Case& c : cases) {
    RunAndWait(winecfg + c.version);
    if (c.noServicePack) {
      HKEY key;
      ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Windows", 0,
                              KEY_SET_VALUE, &key),
                ERROR_SUCCESS);
      const DWORD none = 0;
      RegSetValueExW(key, L"CSDVersion", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&none),
                     sizeof(none));
      RegCloseKey(key);
    }
    RemoveTree(temp_ + L"\\UlveraneSetup");
    const Outcome outcome = Run(L"setup_e2e", L"");
    const auto folders = WorkingFolders();
    ASSERT_EQ(folders.size(), 1u) << c.version;
    if (c.refused) {
      EXPECT_EQ(outcome.exitCode, 1u) << c.version;
      EXPECT_EQ(outcome.boxes,
                Box("Ulverane Photo Setup",
                    "This product can only be installed on Windows 7 Service Pack 1 or higher",
                    "error", "1"))
          << c.version;
      EXPECT_EQ(ListTree(folders[0]), std::vector<std::wstring>{L"Setup.log"});
      EXPECT_EQ(ReadBytes(folders[0] + L"Setup.log"), "");
    } else {
      EXPECT_EQ(outcome.exitCode, 0u) << c.version;
      EXPECT_EQ(outcome.boxes, "") << c.version;
      EXPECT_EQ(ReadBytes(folders[0] + L"Setup.log"), LauncherLines(folders[0], 0));
    }
  }
  RunAndWait(winecfg + L"win7");
}

class FailingSetupUiTest : public SetupExeTest {
 protected:
  void SetUp() override {
    SetupExeTest::SetUp();
    const std::wstring standIn = kBinaries + L"\\stand_in.exe";
    // Only where 64-bit Windows keeps the real program: the 32-bit view of
    // the system folder has none.
    ASSERT_TRUE(CopyToNativeSystemFolder(standIn, L"OptionalFeatures.exe"));
    // A program of the same name in the current directory must never run.
    ASSERT_TRUE(
        CopyFileW(standIn.c_str(), (downloads_ + L"\\OptionalFeatures.exe").c_str(), FALSE));
  }
  void TearDown() override {
    DeleteFromNativeSystemFolder(L"OptionalFeatures.exe");
    SetDotNet35Key(false, kOwnView);
    SetDotNet35Key(false, kOtherView);
  }

  // Waits for Windows Features to report that it ran (it is not waited for).
  bool FeaturesStarted() {
    for (int i = 0; i < 100; ++i) {
      if (Report().find("program=" + ToUtf8(features_)) != std::string::npos)
        return true;
      Sleep(50);
    }
    return false;
  }

  ScopedEnvironment exit_{L"ULVERANE_STANDIN_EXIT", L"1603"};
  const std::wstring features_ = SystemFolder() + L"\\OptionalFeatures.exe";
};

TEST_F(FailingSetupUiTest, WithDotNet35PresentNothingIsShown) {
  SetDotNet35Key(true, kOwnView);
  const Outcome outcome = Run(L"setup_e2e", L"");
  EXPECT_EQ(outcome.exitCode, 0u);
  EXPECT_EQ(outcome.boxes, "");
  const auto folders = WorkingFolders();
  ASSERT_EQ(folders.size(), 1u);
  EXPECT_EQ(ListTree(folders[0]), std::vector<std::wstring>{L"Setup.log"});
  EXPECT_EQ(ReadBytes(folders[0] + L"Setup.log"), LauncherLines(folders[0], 1603));
}

// The key in the other registry view alone does not count.
TEST_F(FailingSetupUiTest, WithoutDotNet35TheWindowsFeaturesAreOffered) {
  SetDotNet35Key(false, kOwnView);
  SetDotNet35Key(true, kOtherView);
  for (const int answer : {IDCANCEL, IDOK}) {
    RemoveTree(temp_ + L"\\UlveraneSetup");
    DeleteFileW(report_.c_str());
    const Outcome outcome = Run(L"setup_e2e", L"", {answer});
    EXPECT_EQ(outcome.exitCode, 0u);
    EXPECT_EQ(outcome.boxes, Box("Ulverane Photo Setup", kDotNetText, "error", "1,2"));
    EXPECT_EQ(std::string(kDotNetText).size() - 1, 143u);  // "\\n" stands for one line feed
    if (answer == IDOK)
      EXPECT_TRUE(FeaturesStarted()) << Report();
    else
      Sleep(500);
    EXPECT_EQ(Report().find("program=" + ToUtf8(features_)) != std::string::npos, answer == IDOK);
    EXPECT_EQ(Report().find("program=" + ToUtf8(downloads_)), std::string::npos);
    const auto folders = WorkingFolders();
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_EQ(ListTree(folders[0]), std::vector<std::wstring>{L"Setup.log"});
  }
}

TEST_F(SetupExeTest, SetupUiThatCannotStartIsReported) {
  SetDotNet35Key(false, kOwnView);
  const Outcome outcome = Run(L"setup_e2e_noexe", L"", {1, 1});
  EXPECT_EQ(outcome.exitCode, 0u);
  // One box only: no probe for .NET 3.5 after a failed start.
  EXPECT_EQ(outcome.boxes,
            Box("Ulverane Photo Setup", "Failed to start Setup. Please contact Technical Support.",
                "error", "1"));
  const auto folders = WorkingFolders();
  ASSERT_EQ(folders.size(), 1u);
  EXPECT_EQ(ListTree(folders[0]), std::vector<std::wstring>{L"Setup.log"});
  EXPECT_EQ(ReadBytes(folders[0] + L"Setup.log"), "Trying to start process: " + ToUtf8(folders[0]) +
                                                      "SetupUI.exe /log=true\n  Succeeded: 0\n");
}

TEST_F(SetupExeTest, MissingPayloadResourceIsAnErrorBox) {
  const Outcome outcome = Run(L"setup_e2e_no140", L"");
  EXPECT_EQ(outcome.exitCode, 0u);
  EXPECT_EQ(outcome.boxes,
            Box("Ulverane Setup", "Exception: ResourceDir::GetChildWithId", "error", "1"));
  EXPECT_EQ(Report(), "") << "SetupUI.exe must not start";
  const auto folders = WorkingFolders();
  ASSERT_EQ(folders.size(), 1u);
  // What was copied is gone; the failed language's empty folder and the log stay.
  EXPECT_EQ(ListTree(folders[0]), (std::vector<std::wstring>{L"Setup.log", L"it\\"}));
  EXPECT_EQ(ReadBytes(folders[0] + L"Setup.log"), "");
}

TEST_F(SetupExeTest, HelpIsShownForHelpAndUnknownWords) {
  const std::string help =
      "Options:\\n\\n/help\\tShow this message\\n"
      "/extract\\tCreate MSI for silent installation with the options chosen in a dialog\\n"
      "/defaults\\tCreate MSI for silent installation (for use with an Ulverane.defaults file)\\n";
  for (const std::wstring arguments :
       {L"/help", L"/?", L"install", L"/help /extract", L"/EXTRACT"}) {
    const Outcome outcome = Run(L"setup_e2e", arguments);
    EXPECT_EQ(outcome.exitCode, 0u);
    EXPECT_EQ(outcome.boxes, Box("Ulverane Photo Setup", help, "information", "1"));
  }
  EXPECT_TRUE(ListTree(temp_).empty());
  EXPECT_EQ(Report(), "");
}

TEST_F(SetupExeTest, NonAsciiTemporaryFolderIsLoggedInUtf8) {
  const std::wstring temp = folder_ / L"t\u00e9mp";
  CreateDirectoryW(temp.c_str(), nullptr);
  const Outcome outcome = Run(L"setup_e2e", L"", {1}, temp);
  EXPECT_EQ(outcome.exitCode, 0u);
  const auto folders = WorkingFolders(temp);
  ASSERT_EQ(folders.size(), 1u);
  const std::string log = ReadBytes(folders[0] + L"Setup.log");
  EXPECT_EQ(log, LauncherLines(folders[0], 0));
  EXPECT_NE(log.find("t\xC3\xA9mp\\UlveraneSetup\\"), std::string::npos);
  EXPECT_EQ(log.find('\r'), std::string::npos);
  EXPECT_EQ(log.rfind("Trying", 0), 0u);  // no byte-order mark
}

TEST_F(SetupExeTest, TwoSetupsAtOnceKeepApart) {
  const std::wstring setup = app_ + L"\\Setup.exe";
  CopyFileW((kBinaries + L"\\app\\setup_e2e.exe").c_str(), setup.c_str(), FALSE);
  ScopedEnvironment tmp(L"TMP", temp_ + L"\\");
  ScopedEnvironment tmp2(L"TEMP", temp_ + L"\\");
  PROCESS_INFORMATION first = Start(L"\"" + setup + L"\"", downloads_, false);
  PROCESS_INFORMATION second = Start(L"\"" + setup + L"\"", downloads_, false);
  for (PROCESS_INFORMATION* p : {&first, &second}) {
    EXPECT_EQ(WaitForSingleObject(p->hProcess, 60000), WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeProcess(p->hProcess, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(p->hThread);
    CloseHandle(p->hProcess);
  }
  const auto folders = WorkingFolders();
  ASSERT_EQ(folders.size(), 2u);
  for (const std::wstring& folder : folders) {
    EXPECT_EQ(ListTree(folder), std::vector<std::wstring>{L"Setup.log"});
    EXPECT_EQ(ReadBytes(folder + L"Setup.log"), LauncherLines(folder, 0));
  }
}

// A run that was killed left its payload behind; the next one removes it and
// keeps the folder, its log and anything else, as after a finished run.
TEST_F(SetupExeTest, NextRunRemovesThePayloadOfAKilledRun) {
  const std::wstring killed = temp_ + L"\\UlveraneSetup\\0123abcd-0000-4000-8000-00000000cafe\\";
  for (const std::wstring& folder : {temp_ + L"\\UlveraneSetup", killed})
    CreateDirectoryW(folder.c_str(), nullptr);
  for (const std::wstring& entry : ListTree(kPayload)) {
    if (entry.back() == L'\\')
      CreateDirectoryW((killed + entry).c_str(), nullptr);
    else
      CopyFileW((kPayload + L"\\" + entry).c_str(), (killed + entry).c_str(), FALSE);
  }
  WriteBytes(killed + L"Setup.log", "killed\n");
  WriteBytes(killed + L"notes.txt", "");
  const Outcome outcome = Run(L"setup_e2e", L"");
  EXPECT_EQ(outcome.exitCode, 0u);
  EXPECT_EQ(outcome.boxes, "");
  EXPECT_EQ(ListTree(killed), (std::vector<std::wstring>{L"Setup.log", L"notes.txt"}));
  EXPECT_EQ(ReadBytes(killed + L"Setup.log"), "killed\n");
  EXPECT_EQ(WorkingFolders().size(), 2u);
}

TEST_F(SetupExeTest, DllsPlantedBesideSetupAreNeverLoaded) {
  const PlantedDlls planted({app_}, {L"msi.dll", L"version.dll", L"imagehlp.dll"});
  ASSERT_TRUE(planted.ProbeLoads(app_, L"version.dll")) << "planting does not work here";
  const Outcome outcome = Run(L"setup_e2e", L"");
  EXPECT_EQ(outcome.exitCode, 0u);
  EXPECT_EQ(outcome.boxes, "");
  EXPECT_NE(Report().find("args=/log=true"), std::string::npos);
  EXPECT_TRUE(planted.Loaded().empty()) << ToUtf8(planted.Loaded().front());
}

}  // namespace
}  // namespace ulverane::testing
