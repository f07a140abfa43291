#ifndef ULVERANE_TESTS_SUPPORT_WAIT_H_
#define ULVERANE_TESTS_SUPPORT_WAIT_H_

#include <windows.h>

namespace ulverane::testing {

// How long a test watches for something that must NOT happen (a window that
// must not open, a program that must not start) before it says it did not.
// Everything such a test waits for follows a message already handled or a
// process already ended; under emulation a new window shows within about
// 1.2 s and a started program reports within about 0.8 s, so twice that is
// enough for it to have shown if it was going to.
constexpr DWORD kNothingHappensMs = 2500;

// Polls `condition` every `intervalMs` until it holds or `timeoutMs` passed.
// True when it held.
template <typename Condition>
bool WaitUntil(Condition condition, DWORD timeoutMs, DWORD intervalMs = 20) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    if (condition())
      return true;
    if (GetTickCount64() >= deadline)
      return false;
    Sleep(intervalMs);
  }
}

}  // namespace ulverane::testing

#endif  // ULVERANE_TESTS_SUPPORT_WAIT_H_
