#ifndef ULVERANE_TESTS_SUPPORT_BOX_INSPECTOR_H_
#define ULVERANE_TESTS_SUPPORT_BOX_INSPECTOR_H_

#include <windows.h>

#include <string>
#include <vector>

namespace ulverane::testing {

// What a dialog window (class "#32770") shows: a message box or any dialog.
struct BoxInfo {
  std::wstring caption;
  std::wstring text;         // the message box's static 0xFFFF, if any
  std::wstring icon;         // "error", "information", "warning", "question" or ""
  std::vector<int> buttons;  // ids of the push buttons, ascending
  DWORD processId = 0;
};

// The first visible top-level "#32770" window of `processId` (0: any
// process) whose caption is `caption` (null: any), waiting up to
// `timeoutMs`. Returns null when none showed up.
HWND FindBox(DWORD processId, const wchar_t* caption, DWORD timeoutMs);

BoxInfo ReadBox(HWND box);

// Clicks button `id` the way a user would.
void PressButton(HWND box, int id);

// Writes the box as UTF-8 lines: caption=, text= (line feeds as \n), icon=,
// buttons= (ids separated by commas).
std::string FormatBox(const BoxInfo& box);

}  // namespace ulverane::testing

#endif  // ULVERANE_TESTS_SUPPORT_BOX_INSPECTOR_H_
