#ifndef ULVERANE_SETUP_WORKING_FOLDER_H_
#define ULVERANE_SETUP_WORKING_FOLDER_H_

#include <string>

#include "setup/held_folder.h"

namespace ulverane {

// This run's folder, held open from its creation to the end of the run so
// that nobody can rename or replace it. It stays, with its Setup.log, after
// the object is gone; one that then holds none of the payload is marked
// finished (MarkFinished), so that later runs need not look into it.
class WorkingFolder {
 public:
  WorkingFolder(std::wstring path, HeldFolder held)
      : path_(std::move(path)), held_(std::move(held)) {}
  WorkingFolder(WorkingFolder&&) = default;
  WorkingFolder& operator=(WorkingFolder&&) = delete;
  ~WorkingFolder();

  // Ends in a backslash.
  const std::wstring& path() const { return path_; }

  // Whether path() still leads to the folder held, as a program started from
  // it would be found: false once anything on the way was repointed.
  bool Resolves() const;

 private:
  std::wstring path_;
  HeldFolder held_;
};

// Whether `name`, right inside a working folder, is one of the payload's:
// a root file or a language folder.
bool IsPayloadName(const std::wstring& name);

}  // namespace ulverane

#endif  // ULVERANE_SETUP_WORKING_FOLDER_H_
