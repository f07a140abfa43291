#ifndef ULVERANE_BASE_HELD_FOLDER_H_
#define ULVERANE_BASE_HELD_FOLDER_H_

#include <windows.h>

#include <functional>
#include <string>

#include "base/process_identity.h"
#include "base/unique_resource.h"

namespace ulverane {

// A folder held open, so that nobody can rename, move or delete it, nor put
// another in its place, while this object lives: its handle reads the folder
// and shares everything but deletion. A link is opened as itself, never
// followed, so every check below is about the folder that is held.
class HeldFolder {
 public:
  HeldFolder() = default;
  // Opens `path` (no trailing backslash). valid() is false when it cannot be
  // opened, or is no folder, or is a link (a junction, a mount point, a
  // symbolic link): nothing of it is held then.
  explicit HeldFolder(const std::wstring& path);

  bool valid() const { return handle_.valid(); }

  // Whether its owner is `identity`'s user or default owner, asked through
  // the handle.
  bool IsOwnedBy(const ProcessIdentity& identity) const;

  // Whether an entry of the folder, read through the handle, satisfies
  // `wanted`; true also when the entries cannot be read.
  bool MayHold(const std::function<bool(const std::wstring& name)>& wanted) const;

 private:
  UniqueFile handle_;
};

// Whether the volume of `path` keeps owners and permissions (FAT does not);
// true when that cannot be told.
bool KeepsOwners(const std::wstring& path);

}  // namespace ulverane

#endif  // ULVERANE_BASE_HELD_FOLDER_H_
