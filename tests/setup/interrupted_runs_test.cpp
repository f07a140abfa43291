#include "setup/interrupted_runs.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <map>

#include "base/unique_resource.h"
#include "log/utf8.h"
#include "resources/payload_files.h"
#include "tests/support/environment.h"
#include "tests/support/setup_process.h"
#include "tests/support/temp_folder.h"
#include "tests/test_paths.h"

namespace ulverane::testing {
namespace {

// A working folder as a killed run leaves it: the whole payload, and the log.
void WriteRun(const std::wstring& folder, bool log) {
  CreateDirectoryW(folder.c_str(), nullptr);
  if (log)
    WriteBytes(folder + L"Setup.log", "log");
  for (const PayloadFile& file : kPayloadFiles) {
    const std::wstring sub = *file.culture != L'\0' ? folder + file.culture + L"\\" : folder;
    CreateDirectoryW(sub.c_str(), nullptr);
    WriteBytes(sub + file.name, "payload");
  }
}

UniqueFile Hold(const std::wstring& path, DWORD access) {
  return UniqueFile(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr));
}

// The shared parent with this run's folder, a killed run's, and folders that
// must stay whole: a live run's (its log is open), one without a log, one
// whose SetupUI.exe still runs, and one of another name.
TEST(InterruptedRunsTest, OnlyTheKilledRunsPayloadGoes) {
  TempFolder temp;
  const std::wstring parent = temp / L"UlveraneSetup\\";
  CreateDirectoryW(parent.c_str(), nullptr);
  const std::wstring own = parent + L"00000000-0000-4000-8000-000000000000\\";
  const std::wstring killed = parent + L"11111111-aaaa-4bbb-8ccc-dddddddddddd\\";
  const std::wstring live = parent + L"22222222-2222-4222-8222-222222222222\\";
  const std::wstring noLog = parent + L"33333333-3333-4333-8333-333333333333\\";
  const std::wstring running = parent + L"44444444-4444-4444-8444-444444444444\\";
  const std::wstring other = parent + L"not-a-run\\";
  for (const std::wstring& folder : {own, killed, live, noLog, running, other})
    WriteRun(folder, folder != noLog);
  const std::wstring file = parent + L"55555555-5555-4555-8555-555555555555";
  WriteBytes(file, "a file, not a folder");
  WriteBytes(killed + L"notes.txt", "");
  WriteBytes(killed + L"de\\notes.txt", "");
  const UniqueFile liveLog = Hold(live + L"Setup.log", GENERIC_WRITE);
  // Held: this one file stays, for a later run.
  const UniqueFile busy = Hold(killed + L"fr\\SetupUI.resources.dll", GENERIC_READ);
  ASSERT_TRUE(liveLog.valid() && busy.valid());
  ASSERT_TRUE(CopyFileW(ULVERANE_TEST_BINARY_DIR L"\\stand_in.exe",
                        (running + L"SetupUI.exe").c_str(), FALSE));
  const ScopedEnvironment wait(L"ULVERANE_STANDIN_WAIT", L"60000");
  const ScopedEnvironment report(L"ULVERANE_STANDIN_REPORT", L"");
  SetupProcess program(running + L"SetupUI.exe", L"", running);
  ASSERT_TRUE(program.started());

  std::map<std::wstring, std::vector<std::wstring>> expected;
  for (const std::wstring& folder : {own, live, noLog, running, other})
    expected[folder] = ListTree(folder);
  expected[killed] = {
      L"Setup.log", L"de\\", L"de\\notes.txt", L"fr\\", L"fr\\SetupUI.resources.dll", L"notes.txt"};
  CleanUpInterruptedRuns(own);
  for (const auto& [folder, tree] : expected)
    EXPECT_EQ(ListTree(folder), tree) << ToUtf8(folder);
  EXPECT_EQ(ReadBytes(killed + L"Setup.log"), "log");
  EXPECT_TRUE(Exists(file));
}

}  // namespace
}  // namespace ulverane::testing
