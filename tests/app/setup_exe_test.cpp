// Runs the real setup executable, built with test payloads, under the
// platform: answers its boxes with the out-of-process driver and inspects
// its exit code, its working folder and its log.

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <sstream>

#include "log/utf8.h"
#include "tests/support/app_defaults.h"
#include "tests/support/planted_dlls.h"
#include "tests/support/sandbox.h"
#include "tests/support/wait.h"
#include "tests/support/wow64.h"

namespace ulverane::testing {
namespace {

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

// The registry view the product sees (the 32-bit one for the 32-bit image on
// 64-bit Windows), and the other one.
constexpr REGSAM kOwnView = sizeof(void*) == 4 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
constexpr REGSAM kOtherView = sizeof(void*) == 4 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;

// The service pack of the prefix's own Windows version, for the life of the
// object; the prefix-wide setting that a per-program version cannot give.
class ServicePack {
 public:
  explicit ServicePack(DWORD value) {
    DWORD size = sizeof(saved_);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kKey, L"CSDVersion", RRF_RT_REG_DWORD, nullptr, &saved_,
                     &size) == ERROR_SUCCESS)
      Set(value);
    else
      ADD_FAILURE() << "no CSDVersion to change";
  }
  ServicePack(const ServicePack&) = delete;
  ServicePack& operator=(const ServicePack&) = delete;
  ~ServicePack() { Set(saved_); }

 private:
  static void Set(DWORD value) {
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, kKey, L"CSDVersion", REG_DWORD, &value, sizeof(value));
  }
  static constexpr wchar_t kKey[] = L"System\\CurrentControlSet\\Control\\Windows";
  DWORD saved_ = 0x100;
};

class SetupExeTest : public SandboxTest {
 protected:
  // Runs <variant>.exe with `arguments`, the out-of-process driver answering
  // up to `buttons.size()` boxes, with TMP and TEMP at `temp` if given.
  Outcome Run(const wchar_t* variant,
              const std::wstring& arguments,
              std::vector<int> buttons = {1},
              const std::wstring& temp = L"") {
    std::optional<ScopedEnvironment> tmp, tmp2;
    if (!temp.empty()) {
      tmp.emplace(L"TMP", temp + L"\\");
      tmp2.emplace(L"TEMP", temp + L"\\");
    }
    const auto setup = Start(kBinaries + L"\\app\\" + variant + L".exe", arguments);
    std::wstring driverArguments = L"\"" + boxes_ + L"\" 30000 " + std::to_wstring(setup->id());
    for (const int button : buttons)
      driverArguments += L" " + std::to_wstring(button);
    SetupProcess driver(kBinaries + L"\\box_driver.exe", driverArguments, folder_.path());
    Outcome outcome;
    outcome.exitCode = setup->Wait(60000);
    EXPECT_NE(outcome.exitCode, SetupProcess::kTimedOut) << "Setup.exe did not end";
    // Every box was answered by now; a driver still waiting has nothing to see.
    driver.Wait(1000);
    if (Exists(boxes_)) {
      outcome.boxes = ReadBytes(boxes_);
      DeleteFileW(boxes_.c_str());
    }
    return outcome;
  }

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

// Each version as the product alone sees it, but for Windows 7 without a
// service pack, which only the whole prefix can be.
TEST_F(SetupExeTest, WindowsVersionBelowSevenServicePackOneIsRefused) {
  struct Case {
    const wchar_t* version;  // null: the prefix's own Windows 7, without its service pack
    bool refused;
  };
  const Case cases[] = {
      {L"winxp", true}, {L"vista", true}, {nullptr, true}, {L"win7", false}, {L"win10", false}};
  name_ = L"Setup-version-" + std::to_wstring(GetCurrentProcessId()) + L".exe";
  for (const Case& c : cases) {
    const std::string what = c.version != nullptr ? ToUtf8(c.version) : "win7 without SP";
    AppDefaults defaults(name_);
    if (c.version != nullptr)
      defaults.Version(c.version);
    std::optional<ServicePack> none;
    if (c.version == nullptr)
      none.emplace(0);
    RemoveTree(temp_ + L"\\UlveraneSetup");
    const Outcome outcome = Run(L"setup_e2e", L"");
    const auto folders = WorkingFolders();
    ASSERT_EQ(folders.size(), 1u) << what;
    if (c.refused) {
      EXPECT_EQ(outcome.exitCode, 1u) << what;
      EXPECT_EQ(outcome.boxes,
                Box("Ulverane Photo Setup",
                    "This product can only be installed on Windows 7 Service Pack 1 or higher",
                    "error", "1"))
          << what;
      EXPECT_EQ(ListTree(folders[0]), std::vector<std::wstring>{L"Setup.log"});
      EXPECT_EQ(ReadBytes(folders[0] + L"Setup.log"), "");
    } else {
      EXPECT_EQ(outcome.exitCode, 0u) << what;
      EXPECT_EQ(outcome.boxes, "") << what;
      EXPECT_EQ(ReadBytes(folders[0] + L"Setup.log"), LauncherLines(folders[0], 0));
    }
  }
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
    return WaitUntil(
        [&] { return Report().find("program=" + ToUtf8(features_)) != std::string::npos; }, 5000);
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
    if (answer == IDOK)
      EXPECT_TRUE(FeaturesStarted()) << Report();
    else
      Sleep(kNothingHappensMs);
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
  // What was copied is gone, the failed language's folder too; the log stays.
  EXPECT_EQ(ListTree(folders[0]), std::vector<std::wstring>{L"Setup.log"});
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
  const auto first = Start(kBinaries + L"\\app\\setup_e2e.exe", L"");
  SetupProcess second(app_ + L"\\" + name_, L"", downloads_);
  EXPECT_EQ(first->Wait(60000), 0u);
  EXPECT_EQ(second.Wait(60000), 0u);
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
  name_ = planted.program();
  const Outcome outcome = Run(L"setup_e2e", L"");
  EXPECT_EQ(outcome.exitCode, 0u);
  EXPECT_EQ(outcome.boxes, "");
  EXPECT_NE(Report().find("args=/log=true"), std::string::npos);
  EXPECT_TRUE(planted.Loaded().empty()) << ToUtf8(planted.Loaded().front());
}

}  // namespace
}  // namespace ulverane::testing
