// Runs the real setup executable, built with test payloads, under the
// platform: answers its boxes with the out-of-process driver and inspects
// its exit code, its working folder and its log.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "log/utf8.h"
#include "setup/process_identity.h"
#include "tests/support/app_defaults.h"
#include "tests/support/call_trace.h"
#include "tests/support/damaged_copy.h"
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
const char kNotStartedText[] = "Failed to start Setup. Please contact Technical Support.";

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
    const std::wstring image = std::wstring(variant).find(L'\\') != std::wstring::npos
                                   ? std::wstring(variant)
                                   : kBinaries + L"\\app\\" + variant + L".exe";
    const auto setup = Start(image, arguments, dll_);
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

  // The one run's folder holds its log alone, and the log the launcher's
  // lines.
  void ExpectLauncherLog(int exitCode, const std::wstring& temp = L"") {
    const std::wstring folder = TheRunsFolder(temp);
    if (!folder.empty()) {
      EXPECT_EQ(ReadBytes(folder + L"Setup.log"), LauncherLines(folder, exitCode));
    }
  }

  // A killed run's working folder `name` under the shared parent: the whole
  // payload, its log and a file of its own. Ends in a backslash.
  std::wstring PlantKilledRun(const std::wstring& name) {
    const std::wstring folder = temp_ + L"\\UlveraneSetup\\" + name + L"\\";
    for (const std::wstring& path : {temp_ + L"\\UlveraneSetup", folder})
      CreateDirectoryW(path.c_str(), nullptr);
    for (const std::wstring& entry : ListTree(kPayload)) {
      if (entry.back() == L'\\')
        CreateDirectoryW((folder + entry).c_str(), nullptr);
      else
        CopyFileW((kPayload + L"\\" + entry).c_str(), (folder + entry).c_str(), FALSE);
    }
    WriteBytes(folder + L"Setup.log", "killed\n");
    WriteBytes(folder + L"notes.txt", "");
    return folder;
  }

  const std::wstring boxes_ = folder_ / L"boxes.txt";
  // Loaded into the image before it runs (Start), when set.
  std::wstring dll_;
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
    ExpectLauncherLog(0);

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
    if (c.refused) {
      EXPECT_EQ(outcome.exitCode, 1u) << what;
      EXPECT_EQ(outcome.boxes,
                Box("Ulverane Photo Setup",
                    "This product can only be installed on Windows 7 Service Pack 1 or higher",
                    "error", "1"))
          << what;
      EXPECT_EQ(LogOfTheRun(), "") << what;
    } else {
      EXPECT_EQ(outcome.exitCode, 0u) << what;
      EXPECT_EQ(outcome.boxes, "") << what;
      ExpectLauncherLog(0);
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
  ExpectLauncherLog(1603);
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
    TheRunsFolder();
  }
}

TEST_F(SetupExeTest, SetupUiThatCannotStartIsReported) {
  SetDotNet35Key(false, kOwnView);
  const Outcome outcome = Run(L"setup_e2e_noexe", L"", {1, 1});
  EXPECT_EQ(outcome.exitCode, 0u);
  // One box only: no probe for .NET 3.5 after a failed start.
  EXPECT_EQ(outcome.boxes, Box("Ulverane Photo Setup", kNotStartedText, "error", "1"));
  const std::wstring folder = TheRunsFolder();
  EXPECT_EQ(LogOfTheRun(), "Trying to start process: " + ToUtf8(folder) +
                               "SetupUI.exe /log=true\n  Succeeded: 0\n");
}

