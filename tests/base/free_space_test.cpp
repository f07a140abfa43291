// The room of a volume as the system tells it, and what files take there.

#include "base/free_space.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "tests/support/temp_folder.h"

namespace ulverane::testing {
namespace {

TEST(FreeSpaceTest, FilesTakeWholeClustersOfTheVolume) {
  const TempFolder folder;
  const FreeSpace space(folder.path() + L"\\");
  ASSERT_TRUE(space.known());
  EXPECT_GT(space.available(), 0u);
  wchar_t root[MAX_PATH] = {};
  ASSERT_TRUE(GetVolumePathNameW(folder.path().c_str(), root, MAX_PATH));
  EXPECT_EQ(space.volume() + L"\\", root);
  DWORD sectors = 0, bytes = 0, free = 0, total = 0;
  ASSERT_TRUE(GetDiskFreeSpaceW(root, &sectors, &bytes, &free, &total));
  const std::uint64_t cluster = std::uint64_t{sectors} * bytes;
  const std::pair<std::uint64_t, std::uint64_t> sizes[] = {
      {0, 0},
      {1, cluster},
      {cluster, cluster},
      {cluster + 1, 2 * cluster},
      {(1ull << 32) + 1, ((1ull << 32) / cluster + 1) * cluster}};
  for (const auto& [size, taken] : sizes)
    EXPECT_EQ(space.Taken(size), taken) << size;

  // A folder that is not there tells no room.
  EXPECT_FALSE(FreeSpace(folder / L"missing\\").known());
}

}  // namespace
}  // namespace ulverane::testing
