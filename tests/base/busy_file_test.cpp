#include "base/busy_file.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <future>

#include "tests/support/temp_folder.h"

namespace ulverane::testing {
namespace {

// Wine refuses to replace a target that any handle holds (access denied) and
// to move a source held without delete sharing (sharing violation); both
// must be waited out. Each case is "<name>" replaced by "<name>.new", or
// "<name>" opened alone.
TEST(BusyFileTest, ReplaceAndOpenWaitUpToTwoSecondsForHeldFiles) {
  TempFolder folder;
  struct Case {
    const wchar_t* name;
    bool holdSource, holdTarget, releaseSoon, missingSource, replaced;
    ULONGLONG atLeastMs, belowMs;
    bool open = false;  // replaced: opened
  };
  const Case cases[] = {
      {L"target-released", false, true, true, false, true, 450, 1500},
      {L"source-released", true, false, true, false, true, 450, 1500},
      {L"target-held", false, true, false, false, false, 1990, 3000},
      {L"no-source", false, false, false, true, false, 0, 300},
      {L"open-released", false, true, true, true, true, 450, 1500, true},
      {L"open-held", false, true, false, true, false, 1990, 3000, true},
  };
  std::vector<HANDLE> soon, late;
  std::vector<std::future<std::pair<bool, ULONGLONG>>> results;
  for (const Case& c : cases) {
    const std::wstring target = folder / c.name, source = target + L".new";
    WriteBytes(target, "old");
    if (!c.missingSource)
      WriteBytes(source, "new");
    if (c.holdSource || c.holdTarget) {
      const HANDLE holder =
          CreateFileW((c.holdSource ? source : target).c_str(), GENERIC_READ,
                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
      ASSERT_NE(holder, INVALID_HANDLE_VALUE);
      (c.releaseSoon ? soon : late).push_back(holder);
    }
    results.push_back(std::async(std::launch::async, [source, target, open = c.open] {
      const ULONGLONG start = GetTickCount64();
      const bool done =
          open ? OpenAloneWhenFree(target, GENERIC_WRITE).valid() : ReplaceWhenFree(source, target);
      return std::pair{done, GetTickCount64() - start};
    }));
  }
  Sleep(500);
  for (const HANDLE holder : soon)
    CloseHandle(holder);
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    const auto [done, elapsed] = results[i].get();
    const std::wstring target = folder / c.name;
    EXPECT_EQ(done, c.replaced) << c.name;
    EXPECT_GE(elapsed, c.atLeastMs) << c.name;
    EXPECT_LT(elapsed, c.belowMs) << c.name;
    EXPECT_EQ(ReadBytes(target), c.replaced && !c.open ? "new" : "old") << c.name;
    EXPECT_EQ(Exists(target + L".new"), !c.replaced && !c.missingSource) << c.name;
  }
  for (const HANDLE holder : late)
    CloseHandle(holder);
}

}  // namespace
}  // namespace ulverane::testing
