#ifndef ULVERANE_SETUP_WORKING_FOLDER_H_
#define ULVERANE_SETUP_WORKING_FOLDER_H_

#include <string>

#include "base/held_folder.h"

namespace ulverane {

// This run's folder <temp>\UlveraneSetup\<uuid>\, held open from its
// creation to the end of the run so that nobody can rename or replace it.
// It stays, with its Setup.log, after the object is gone.
class WorkingFolder {
 public:
  WorkingFolder(std::wstring path, HeldFolder held)
      : path_(std::move(path)), held_(std::move(held)) {}

  // Ends in a backslash.
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
  HeldFolder held_;
};

// Makes this run's working folder under the shared parent, which may exist
// already. The name is a random UUID in lower-case 8-4-4-4-12 form. The
// folder is created with a protected DACL: full control to the process's
// default owner, SYSTEM and Administrators, read and execute to its user,
// inherited by everything in it; a volume that keeps no permissions (FAT)
// gets none. Raises "CreateDirectory failed" when the folder cannot be made,
// when the temporary folder, the UUID or the permissions cannot be had
// (nothing is created then), or when the folder held is not the one made: a
// link, or a folder of another owner.
WorkingFolder CreateWorkingFolder();

}  // namespace ulverane

#endif  // ULVERANE_SETUP_WORKING_FOLDER_H_
