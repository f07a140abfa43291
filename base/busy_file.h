#ifndef ULVERANE_BASE_BUSY_FILE_H_
#define ULVERANE_BASE_BUSY_FILE_H_

#include <windows.h>

#include <string>

#include "base/unique_resource.h"

namespace ulverane {

// File operations that wait for other programs to let go of a file: virus
// scanners and indexers open fresh files for a moment. Each tries at once,
// then again every millisecond until 2000 ms have passed. Neither raises.

// Deletes `path`, retrying while the deletion fails for any reason; a file
// still there after that stays. A file that is already gone costs no time.
// Returns whether the file is gone.
bool DeleteWhenFree(const std::wstring& path);

// Moves `source` over `target` (replacing it, written through before it
// returns), retrying while either file is held (sharing violation or access
// denied). Returns false once that has not worked for 2000 ms, or at once on
// any other failure; both files are then as they were.
bool ReplaceWhenFree(const std::wstring& source, const std::wstring& target);

// Opens the existing file `path` with `access` and no sharing at all,
// retrying while someone else holds it (sharing violation or access
// denied). Invalid once that has not worked for 2000 ms, or at once on any
// other failure.
UniqueFile OpenAloneWhenFree(const std::wstring& path, DWORD access);

}  // namespace ulverane

#endif  // ULVERANE_BASE_BUSY_FILE_H_
