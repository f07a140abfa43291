#ifndef ULVERANE_BENCH_WINDOW_WATCH_H_
#define ULVERANE_BENCH_WINDOW_WATCH_H_

// Finding and working the windows of a program under measurement from
// another process, as a user would; the few lines of the tests' dialog
// driver that the benchmarks need, without its waits for painting.

#include <windows.h>

#include <string>

namespace ulverane::bench {

inline std::wstring WindowText(HWND window) {
  wchar_t buffer[512];
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buffer),
                           SMTO_ABORTIFHUNG, 5000, &length))
    return L"";
  return std::wstring(buffer, static_cast<size_t>(length));
}

inline std::wstring WindowClass(HWND window) {
  wchar_t name[128];
  const int length = GetClassNameW(window, name, 128);
  return std::wstring(name, length > 0 ? static_cast<size_t>(length) : 0);
}

// A visible dialog ("#32770") of `processId`; with a caption, only one of
// that caption; with a control id, only one that has it. The server picks
// the dialogs out of all top-level windows, and the caption is read without
// a message to the program, so that each look costs little: the looking must
// not take the processor from the program it times.
inline HWND FindDialogOf(DWORD processId, const wchar_t* caption = nullptr, int controlId = 0) {
  HWND window = nullptr;
  while ((window = FindWindowExW(nullptr, window, L"#32770", nullptr)) != nullptr) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != processId || !IsWindowVisible(window))
      continue;
    if (caption != nullptr) {
      wchar_t text[256];
      const int length = GetWindowTextW(window, text, 256);
      if (std::wstring(text, length > 0 ? static_cast<size_t>(length) : 0) != caption)
        continue;
    }
    if (controlId != 0 && GetDlgItem(window, controlId) == nullptr)
      continue;
    return window;
  }
  return nullptr;
}

// Polls for such a dialog every millisecond, so that the moment it shows is
// known to about that; null on time-out or when `process` ends first.
inline HWND WaitForWindow(HANDLE process,
                          DWORD processId,
                          DWORD timeoutMs,
                          const wchar_t* caption = nullptr,
                          int controlId = 0) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    if (const HWND window = FindDialogOf(processId, caption, controlId))
      return window;
    if (GetTickCount64() >= deadline || WaitForSingleObject(process, 1) == WAIT_OBJECT_0)
      return nullptr;
  }
}

// The command of button `id`, as a click would send it.
inline void PostCommand(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

}  // namespace ulverane::bench

#endif  // ULVERANE_BENCH_WINDOW_WATCH_H_
