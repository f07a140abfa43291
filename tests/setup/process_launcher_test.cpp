#include "setup/process_launcher.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "log/logger.h"
#include "log/utf8.h"
#include "tests/support/box_reader.h"
#include "tests/support/environment.h"
#include "tests/support/temp_folder.h"
#include "tests/test_paths.h"

namespace ulverane::testing {
namespace {

// A copy of the stand-in in a folder whose name has blanks in it.
class ProcessLauncherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateDirectoryW(programFolder_.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(ULVERANE_TEST_BINARY_DIR L"\\stand_in.exe", program_.c_str(), FALSE));
    OpenSetupLog(folder_.path() + L"\\");
  }
  void TearDown() override {
    setupLog.close();
    setupLog.clear();
  }
  std::string Log() { return ReadBytes(folder_ / L"Setup.log"); }
  std::string Report() { return Exists(report_) ? ReadBytes(report_) : ""; }

  TempFolder folder_;
  const std::wstring programFolder_ = folder_ / L"Setup \u00e9 UI";
  const std::wstring program_ = programFolder_ + L"\\SetupUI.exe";
  const std::wstring report_ = folder_ / L"report.txt";
  ScopedEnvironment reportVariable_{L"ULVERANE_STANDIN_REPORT", report_};
};

TEST_F(ProcessLauncherTest, LogsStartAndExitCode) {
  struct Case {
    const wchar_t* exit;
    DWORD expected;
    const char* logged;
  };
  const Case cases[] = {{L"0", 0, "0"}, {L"3", 3, "3"}, {L"0xC0000005", 0xC0000005, "-1073741819"}};
  std::string expectedLog;
  for (const Case& c : cases) {
    ScopedEnvironment exitVariable(L"ULVERANE_STANDIN_EXIT", c.exit);
    DWORD exitCode = 12345;
    EXPECT_TRUE(ProcessLauncher(program_, L"/log=true", false).RunAndWait(exitCode));
    EXPECT_EQ(exitCode, c.expected);
    expectedLog += "Trying to start process: " + ToUtf8(program_) + " /log=true\n" +
                   "  Succeeded: 1\nWaiting for process to finish...\n  Exit code: " + c.logged +
                   "\n";
  }
  EXPECT_EQ(Log(), expectedLog);
}

TEST_F(ProcessLauncherTest, PassesArgumentsAndShowCommandInTheCurrentDirectory) {
  wchar_t current[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, current);
  DWORD exitCode = 0;
  ASSERT_TRUE(ProcessLauncher(program_, L"/log=true", false).RunAndWait(exitCode));
  ASSERT_TRUE(ProcessLauncher(program_, L"", true).RunAndWait(exitCode));
  const std::string report = Report();
  EXPECT_NE(report.find("args=/log=true\ncwd=" + ToUtf8(current) + "\nshow=10\n"),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("args=\ncwd=" + ToUtf8(current) + "\nshow=7\n"), std::string::npos)
      << report;
  // An empty argument string still leaves the space after the path.
  EXPECT_NE(Log().find("Trying to start process: " + ToUtf8(program_) + " \n"), std::string::npos);
}

TEST_F(ProcessLauncherTest, WaitingLineIsOnDiskWhileTheProgramRuns) {
  ScopedEnvironment read(L"ULVERANE_STANDIN_READ", folder_ / L"Setup.log");
  DWORD exitCode = 0;
  ASSERT_TRUE(ProcessLauncher(program_, L"x", false).RunAndWait(exitCode));
  const std::string seen = "Trying to start process: " + ToUtf8(program_) +
                           " x\n  Succeeded: 1\nWaiting for process to finish...\n";
  std::string hex;
  for (const unsigned char c : seen) {
    hex += "0123456789abcdef"[c >> 4];
    hex += "0123456789abcdef"[c & 15];
  }
  EXPECT_NE(Report().find("read=" + hex + "\n"), std::string::npos);
}

TEST_F(ProcessLauncherTest, MissingProgramIsReportedQuietly) {
  const std::wstring missing = folder_ / L"absent\\SetupUI.exe";
  DWORD exitCode = 0;
  EXPECT_FALSE(ProcessLauncher(missing, L"/log=true", false).RunAndWait(exitCode));
  EXPECT_EQ(exitCode, 0xFFFFFFFFu);
  EXPECT_EQ(Log(), "Trying to start process: " + ToUtf8(missing) + " /log=true\n  Succeeded: 0\n");
  EXPECT_EQ(FindBox(GetCurrentProcessId(), nullptr, 500), nullptr)
      << "the shell showed an error box";
}

}  // namespace
}  // namespace ulverane::testing