TEST_F(SetupExeTest, MissingPayloadResourceIsAnErrorBox) {
  const Outcome outcome = Run(L"setup_e2e_no140", L"");
  EXPECT_EQ(outcome.exitCode, 0u);
  EXPECT_EQ(outcome.boxes,
            Box("Ulverane Setup", "Exception: ResourceDir::GetChildWithId", "error", "1"));
  EXPECT_EQ(Report(), "") << "SetupUI.exe must not start";
  // What was copied is gone, the failed language's folder too; the log stays.
  EXPECT_EQ(LogOfTheRun(), "");
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
  ExpectLauncherLog(0, temp);
  const std::string log = LogOfTheRun(temp);
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
  const std::wstring killed = PlantKilledRun(L"0123abcd-0000-4000-8000-00000000cafe");
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

// One byte of the payload damaged: in the first chunk of the package, and
// the last byte of the library written last, when all else is unpacked.
TEST_F(SetupExeTest, DamagedPayloadIsCaughtBeforeSetupUiStarts) {
  for (const auto& [id, offset] : {std::pair{135u, 0}, std::pair{144u, -1}}) {
    RemoveTree(temp_ + L"\\UlveraneSetup");
    const std::wstring damaged = folder_ / L"damaged.exe";
    ASSERT_TRUE(CopyWithDamagedResource(kBinaries + L"\\app\\setup_e2e.exe", damaged, id, offset));
    const Outcome outcome = Run(damaged.c_str(), L"");
    EXPECT_EQ(outcome.exitCode, 0u) << id;
    EXPECT_EQ(outcome.boxes,
              Box("Ulverane Setup", "Exception: Payload check failed", "error", "1"));
    EXPECT_EQ(Report(), "") << "SetupUI.exe must not start";
    EXPECT_EQ(LogOfTheRun(), "CRC-32C mismatch: BIN " + std::to_string(id) + "\n") << id;
  }
}

// What Wine cannot show (tokens, owners, links) is answered by the fault DLL
// as Windows would, and what the product asks and hands over is read from
// its trace.
class SecurityTest : public SetupExeTest {
 protected:
  SecurityTest() { dll_ = kFaultDll; }

  std::vector<TracedCall> Calls() const { return ReadTrace(trace_); }

  // Working folders in a private parent beside the shared one.
  std::vector<std::wstring> PrivateFolders(const std::wstring& temp) const {
    std::vector<std::wstring> found;
    for (const std::wstring& entry : ListTree(temp))
      if (entry.rfind(L"UlveraneSetup-", 0) == 0 && entry.back() == L'\\' &&
          std::count(entry.begin(), entry.end(), L'\\') == 2)
        found.push_back(temp + L"\\" + entry);
    return found;
  }

  const std::wstring trace_ = folder_ / L"calls.txt";
  ScopedEnvironment tracing_{L"ULVERANE_FAULT_TRACE", trace_};
};

// Made with its permissions in the creating call, for each kind of run; a
// volume without permissions (FAT) gets none, as before.
TEST_F(SecurityTest, WorkingFolderIsMadeWithPermissionsOfItsOwn) {
  const std::string user = ToUtf8(SidText(ProcessIdentity().user()));
  const std::pair<const wchar_t*, std::string> cases[] = {
      {L"plain", "D:P(A;OICI;FA;;;" + user + ")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"},
      {L"elevated", "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;" + user + ")"},
      {L"system", "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)"},
      {L"fat", "-"},
  };
  for (const auto& [token, sddl] : cases) {
    RemoveTree(temp_ + L"\\UlveraneSetup");
    DeleteFileW(trace_.c_str());
    const ScopedEnvironment kind(L"ULVERANE_FAULT_TOKEN", token);
    const ScopedEnvironment fat(L"ULVERANE_FAULT_NO_ACLS",
                                token == std::wstring(L"fat") ? L"1" : L"");
    const Outcome outcome = Run(L"setup_e2e", L"");
    EXPECT_EQ(outcome.exitCode, 0u) << ToUtf8(token);
    EXPECT_EQ(outcome.boxes, "") << ToUtf8(token);
    const auto folders = WorkingFolders();
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_EQ(ReadBytes(folders[0] + L"Setup.log"), LauncherLines(folders[0], 0)) << ToUtf8(token);
    // The language folders inherit what the working folder has.
    std::vector<std::string> made = CallsOf(Calls(), "CreateDirectoryW");
    ASSERT_GT(made.size(), 2u);
    for (std::size_t n = 2; n < made.size(); ++n)
      EXPECT_EQ(made[n].substr(made[n].size() - 2), "\t-") << made[n];
    made.resize(2);
    EXPECT_EQ(made, (std::vector<std::string>{ToUtf8(temp_) + "\\UlveraneSetup\\\t-",
                                              ToUtf8(folders[0]) + "\t" + sddl}))
        << ToUtf8(token);
  }
}

// Folders of another owner and links stay untouched, at every level: the
// shared parent, a working folder, a language folder, and this run's own. A
// parent of another owner or a link is not used at all: the run works in a
// private parent beside it. A path that no longer leads to the held working
// folder is not started from.
TEST_F(SecurityTest, CleanUpTouchesOnlyWhatIsOurs) {
  const std::wstring killed = L"11111111-1111-4111-8111-111111111111";
  const std::wstring foreign = L"22222222-2222-4222-8222-222222222222";
  const std::wstring linked = L"33333333-3333-4333-8333-333333333333";
  struct Case {
    std::wstring foreign;
    std::wstring link;
    std::wstring repoint;
    std::vector<std::wstring> killedKeeps;  // beside its log and notes; all when "*"
    std::string boxes;
    bool privateParent;
  };
  const std::wstring any = L"*-*-*-*-*";
  const std::string failed =
      Box("Ulverane Setup", "Exception: CreateDirectory failed", "error", "1");
  const std::string notStarted = Box("Ulverane Photo Setup", kNotStartedText, "error", "1");
  const Case cases[] = {
      {foreign + L",fr",
       linked + L",de",
       L"",
       {L"de\\", L"de\\SetupUI.resources.dll", L"fr\\", L"fr\\SetupUI.resources.dll"},
       "",
       false},
      {L"UlveraneSetup", L"", L"", {L"*"}, "", true},
      {L"", L"UlveraneSetup", L"", {L"*"}, "", true},
      {any, L"", L"", {L"*"}, failed, false},
      {L"", any, L"", {L"*"}, failed, false},
      {foreign, linked, any, {}, notStarted, false},
  };
  const std::wstring parent = temp_ + L"\\UlveraneSetup\\";
  for (const Case& c : cases) {
    for (const std::wstring& entry : ListTree(temp_))
      RemoveTree(temp_ + L"\\" + entry);
    DeleteFileW(trace_.c_str());
    DeleteFileW(report_.c_str());
    for (const std::wstring& name : {killed, foreign, linked})
      PlantKilledRun(name);
    const std::vector<std::wstring> whole = ListTree(parent + killed);
    const std::vector<std::wstring> before = ListTree(parent);
    const ScopedEnvironment owners(L"ULVERANE_FAULT_FOREIGN", c.foreign);
    const ScopedEnvironment links(L"ULVERANE_FAULT_LINK", c.link);
    const ScopedEnvironment repoints(L"ULVERANE_FAULT_REPOINT", c.repoint);
    const Outcome outcome = Run(L"setup_e2e", L"");
    const std::string what = ToUtf8(c.foreign) + " " + ToUtf8(c.link) + " " + ToUtf8(c.repoint);
    EXPECT_EQ(outcome.exitCode, 0u) << what;
    EXPECT_EQ(outcome.boxes, c.boxes) << what;
    std::vector<std::wstring> kept = c.killedKeeps;
    if (kept == std::vector<std::wstring>{L"*"}) {
      kept = whole;
    } else {
      kept.insert(kept.end(), {L"Setup.log", L"notes.txt"});
      std::sort(kept.begin(), kept.end());
    }
    EXPECT_EQ(ListTree(parent + killed), kept) << what;
    for (const std::wstring& name : {foreign, linked})
      EXPECT_EQ(ListTree(parent + name), whole) << what;
    const std::vector<std::wstring> moved = PrivateFolders(temp_);
    ASSERT_EQ(moved.size(), c.privateParent ? 1u : 0u) << what;
    if (c.privateParent) {
      EXPECT_EQ(ListTree(parent), before) << what;
      EXPECT_EQ(ReadBytes(moved[0] + L"Setup.log"), "Not trusted: " + ToUtf8(parent) +
                                                        "; working in " + ToUtf8(moved[0]) + "\n" +
                                                        LauncherLines(moved[0], 0))
          << what;
    }
    if (!c.repoint.empty())
      EXPECT_EQ(Report(), "") << "SetupUI.exe must not start";
    // A stranger's folder and a link are asked what they are with an open
    // that reads no data, so that no oplock of theirs can hold the run; then
    // they are left.
    if (c.foreign == foreign + L",fr") {
      for (const std::wstring& name : {foreign, linked}) {
        std::vector<std::string> opens;
        for (const std::string& call : CallsOf(Calls(), "CreateFileW"))
          if (call.rfind(ToUtf8(parent + name) + "\t", 0) == 0)
            opens.push_back(call.substr(call.find('\t') + 1));
        EXPECT_EQ(opens, std::vector<std::string>{"0x20080"}) << ToUtf8(name);
      }
    }
  }
}

// LocalSystem gets the system's own temporary folder where the system has
// one to give (GetTempPath2W), and %TEMP% where it has not.
TEST_F(SecurityTest, LocalSystemWorksInTheSystemsOwnTemporaryFolder) {
  const std::wstring system = folder_ / L"SystemTemp";
  CreateDirectoryW(system.c_str(), nullptr);
  const ScopedEnvironment token(L"ULVERANE_FAULT_TOKEN", L"system");
  const ScopedEnvironment answer(L"ULVERANE_FAULT_SYSTEM_TEMP", system + L"\\");
  for (const wchar_t* hidden : {L"", L"GetTempPath2W"}) {
    RemoveTree(temp_ + L"\\UlveraneSetup");
    RemoveTree(system + L"\\UlveraneSetup");
    const ScopedEnvironment hide(L"ULVERANE_FAULT_HIDE", hidden);
    EXPECT_EQ(Run(L"setup_e2e", L"").boxes, "");
    EXPECT_EQ(WorkingFolders(system).size(), *hidden ? 0u : 1u) << ToUtf8(hidden);
    EXPECT_EQ(WorkingFolders().size(), *hidden ? 1u : 0u) << ToUtf8(hidden);
  }
}

// What cannot go now stays for a later run: one attempt per file, never a
// wait. Every payload file but SetupUI.exe is read-only.
TEST_F(SecurityTest, UndeletablePayloadCostsOneAttemptPerFile) {
  const std::wstring killed = PlantKilledRun(L"44444444-4444-4444-8444-444444444444");
  std::vector<std::wstring> kept = {L"Setup.log", L"notes.txt"};
  std::map<std::string, int> expected;
  for (const std::wstring& entry : ListTree(kPayload)) {
    if (entry.back() == L'\\') {
      kept.push_back(entry);
      continue;
    }
    expected[ToUtf8(killed + entry)] = 1;
    if (entry != L"SetupUI.exe") {
      SetFileAttributesW((killed + entry).c_str(), FILE_ATTRIBUTE_READONLY);
      kept.push_back(entry);
    }
  }
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(Run(L"setup_e2e", L"").boxes, "");
  std::map<std::string, int> attempts;
  for (const std::string& call : CallsOf(Calls(), "DeleteFileW"))
    if (call.rfind(ToUtf8(killed), 0) == 0)
      ++attempts[call];
  EXPECT_EQ(attempts, expected);
  EXPECT_EQ(ListTree(killed), kept);
  for (const std::wstring& entry : ListTree(killed))
    SetFileAttributesW((killed + entry).c_str(), FILE_ATTRIBUTE_NORMAL);
}

// For real: Wine enforces sharing. While SetupUI.exe runs, neither the
// working folder nor its parent can be renamed away; once the run is over,
// both can.
TEST_F(SetupExeTest, WorkingFolderCannotBeRenamedWhileTheRunLasts) {
  const ScopedEnvironment wait(L"ULVERANE_STANDIN_WAIT", L"3000");
  const auto setup = Start(kBinaries + L"\\app\\setup_e2e.exe", L"");
  ASSERT_TRUE(WaitUntil([&] { return Report().find("args=") != std::string::npos; }, 30000));
  const auto folders = WorkingFolders();
  ASSERT_EQ(folders.size(), 1u);
  const std::wstring folder = folders[0].substr(0, folders[0].size() - 1);
  const std::wstring parent = temp_ + L"\\UlveraneSetup";
  EXPECT_FALSE(MoveFileExW(folder.c_str(), (folder + L"-moved").c_str(), 0));
  EXPECT_FALSE(MoveFileExW(parent.c_str(), (parent + L"-moved").c_str(), 0));
  EXPECT_EQ(setup->Wait(60000), 0u);
  EXPECT_TRUE(MoveFileExW(folder.c_str(), (folder + L"-moved").c_str(), 0));
  EXPECT_TRUE(MoveFileExW(parent.c_str(), (parent + L"-moved").c_str(), 0));
}

}  // namespace
}  // namespace ulverane::testing
