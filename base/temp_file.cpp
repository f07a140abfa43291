#include "base/temp_file.h"

#include <windows.h>

#include "base/kernel32_export.h"

namespace ulverane {
namespace {

constexpr ULONGLONG kDeleteRetryMilliseconds = 2000;

using TickCount64Function = ULONGLONG(WINAPI*)();

// Milliseconds since `start` (a value of Now()). Windows XP lacks
// GetTickCount64; its 32-bit count wraps after 49 days, which an unsigned
// difference of two readings survives.
class Clock {
 public:
  Clock() : tick64_(Kernel32Export<TickCount64Function>("GetTickCount64")) {}
  ULONGLONG Now() const { return tick64_ != nullptr ? tick64_() : GetTickCount(); }
  ULONGLONG Since(ULONGLONG start) const {
    if (tick64_ != nullptr)
      return tick64_() - start;
    return static_cast<DWORD>(GetTickCount() - static_cast<DWORD>(start));
  }

 private:
  TickCount64Function tick64_;
};

}  // namespace

TempFile::~TempFile() {
  if (!deleteOnDestroy_ || path_.empty())
    return;
  // A file that is already gone must not cost the retry time; one that
  // merely cannot be asked about may still be deletable.
  if (GetFileAttributesW(path_.c_str()) == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
      return;
  }
  // Scanners and indexers hold fresh files briefly; give them time to let go.
  const Clock clock;
  const ULONGLONG start = clock.Now();
  while (!DeleteFileW(path_.c_str())) {
    if (clock.Since(start) >= kDeleteRetryMilliseconds)
      break;
    Sleep(1);
  }
}

}  // namespace ulverane
