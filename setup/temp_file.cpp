#include "setup/temp_file.h"

#include <windows.h>

namespace ulverane {
namespace {

constexpr ULONGLONG kDeleteRetryMilliseconds = 2000;

}  // namespace

TempFile::~TempFile() {
  if (!deleteOnDestroy_ || path_.empty())
    return;
  // A file that is already gone must not cost the retry time.
  if (GetFileAttributesW(path_.c_str()) == INVALID_FILE_ATTRIBUTES)
    return;
  // Scanners and indexers hold fresh files briefly; give them time to let go.
  const ULONGLONG start = GetTickCount64();
  while (!DeleteFileW(path_.c_str())) {
    if (GetTickCount64() >= start + kDeleteRetryMilliseconds)
      break;
    Sleep(1);
  }
}

}  // namespace ulverane
