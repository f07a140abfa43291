#ifndef ULVERANE_UI_MESSAGE_BOX_H_
#define ULVERANE_UI_MESSAGE_BOX_H_

#include <string>

namespace ulverane {

// "Ulverane Photo Setup": the caption of every wide message box.
std::wstring SetupTitle();

// A modal MessageBoxW with no owner and SetupTitle() as caption. Returns the
// button pressed (IDOK, IDCANCEL, ...).
int ShowMessageBox(const std::wstring& text, unsigned int flags);

}  // namespace ulverane

#endif  // ULVERANE_UI_MESSAGE_BOX_H_
