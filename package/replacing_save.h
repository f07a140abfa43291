#ifndef ULVERANE_PACKAGE_REPLACING_SAVE_H_
#define ULVERANE_PACKAGE_REPLACING_SAVE_H_

#include <string>

#include "base/temp_file.h"

namespace ulverane {

// Saves a file in place of `target` the way that loses nothing: the new
// content goes to a fresh file of our own beside the target (same folder,
// so the final rename stays on one volume), and only a complete, flushed
// file takes the target's place. Until Commit has succeeded the target is
// as it was and the fresh file is deleted when this object goes.
class ReplacingSave {
 public:
  // Raises "Image loading failed" (logging "CreateFile failed") when an
  // existing target is a folder, read-only or held open by anyone, and
  // (logging "GetTempFileName failed") when the folder cannot be written.
  explicit ReplacingSave(std::wstring target);

  // The fresh file to write the content to.
  const std::wstring& path() const { return file_.path(); }

  // Call once the fresh file is written and closed. Where a file is
  // replaced, the fresh one first takes over its hidden, system, archive and
  // not-indexed attributes (best effort) and its permissions, as Windows
  // applications keep them; a null DACL is not passed on. Then its data is
  // flushed and it takes the target's place, retrying for 2 s while a
  // scanner or indexer holds either file. Raises "CreateFile failed",
  // "GetNamedSecurityInfo failed", "GetSecurityDescriptorControl failed",
  // "SetSecurityInfo failed", "FlushFileBuffers failed" or "MoveFileEx
  // failed"; the target is then as it was.
  void Commit();

 private:
  std::wstring target_;
  TempFile file_;
};

}  // namespace ulverane

#endif  // ULVERANE_PACKAGE_REPLACING_SAVE_H_
