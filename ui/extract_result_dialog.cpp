#include "ui/extract_result_dialog.h"

namespace ulverane {

ExtractResultDialog::ExtractResultDialog(HINSTANCE instance, std::wstring packagePath)
    : Dialog(instance, IDD_EXTRACT_RESULT, nullptr), packagePath_(std::move(packagePath)) {}

INT_PTR ExtractResultDialog::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SendDlgItemMessageW(hwnd(), IDC_OPEN_EXPLORER, BM_SETCHECK, BST_CHECKED, 0);
    return Dialog::DialogProc(message, wParam, lParam);
  }
  if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
    openExplorer_ =
        SendDlgItemMessageW(hwnd(), IDC_OPEN_EXPLORER, BM_GETCHECK, 0, 0) == BST_CHECKED;
    EndDialog(hwnd(), static_cast<INT_PTR>(wParam));
    return TRUE;
  }
  return Dialog::DialogProc(message, wParam, lParam);
}

}  // namespace ulverane
