#include "setup/windows_features.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "base/wow64_redirection_off.h"
#include "log/utf8.h"
#include "tests/support/environment.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wait.h"
#include "tests/support/wow64.h"
#include "tests/test_paths.h"

namespace ulverane::testing {
namespace {

// A 32-bit process on 64-bit Windows sees the 32-bit view (Wow6432Node);
// the key that the 64-bit view alone holds is not there for it.
TEST(WindowsFeaturesTest, DotNet35ProbeReadsTheViewOfThisProcess) {
  const bool sees32 = sizeof(void*) == 4;
  struct Case {
    bool in32;
    bool in64;
  };
  for (const Case c :
       {Case{false, false}, Case{false, true}, Case{true, false}, Case{true, true}}) {
    SetDotNet35Key(c.in32, KEY_WOW64_32KEY);
    SetDotNet35Key(c.in64, KEY_WOW64_64KEY);
    EXPECT_EQ(IsDotNet35Present(), sees32 ? c.in32 : c.in64) << c.in32 << c.in64;
  }
  SetDotNet35Key(false, KEY_WOW64_32KEY);
  SetDotNet35Key(false, KEY_WOW64_64KEY);
}

class WindowsFeaturesStartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!IsWow64())
      GTEST_SKIP() << "no file-system redirection outside WoW64";
    // The stand-in only where 64-bit Windows keeps the real program, a
    // planted one in the current directory, and a file only the 32-bit view
    // of the system folder holds.
    ASSERT_TRUE(CopyToNativeSystemFolder(kStandIn, L"OptionalFeatures.exe"));
    ASSERT_TRUE(CopyFileW(kStandIn, (folder_ / L"OptionalFeatures.exe").c_str(), FALSE));
    wchar_t wow64Folder[MAX_PATH];
    const UINT length = GetSystemWow64DirectoryW(wow64Folder, MAX_PATH);
    ASSERT_GT(length, 0u);
    wow64Marker_ = std::wstring(wow64Folder, length) + L"\\" + markerName_;
    WriteBytes(wow64Marker_, "32-bit view");
    GetCurrentDirectoryW(MAX_PATH, saved_);
    SetCurrentDirectoryW(folder_.path().c_str());
  }
  void TearDown() override {
    if (!IsWow64())
      return;
    SetCurrentDirectoryW(saved_);
    DeleteFromNativeSystemFolder(L"OptionalFeatures.exe");
    DeleteFileW(wow64Marker_.c_str());
  }

  // Whether this thread sees the 32-bit view of the system folder now.
  bool Redirected() { return Exists(SystemFolder() + L"\\" + markerName_); }

  static constexpr const wchar_t* kStandIn = ULVERANE_TEST_BINARY_DIR L"\\stand_in.exe";
  TempFolder folder_;
  const std::wstring markerName_ = L"ulverane-view-" + std::to_wstring(GetCurrentProcessId());
  std::wstring wow64Marker_;
  const std::wstring report_ = folder_ / L"report.txt";
  ScopedEnvironment reportVariable_{L"ULVERANE_STANDIN_REPORT", report_};
  wchar_t saved_[MAX_PATH] = {};
};

TEST_F(WindowsFeaturesStartTest, RedirectionIsOffInsideTheScopeOnly) {
  ASSERT_TRUE(Redirected());
  {
    const Wow64RedirectionOff off;
    EXPECT_FALSE(Redirected());
    {
      const Wow64RedirectionOff nested;
      EXPECT_FALSE(Redirected());
    }
    EXPECT_FALSE(Redirected()) << "the inner scope must restore the outer state";
  }
  EXPECT_TRUE(Redirected());
}

TEST_F(WindowsFeaturesStartTest, StartsTheNativeProgramAndRedirectsAgainAfterwards) {
  StartWindowsFeatures();
  EXPECT_TRUE(Redirected()) << "redirection must be back on right after the start";
  std::string report;
  WaitUntil(
      [&] {
        report = Exists(report_) ? ReadBytes(report_) : "";
        return report.find("program=") != std::string::npos;
      },
      10000);
  EXPECT_NE(report.find("program=" + ToUtf8(SystemFolder()) + "\\OptionalFeatures.exe\n"),
            std::string::npos)
      << report;
  EXPECT_EQ(report.find("program=" + ToUtf8(folder_.path())), std::string::npos) << report;
}

}  // namespace
}  // namespace ulverane::testing
