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

// A visible top-level window of `processId`; with a caption, only a dialog
// ("#32770") of that caption; with a control id, only one that has it.
struct WindowQuery {
  DWORD processId = 0;
  const wchar_t* caption = nullptr;
  int controlId = 0;
  HWND found = nullptr;
};

inline BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter) {
  auto* query = reinterpret_cast<WindowQuery*>(parameter);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != query->processId || !IsWindowVisible(window))
    return TRUE;
  if (query->caption != nullptr &&
      (WindowClass(window) != L"#32770" || WindowText(window) != query->caption))
    return TRUE;
  if (query->controlId != 0 && GetDlgItem(window, query->controlId) == nullptr)
    return TRUE;
  query->found = window;
  return FALSE;
}

inline HWND FindWindowOf(DWORD processId, const wchar_t* caption = nullptr, int controlId = 0) {
  WindowQuery query;
  query.processId = processId;
  query.caption = caption;
  query.controlId = controlId;
  EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&query));
  return query.found;
}

// Polls every millisecond, so that the moment is known to about that; null
// on time-out or when `process` ends first.
inline HWND WaitForWindow(HANDLE process,
                          DWORD processId,
                          DWORD timeoutMs,
                          const wchar_t* caption = nullptr,
                          int controlId = 0) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    if (const HWND window = FindWindowOf(processId, caption, controlId))
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
