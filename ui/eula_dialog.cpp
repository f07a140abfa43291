#include "ui/eula_dialog.h"

#include <richedit.h>

namespace ulverane {

EulaDialog::EulaDialog(HINSTANCE instance, HWND parent, std::string text)
    : Dialog(instance, IDD_EULA, parent), text_(std::move(text)) {}

INT_PTR EulaDialog::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    // The bytes go in as they are stored, in the ANSI code page; an RTF
    // document announces itself.
    SETTEXTEX settings = {ST_DEFAULT, CP_ACP};
    SendDlgItemMessageW(hwnd(), IDC_EULA_TEXT, EM_SETTEXTEX, reinterpret_cast<WPARAM>(&settings),
                        reinterpret_cast<LPARAM>(text_.c_str()));
    return TRUE;
  }
  // No icons or title here: the template's caption stays. Accept and Decline
  // end the dialog as OK and Cancel do everywhere.
  return Dialog::DialogProc(message, wParam, lParam);
}

}  // namespace ulverane
