#ifndef ULVERANE_BENCH_WINDOW_WATCH_H_
#define ULVERANE_BENCH_WINDOW_WATCH_H_

// Waiting for a dialog of a program under measurement, closely enough to
// time when it showed. Finding and working its windows is the tests' own
// window search.

#include <windows.h>

#include "bench/timed_process.h"
#include "tests/support/wait.h"
#include "tests/support/window_search.h"

namespace ulverane::bench {

// A visible dialog of `process` (testing::FindDialog), looked for every
// millisecond so that the moment it shows is known to about that; null on
// time-out or when the process ends first.
inline HWND WaitForWindow(const TimedProcess& process,
                          DWORD timeoutMs,
                          const wchar_t* caption = nullptr,
                          int controlId = 0) {
  HWND window = nullptr;
  testing::WaitUntil(
      [&] {
        window = testing::FindDialog(process.id(), caption, controlId);
        return window != nullptr || process.Wait(0);
      },
      timeoutMs, 1);
  return window;
}

}  // namespace ulverane::bench

#endif  // ULVERANE_BENCH_WINDOW_WATCH_H_
