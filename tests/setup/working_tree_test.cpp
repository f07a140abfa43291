#include "setup/working_tree.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <regex>

#include "base/unique_resource.h"
#include "log/utf8.h"
#include "resources/payload_files.h"
#include "tests/support/environment.h"
#include "tests/support/setup_process.h"
#include "tests/support/temp_folder.h"
#include "tests/test_paths.h"

namespace ulverane::testing {
namespace {

// A temporary folder of the test's own, as TEMP and TMP for the tree.
class WorkingTreeTest : public ::testing::Test {
 protected:
  const std::wstring& temp() const { return temp_.path(); }
  std::wstring parent() const { return temp_ / L"UlveraneSetup\\"; }

 private:
  TempFolder temp_;
  ScopedEnvironment tmp_{L"TMP", temp_.path() + L"\\"};
  ScopedEnvironment temp2_{L"TEMP", temp_.path() + L"\\"};
};

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

FILETIME LastWrite(const std::wstring& folder) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  GetFileAttributesExW(folder.substr(0, folder.size() - 1).c_str(), GetFileExInfoStandard, &data);
  return data.ftLastWriteTime;
}

TEST_F(WorkingTreeTest, FreshUuidFoldersUnderTheSharedParent) {
  const WorkingTree tree;
  ASSERT_TRUE(tree.shared());
  EXPECT_EQ(tree.parent(), parent());
  const std::wstring first = tree.CreateWorkingFolder().path();
  const std::wstring second = tree.CreateWorkingFolder().path();
  const std::wregex shape(L"[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\\\\");
  for (const std::wstring& folder : {first, second}) {
    ASSERT_EQ(folder.substr(0, parent().size()), parent());
    EXPECT_TRUE(std::regex_match(folder.substr(parent().size()), shape)) << ToUtf8(folder);
    EXPECT_TRUE(ListTree(folder).empty());
  }
  EXPECT_NE(first, second);
}

TEST_F(WorkingTreeTest, UnusableTemporaryFolderRaisesBeforeCreatingAnything) {
  WriteBytes(temp() + L"\\file", "x");
  const std::wstring cases[] = {
      temp() + L"\\file\\",                              // a file, not a folder
      temp() + L"\\missing\\deeper\\",                   // parent of the parent missing
      temp() + L"\\" + std::wstring(300, L'x') + L"\\",  // longer than the 260-unit buffer
  };
  for (const std::wstring& value : cases) {
    const ScopedEnvironment tmp(L"TMP", value);
    const ScopedEnvironment temp(L"TEMP", value);
    try {
      WorkingTree().CreateWorkingFolder();
      ADD_FAILURE() << "created under " << value.size() << " units";
    } catch (const std::runtime_error& error) {
      EXPECT_STREQ(error.what(), "CreateDirectory failed");
    }
  }
  EXPECT_EQ(ListTree(temp()), std::vector<std::wstring>{L"file"});
}

// A file where the shared parent belongs: left as it is, and the run gets a
// private parent of its own beside it.
TEST_F(WorkingTreeTest, SharedParentThatIsAFileIsLeftAlone) {
  WriteBytes(temp() + L"\\UlveraneSetup", "not a folder");
  const WorkingTree tree;
  EXPECT_FALSE(tree.shared());
  const std::wstring folder = tree.CreateWorkingFolder().path();
  const std::wregex shape(L".*\\\\UlveraneSetup-[0-9a-f-]{36}\\\\[0-9a-f-]{36}\\\\");
  EXPECT_TRUE(std::regex_match(folder, shape)) << ToUtf8(folder);
  EXPECT_EQ(folder.substr(0, tree.parent().size()), tree.parent());
  EXPECT_EQ(ReadBytes(temp() + L"\\UlveraneSetup"), "not a folder");
}

// The shared parent with this run's folder, a killed run's, and folders that
// must stay whole: a live run's (its log is open), one without a log, one
// whose SetupUI.exe still runs, one of another name, and a killed run's that
// is marked finished. A cleaned one is marked finished once nothing of the
// payload's is left in it, and so is this run's.
TEST_F(WorkingTreeTest, OnlyTheKilledRunsPayloadGoes) {
  std::optional<WorkingTree> tree(std::in_place);
  std::optional<WorkingFolder> working(tree->CreateWorkingFolder());
  const std::wstring own = working->path();
  const std::wstring killed = parent() + L"11111111-aaaa-4bbb-8ccc-dddddddddddd\\";
  const std::wstring cleaned = parent() + L"77777777-7777-4777-8777-777777777777\\";
  const std::wstring live = parent() + L"22222222-2222-4222-8222-222222222222\\";
  const std::wstring noLog = parent() + L"33333333-3333-4333-8333-333333333333\\";
  const std::wstring running = parent() + L"44444444-4444-4444-8444-444444444444\\";
  const std::wstring marked = parent() + L"66666666-6666-4666-8666-666666666666\\";
  const std::wstring other = parent() + L"not-a-run\\";
  for (const std::wstring& folder : {own, killed, cleaned, live, noLog, running, marked, other})
    WriteRun(folder, folder != noLog);
  MarkFinished(marked.substr(0, marked.size() - 1));
  const std::wstring file = parent() + L"55555555-5555-4555-8555-555555555555";
  WriteBytes(file, "a file, not a folder");
  WriteBytes(killed + L"notes.txt", "");
  WriteBytes(killed + L"de\\notes.txt", "");
  const UniqueFile liveLog = Hold(live + L"Setup.log", GENERIC_WRITE);
  ASSERT_TRUE(liveLog.valid());
  ASSERT_TRUE(CopyFileW(ULVERANE_TEST_BINARY_DIR L"\\stand_in.exe",
                        (running + L"SetupUI.exe").c_str(), FALSE));
  const ScopedEnvironment wait(L"ULVERANE_STANDIN_WAIT", L"60000");
  const ScopedEnvironment report(L"ULVERANE_STANDIN_REPORT", L"");
  SetupProcess program(running + L"SetupUI.exe", L"", running);
  ASSERT_TRUE(program.started());

  std::map<std::wstring, std::vector<std::wstring>> expected;
  for (const std::wstring& folder : {own, live, noLog, running, marked, other})
    expected[folder] = ListTree(folder);
  expected[killed] = {L"Setup.log", L"de\\", L"de\\notes.txt", L"notes.txt"};
  expected[cleaned] = {L"Setup.log"};
  {
    // Held: this one file stays, for a later run, and the folder unmarked.
    const UniqueFile busy = Hold(cleaned + L"fr\\SetupUI.resources.dll", GENERIC_READ);
    tree->CleanUpInterruptedRuns(*working);
    EXPECT_FALSE(IsMarkedFinished(LastWrite(cleaned)));
  }
  tree->CleanUpInterruptedRuns(*working);
  for (const auto& [folder, tree] : expected)
    EXPECT_EQ(ListTree(folder), tree) << ToUtf8(folder);
  EXPECT_EQ(ReadBytes(killed + L"Setup.log"), "log");
  EXPECT_TRUE(Exists(file));
  EXPECT_TRUE(IsMarkedFinished(LastWrite(cleaned)));
  for (const std::wstring& folder : {own, killed, live, noLog})
    EXPECT_FALSE(IsMarkedFinished(LastWrite(folder))) << ToUtf8(folder);

  RemoveTree(own);
  CreateDirectoryW(own.c_str(), nullptr);
  WriteBytes(own + L"Setup.log", "log");
  working.reset();
  EXPECT_TRUE(IsMarkedFinished(LastWrite(own)));
}

}  // namespace
}  // namespace ulverane::testing
