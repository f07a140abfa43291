#ifndef ULVERANE_SETUP_WORKING_TREE_H_
#define ULVERANE_SETUP_WORKING_TREE_H_

#include <optional>
#include <string>

#include "base/unique_resource.h"
#include "setup/held_folder.h"
#include "setup/process_identity.h"
#include "setup/working_folder.h"

namespace ulverane {

// The folders the setup runs work in: <temp>\UlveraneSetup\, shared by every
// run, and one working folder per run in it, named by a random UUID in
// lower-case 8-4-4-4-12 form. <temp> is the system's temporary folder for
// this process: GetTempPath2W where the system has it (LocalSystem then gets
// one only it may enter), GetTempPathW elsewhere.
//
// The shared parent is held for the life of this object, so that no path of
// the run can be repointed above the working folder. It is trusted only when
// it is a plain folder (no link, no file) owned by this process's user or
// default owner, SYSTEM or the Administrators; otherwise, also when it
// cannot be held, it is left untouched and the run gets a parent of its
// own, <temp>\UlveraneSetup-<uuid>\, made private like a working folder.
class WorkingTree {
 public:
  // Raises "CreateDirectory failed" when the temporary folder, the process's
  // identity or a private parent cannot be had.
  WorkingTree();
  WorkingTree(const WorkingTree&) = delete;
  WorkingTree& operator=(const WorkingTree&) = delete;

  // Whether the shared parent is used (false: a private one).
  bool shared() const { return shared_; }
  // The parent in use, and the shared one's path; both end in a backslash.
  const std::wstring& parent() const { return parent_; }
  const std::wstring& sharedParent() const { return sharedParent_; }

  // Makes this run's working folder in the parent, with a protected DACL:
  // full control to the process's default owner, SYSTEM and Administrators,
  // read and execute to its user, inherited by everything in it; a volume
  // that keeps no permissions (FAT) gets none. Raises "CreateDirectory
  // failed" when it cannot be made or is not the one made (a link, a folder
  // of another owner).
  WorkingFolder CreateWorkingFolder() const;

  // Finishes the clean-up of earlier runs that were killed before their own
  // (a restart, a killed process, a power cut): removes the payload that
  // they left in the shared parent's working folders other than `own`.
  //
  // It may run with more rights than whoever can write the shared parent, so
  // it touches only what is ours and cannot be steered or stalled. Folders
  // are taken from the held parent's own listing, and only those in the
  // working folders' form that are neither links nor marked finished. Each
  // is first peeked at, which asks for no data and so waits for no one; only
  // a plain folder of this process's user or default owner is then held and
  // listed. Only one whose Setup.log opens for this process alone (a live
  // run keeps its log open) and whose SetupUI.exe is gone or can be deleted
  // (it is not running) is cleaned. Of those, only the payload's own names
  // go; the folder, its Setup.log and anything else stay, and the folder is
  // marked finished once it holds no payload.
  //
  // One attempt per file: what cannot go now stays for a later run. Nothing
  // is done with a private parent. Never raises and writes no log line.
  void CleanUpInterruptedRuns(const WorkingFolder& own) const;

 private:
  // A new folder `folder` (ending in a backslash) with the private
  // permissions, held; raises as CreateWorkingFolder.
  HeldFolder CreatePrivate(const std::wstring& folder) const;
  void RemovePayload(const std::wstring& folder) const;

  // Only where the volume keeps owners.
  std::optional<ProcessIdentity> identity_;
  UniqueLocalMemory descriptor_;
  std::wstring sharedParent_;
  std::wstring parent_;
  HeldFolder held_;
  bool shared_ = true;
};

}  // namespace ulverane

#endif  // ULVERANE_SETUP_WORKING_TREE_H_
