#include "base/free_space.h"

#include <windows.h>

namespace ulverane {

FreeSpace::FreeSpace(const std::wstring& folder) : volume_(folder) {
  ULARGE_INTEGER available;
  if (!GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr))
    return;
  known_ = true;
  available_ = available.QuadPart;

  // The cluster size is asked of the root: older systems take nothing else.
  wchar_t root[MAX_PATH];
  if (GetVolumePathNameW(folder.c_str(), root, MAX_PATH)) {
    volume_ = root;
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    if (GetDiskFreeSpaceW(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters) &&
        sectorsPerCluster != 0 && bytesPerSector != 0)
      clusterSize_ = std::uint64_t{sectorsPerCluster} * bytesPerSector;
  }
  if (volume_.size() > 1 && volume_.back() == L'\\')
    volume_.pop_back();
}

std::uint64_t FreeSpace::Taken(std::uint64_t size) const {
  return (size + clusterSize_ - 1) / clusterSize_ * clusterSize_;
}

}  // namespace ulverane
