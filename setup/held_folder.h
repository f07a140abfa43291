#ifndef ULVERANE_SETUP_HELD_FOLDER_H_
#define ULVERANE_SETUP_HELD_FOLDER_H_

#include <windows.h>

#include <functional>
#include <string>

#include "base/unique_resource.h"
#include "setup/process_identity.h"

namespace ulverane {

// One directory entry as the folder's own listing gives it.
struct FolderEntry {
  std::wstring name;
  DWORD attributes;
  FILETIME lastWrite;
};

// A folder opened as itself, never through a link: every check below is
// about the folder that the handle has.
//
// Held (the default), it is read and listed and shares everything but
// deletion, so that nobody can rename, move or delete it, nor put another in
// its place, while this object lives. Peeked, it asks for no data at all and
// shares everything: such an open breaks no one's oplock and waits for no
// one, so a folder of anyone's can be asked who owns it without being held
// up. Resolved, the path is followed as a program start would follow it,
// links included, to tell where it leads now.
class HeldFolder {
 public:
  enum class Mode { kHold, kPeek, kResolve };

  HeldFolder() = default;
  // Opens `path` (no trailing backslash). valid() is false when it cannot be
  // opened, or is no folder, or (but when resolved) is a link: a junction, a
  // mount point, a symbolic link. Nothing of it is held then.
  explicit HeldFolder(const std::wstring& path, Mode mode = Mode::kHold);

  bool valid() const { return handle_.valid(); }

  // Whether its owner, asked through the handle, is `identity`'s user or
  // default owner; IsTrustedBy also takes SYSTEM and the Administrators.
  bool IsOwnedBy(const ProcessIdentity& identity) const;
  bool IsTrustedBy(const ProcessIdentity& identity) const;

  // Whether both are open on the same folder of the same volume.
  bool IsSameFolder(const HeldFolder& other) const;

  // Calls `visit` for the folder's entries, read through the handle, until
  // it returns false. False when the entries cannot be read (held only).
  bool ForEachEntry(const std::function<bool(const FolderEntry& entry)>& visit) const;

  // Whether an entry's name satisfies `wanted`; true also when the entries
  // cannot be read.
  bool MayHold(const std::function<bool(const std::wstring& name)>& wanted) const;

 private:
  bool OwnerIs(const std::function<bool(PSID owner)>& wanted) const;

  UniqueFile handle_;
};

// Whether the volume of `path` keeps owners and permissions (FAT does not);
// true when that cannot be told.
bool KeepsOwners(const std::wstring& path);

// A finished run leaves its folder's last-write time with a fraction of a
// second of its own, which the parent's listing shows: such folders are not
// even opened again. Anyone may set it, but skipping a folder is always safe;
// a change in the folder sets the time anew. Best effort, never raises.
void MarkFinished(const std::wstring& folder);
bool IsMarkedFinished(const FILETIME& lastWrite);

}  // namespace ulverane

#endif  // ULVERANE_SETUP_HELD_FOLDER_H_
