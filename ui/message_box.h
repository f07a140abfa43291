#ifndef ULVERANE_UI_MESSAGE_BOX_H_
#define ULVERANE_UI_MESSAGE_BOX_H_

#include <windows.h>

#include <string>

namespace ulverane {

// "Ulverane Photo Setup": the caption of every wide message box.
std::wstring SetupTitle();

// A modal MessageBoxW with SetupTitle() as caption, owned by `owner` (none
// when null). Returns the button pressed (IDOK, IDCANCEL, ...).
int ShowMessageBox(const std::wstring& text, unsigned int flags, HWND owner = nullptr);

}  // namespace ulverane

#endif  // ULVERANE_UI_MESSAGE_BOX_H_
