#include "base/busy_file.h"

#include <windows.h>

#include "base/kernel32_export.h"

namespace ulverane {
namespace {

constexpr ULONGLONG kRetryMilliseconds = 2000;

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

// Calls `attempt` until it succeeds, `busy` calls its failure final, or the
// retry time is up.
template <typename Attempt, typename Busy>
bool Retry(Attempt attempt, Busy busy) {
  const Clock clock;
  const ULONGLONG start = clock.Now();
  while (!attempt()) {
    if (!busy(GetLastError()) || clock.Since(start) >= kRetryMilliseconds)
      return false;
    Sleep(1);
  }
  return true;
}

// Someone else has the file open for now.
bool IsHeld(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED;
}

}  // namespace

bool DeleteWhenFree(const std::wstring& path) {
  // A file that is already gone must not cost the retry time; one that
  // merely cannot be asked about may still be deletable.
  if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
      return true;
  }
  return Retry([&] { return DeleteFileW(path.c_str()) != FALSE; }, [](DWORD) { return true; });
}

bool ReplaceWhenFree(const std::wstring& source, const std::wstring& target) {
  return Retry(
      [&] {
        return MoveFileExW(source.c_str(), target.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
      },
      IsHeld);
}

UniqueFile OpenAloneWhenFree(const std::wstring& path, DWORD access) {
  UniqueFile file;
  Retry(
      [&] {
        file.reset(CreateFileW(path.c_str(), access, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
        return file.valid();
      },
      IsHeld);
  return file;
}

}  // namespace ulverane
