#ifndef ULVERANE_BASE_FREE_SPACE_H_
#define ULVERANE_BASE_FREE_SPACE_H_

#include <cstdint>
#include <string>

namespace ulverane {

// The room left to this process's user on the volume that holds a folder,
// as the system tells it when asked: disk quotas count. Never raises.
class FreeSpace {
 public:
  // Asks about the volume of `folder`, an existing folder whose path ends in
  // a backslash. Where the system cannot tell its room (some network paths,
  // a folder that does not exist), known() is false.
  explicit FreeSpace(const std::wstring& folder);

  bool known() const { return known_; }
  // Bytes the caller may still write there; 0 when not known.
  std::uint64_t available() const { return available_; }
  // The volume as the user knows it, "C:" or "\\server\share": its root
  // without the last backslash, or the folder itself when the root cannot
  // be had.
  const std::wstring& volume() const { return volume_; }

  // What a file of `size` bytes takes there: whole clusters. Where the
  // cluster size cannot be told, just the bytes.
  std::uint64_t Taken(std::uint64_t size) const;

 private:
  bool known_ = false;
  std::uint64_t available_ = 0;
  std::uint64_t clusterSize_ = 1;
  std::wstring volume_;
};

}  // namespace ulverane

#endif  // ULVERANE_BASE_FREE_SPACE_H_
