#include "base/temp_file.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <future>

#include "tests/support/temp_folder.h"

namespace ulverane::testing {
namespace {

ULONGLONG Elapsed(ULONGLONG start) {
  return GetTickCount64() - start;
}

// Destroys a TempFile owning `path`; returns how long that took.
ULONGLONG Destroy(const std::wstring& path) {
  const ULONGLONG start = GetTickCount64();
  {
    TempFile file;
    file.SetPath(path);
  }
  return Elapsed(start);
}

HANDLE HoldWithoutDeleteSharing(const std::wstring& path) {
  return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_EXISTING, 0, nullptr);
}

TEST(TempFileTest, DeletesAtOnceWhenNothingHoldsTheFile) {
  TempFolder folder;
  WriteBytes(folder / L"free", "x");
  EXPECT_LT(Destroy(folder / L"free"), 500u);
  EXPECT_FALSE(Exists(folder / L"free"));
  // Already gone: no attempt, no delay.
  EXPECT_LT(Destroy(folder / L"free"), 100u);
}

TEST(TempFileTest, KeptOrUnsetFilesStay) {
  TempFolder folder;
  WriteBytes(folder / L"kept", "x");
  {
    TempFile file;
    file.SetPath(folder / L"kept");
    file.Keep();
  }
  { TempFile unset; }
  EXPECT_TRUE(Exists(folder / L"kept"));
}

// A moved file is owned once: by the last owner, which deletes it when it
// goes, and a file assigned over is deleted first.
TEST(TempFileTest, MovedFileIsDeletedByItsLastOwnerOnly) {
  TempFolder folder;
  WriteBytes(folder / L"moved", "x");
  WriteBytes(folder / L"replaced", "x");
  TempFile last;
  last.SetPath(folder / L"replaced");
  {
    TempFile first;
    first.SetPath(folder / L"moved");
    TempFile second(std::move(first));
    last = std::move(second);
  }
  EXPECT_TRUE(Exists(folder / L"moved"));
  EXPECT_FALSE(Exists(folder / L"replaced"));
  last = TempFile();
  EXPECT_FALSE(Exists(folder / L"moved"));
}

// The slow cases, side by side: each takes the whole retry time.
TEST(TempFileTest, RetriesForTwoSecondsThenGivesUp) {
  TempFolder folder;
  WriteBytes(folder / L"held", "x");
  WriteBytes(folder / L"released", "x");
  WriteBytes(folder / L"readonly", "x");
  SetFileAttributesW((folder / L"readonly").c_str(), FILE_ATTRIBUTE_READONLY);
  const HANDLE held = HoldWithoutDeleteSharing(folder / L"held");
  const HANDLE released = HoldWithoutDeleteSharing(folder / L"released");
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  ASSERT_NE(released, INVALID_HANDLE_VALUE);

  auto heldTime = std::async(std::launch::async, [&] { return Destroy(folder / L"held"); });
  auto readonlyTime = std::async(std::launch::async, [&] { return Destroy(folder / L"readonly"); });
  auto releasedTime = std::async(std::launch::async, [&] { return Destroy(folder / L"released"); });
  Sleep(300);
  CloseHandle(released);

  EXPECT_LT(releasedTime.get(), 1500u);
  EXPECT_FALSE(Exists(folder / L"released"));
  for (auto* time : {&heldTime, &readonlyTime}) {
    const ULONGLONG t = time->get();
    EXPECT_GE(t, 1990u);
    EXPECT_LT(t, 3000u);
  }
  EXPECT_TRUE(Exists(folder / L"held"));
  EXPECT_TRUE(Exists(folder / L"readonly"));
  CloseHandle(held);
}

}  // namespace
}  // namespace ulverane::testing
