#include "log/logger.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "tests/support/temp_folder.h"

namespace ulverane {
namespace {

using testing::ReadBytes;
using testing::TempFolder;

class SetupLogTest : public ::testing::Test {
 protected:
  void TearDown() override {
    setupLog.close();
    setupLog.clear();
  }
  std::wstring Folder() const { return folder_.path() + L"\\"; }
  std::wstring LogPath() const { return folder_ / L"Setup.log"; }

  TempFolder folder_;
};

TEST_F(SetupLogTest, WritesLinesInUtf8WithLineFeedsOnly) {
  testing::WriteBytes(LogPath(), "left over from before\r\n");
  OpenSetupLog(Folder());
  ASSERT_TRUE(setupLog.is_open());
  setupLog << "Trying to start process: " << std::wstring(L"C:\\T\u00e9mp\\SetupUI.exe") << " "
           << std::wstring(L"/log=true") << std::endl;
  setupLog << "  Exit code: " << static_cast<int>(0xC0000005) << std::endl;
  setupLog << "empty piece:" << std::wstring() << std::endl;
  // Each line is on disk as soon as it is ended, while the file is still open.
  EXPECT_EQ(ReadBytes(LogPath()),
            "Trying to start process: C:\\T\xC3\xA9mp\\SetupUI.exe /log=true\n"
            "  Exit code: -1073741819\n"
            "empty piece:\n");
}

TEST_F(SetupLogTest, SharesTheFileWithReadersAndWritersButNotDeletion) {
  OpenSetupLog(Folder());
  HANDLE other = CreateFileW(LogPath().c_str(), GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(other, INVALID_HANDLE_VALUE);
  if (other != INVALID_HANDLE_VALUE)
    CloseHandle(other);
  EXPECT_FALSE(DeleteFileW(LogPath().c_str()));
}

TEST_F(SetupLogTest, SecondOpenKeepsTheFirstFileAndFailsTheStream) {
  OpenSetupLog(Folder());
  setupLog << "first" << std::endl;
  TempFolder second;
  OpenSetupLog(second.path() + L"\\");
  EXPECT_TRUE(setupLog.fail());
  EXPECT_FALSE(testing::Exists(second / L"Setup.log"));
  setupLog << "dropped" << std::endl;
  EXPECT_EQ(ReadBytes(LogPath()), "first\n");
}

TEST_F(SetupLogTest, UnopenableLogDropsWritesSilently) {
  OpenSetupLog(folder_ / L"missing\\");
  EXPECT_FALSE(setupLog.is_open());
  setupLog << "nowhere" << std::endl;
  EXPECT_FALSE(testing::Exists(folder_ / L"missing"));
}

}  // namespace
}  // namespace ulverane
