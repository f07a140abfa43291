#ifndef ULVERANE_TESTS_SUPPORT_WINDOW_SEARCH_H_
#define ULVERANE_TESTS_SUPPORT_WINDOW_SEARCH_H_

// Finding, reading and working the windows of a program from another
// process, as a user would. Header-only, so that the benchmarks use the very
// same lines without the rest of the test support.

#include <windows.h>

#include <string>

#include "resources/resource_ids.h"

namespace ulverane::testing {

// The text of a window of any process (a control's too), or "" when its
// program does not answer in time.
inline std::wstring WindowText(HWND window) {
  wchar_t buffer[8192];
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, 8192, reinterpret_cast<LPARAM>(buffer),
                           SMTO_ABORTIFHUNG, 5000, &length))
    return L"";
  return std::wstring(buffer, static_cast<size_t>(length));
}

inline std::wstring ClassName(HWND window) {
  wchar_t name[128];
  const int length = GetClassNameW(window, name, 128);
  return std::wstring(name, length > 0 ? static_cast<size_t>(length) : 0);
}

// A visible dialog ("#32770") of `processId` (0: any process); with a
// caption, only one of that caption; with a control id, only one that has
// it. The progress window of a long copy is no dialog to answer: it is found
// only by its bar's id, IDC_PROGRESS_BAR. The caption is read without a
// message to the program, so that each look costs little and never waits
// for a busy program.
inline HWND FindDialog(DWORD processId, const wchar_t* caption = nullptr, int controlId = 0) {
  HWND window = nullptr;
  while ((window = FindWindowExW(nullptr, window, L"#32770", nullptr)) != nullptr) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if ((processId != 0 && owner != processId) || !IsWindowVisible(window))
      continue;
    if (caption != nullptr) {
      wchar_t text[256];
      const int length = GetWindowTextW(window, text, 256);
      if (std::wstring(text, length > 0 ? static_cast<size_t>(length) : 0) != caption)
        continue;
    }
    if (controlId != 0 && GetDlgItem(window, controlId) == nullptr)
      continue;
    if (controlId != IDC_PROGRESS_BAR && GetDlgItem(window, IDC_PROGRESS_BAR) != nullptr)
      continue;
    return window;
  }
  return nullptr;
}

// The command of button `id` of `dialog`, as a click sends it.
inline void PostCommand(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

}  // namespace ulverane::testing

#endif  // ULVERANE_TESTS_SUPPORT_WINDOW_SEARCH_H_
