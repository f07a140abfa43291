#include "setup/satellite_folders.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

#include "log/logger.h"
#include "log/utf8.h"
#include "tests/support/pe_writer.h"
#include "tests/support/temp_folder.h"

namespace ulverane::testing {
namespace {

class SatelliteFoldersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PeWriter writer;
    writer.AddResources({Resource{{L"BIN"}, {L"", 136}, 2057, "de bytes"},
                         Resource{{L"BIN"}, {L"", 137}, 2057, "en-US bytes"},
                         Resource{{L"BIN"}, {L"", 144}, 2057, "zh-Hans bytes"}});
    WriteBytes(folder_ / L"image.exe", writer.Build());
    CreateDirectoryW(work_.c_str(), nullptr);
    OpenSetupLog(work_);
  }
  void TearDown() override {
    setupLog.close();
    setupLog.clear();
  }
  std::string Log() { return ReadBytes(work_ + L"Setup.log"); }

  TempFolder folder_;
  const std::wstring work_ = folder_ / L"work\\";
};

TEST_F(SatelliteFoldersTest, CopiesIntoSubFoldersAndRemovesThemInOrder) {
  ExecutableImage image(folder_.path(), L"image.exe");
  {
    SatelliteFolders folders(work_, image);
    folders.Add(L"de", 136);
    folders.Add(L"zh-Hans", 144);
    folders.Add(L"en-US", 137);
    EXPECT_EQ(ReadBytes(work_ + L"de\\SetupUI.resources.dll"), "de bytes");
    EXPECT_EQ(ReadBytes(work_ + L"zh-Hans\\SetupUI.resources.dll"), "zh-Hans bytes");
    EXPECT_EQ(ReadBytes(work_ + L"en-US\\SetupUI.resources.dll"), "en-US bytes");
    // Strangers in two sub-folders keep them from being removed.
    WriteBytes(work_ + L"en-US\\stray", "");
    WriteBytes(work_ + L"zh-Hans\\stray", "");
  }
  EXPECT_EQ(Log(), "RemoveDirectory failed: " + ToUtf8(work_) + "zh-Hans\n" +
                       "RemoveDirectory failed: " + ToUtf8(work_) + "en-US\n");
  EXPECT_EQ(ListTree(work_), (std::vector<std::wstring>{L"Setup.log", L"en-US\\", L"en-US\\stray",
                                                        L"zh-Hans\\", L"zh-Hans\\stray"}));
}

TEST_F(SatelliteFoldersTest, FailedCopyRemovesItsFolderAndKeepsEarlierOnes) {
  ExecutableImage image(folder_.path(), L"image.exe");
  {
    SatelliteFolders folders(work_, image);
    folders.Add(L"de", 136);
    try {
      folders.Add(L"it", 140);
      ADD_FAILURE() << "resource 140 does not exist";
    } catch (const std::runtime_error& error) {
      EXPECT_STREQ(error.what(), "ResourceDir::GetChildWithId");
    }
    EXPECT_TRUE(Exists(work_ + L"de\\SetupUI.resources.dll"));
  }
  EXPECT_EQ(ListTree(work_), std::vector<std::wstring>{L"Setup.log"});
  EXPECT_EQ(Log(), "");
}

// The file stays locked for the whole retry time, so its sub-folder stays.
TEST_F(SatelliteFoldersTest, LockedFileKeepsItsFolderWithOneLogLine) {
  ExecutableImage image(folder_.path(), L"image.exe");
  auto folders = std::make_unique<SatelliteFolders>(work_, image);
  folders->Add(L"de", 136);
  const HANDLE lock =
      CreateFileW((work_ + L"de\\SetupUI.resources.dll").c_str(), GENERIC_READ,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  folders.reset();
  CloseHandle(lock);
  EXPECT_EQ(Log(), "RemoveDirectory failed: " + ToUtf8(work_) + "de\n");
  EXPECT_TRUE(Exists(work_ + L"de\\SetupUI.resources.dll"));
}

}  // namespace
}  // namespace ulverane::testing
