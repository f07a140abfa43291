#include "ui/extract_dialog.h"

#include <commctrl.h>
#include <commdlg.h>

#include <stdexcept>
#include <utility>

#include "base/system_library.h"
#include "ui/eula_dialog.h"

namespace ulverane {
namespace {

constexpr DWORD kPathBufferSize = MAX_PATH;

bool IsChecked(HWND dialog, int id) {
  return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

// The rich-edit control class of the agreement. From the system folder
// only: a copy planted beside the program or in the current directory must
// never load. Kept for the rest of the process, like any control library.
void LoadRichEdit() {
  static const SystemLibrary library(L"riched20.dll");
}

// The agreement's bytes as stored in the program. A missing text leaves
// nothing to accept.
bool LoadAgreementText(HINSTANCE instance, std::string* text) {
  const HRSRC resource = FindResourceW(instance, MAKEINTRESOURCEW(IDR_EULA_TEXT), L"TXT");
  if (resource == nullptr)
    return false;
  const HGLOBAL loaded = LoadResource(instance, resource);
  const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (bytes == nullptr)
    return false;
  text->assign(static_cast<const char*>(bytes), SizeofResource(instance, resource));
  return true;
}

}  // namespace

ExtractDialog::ExtractDialog(HINSTANCE instance, bool defaultsMode, TargetCheck acceptTarget)
    : Dialog(instance, IDD_EXTRACT, nullptr),
      defaultsMode_(defaultsMode),
      acceptTarget_(std::move(acceptTarget)) {}

INT_PTR ExtractDialog::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    // Owner-less, the dialog stands in the taskbar: it needs the icons.
    Dialog::DialogProc(message, wParam, lParam);
    SendDlgItemMessageW(hwnd(), IDC_INSTALL_FOLDER, EM_SETCUEBANNER, FALSE,
                        reinterpret_cast<LPARAM>(L"[Default]"));
    // No more than ReadControls keeps: what the administrator sees is what
    // the package gets.
    SendDlgItemMessageW(hwnd(), IDC_INSTALL_FOLDER, EM_SETLIMITTEXT, kPathBufferSize - 1, 0);
    SetFocus(GetDlgItem(hwnd(), IDC_SAVE));
    if (defaultsMode_)
      ApplyDefaultsLayout();
    return FALSE;
  }
  if (message == WM_COMMAND && LOWORD(wParam) == IDC_SAVE) {
    ReadControls();
    SaveAs();
    return FALSE;
  }
  if (message == WM_COMMAND && LOWORD(wParam) == IDC_NO_EULA) {
    OnEulaClicked();
    return FALSE;
  }
  // OK and Cancel end the dialog with the whole command.
  return Dialog::DialogProc(message, wParam, lParam);
}

void ExtractDialog::ReadControls() {
  if (!defaultsMode_) {
    noUpdateCheck_ = IsChecked(hwnd(), IDC_NO_UPDATE_CHECK);
    noEula_ = IsChecked(hwnd(), IDC_NO_EULA);
  }
  wchar_t folder[kPathBufferSize];
  // An empty field and a failed read both answer 0; only the failure leaves
  // an error, and it must not pass for an empty field.
  SetLastError(ERROR_SUCCESS);
  const int length =
      GetWindowTextW(GetDlgItem(hwnd(), IDC_INSTALL_FOLDER), folder, kPathBufferSize);
  if (length <= 0 && GetLastError() != ERROR_SUCCESS)
    throw std::runtime_error("GetWindowText failed");
  installFolder_.assign(folder, length > 0 ? static_cast<size_t>(length) : 0);
  desktopShortcut_ = IsChecked(hwnd(), IDC_DESKTOP_SHORTCUT);
}

void ExtractDialog::SaveAs() {
  wchar_t file[kPathBufferSize] = L"Ulverane.msi";
  OPENFILENAMEW request = {};
  request.lStructSize = sizeof(request);
  request.hwndOwner = hwnd();
  request.lpstrFilter = L"MSI files\0*.msi\0All files\0*.*\0";
  request.nFilterIndex = 0;
  request.lpstrFile = file;
  request.nMaxFile = kPathBufferSize;
  // No default extension: a name typed without one is saved as typed.
  request.Flags = OFN_OVERWRITEPROMPT;
  if (!GetSaveFileNameW(&request))
    return;
  if (acceptTarget_ && !acceptTarget_(hwnd(), file))
    return;
  packagePath_ = file;
  EndDialog(hwnd(), 1);
}

void ExtractDialog::OnEulaClicked() {
  const HWND box = GetDlgItem(hwnd(), IDC_NO_EULA);
  if (SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED) {
    SendMessageW(box, BM_SETCHECK, BST_UNCHECKED, 0);
    return;
  }
  if (eulaAccepted_) {
    SendMessageW(box, BM_SETCHECK, BST_CHECKED, 0);
    return;
  }
  std::string text;
  if (!LoadAgreementText(instance(), &text))
    return;
  LoadRichEdit();
  EulaDialog agreement(instance(), hwnd(), std::move(text));
  eulaAccepted_ = agreement.RunModal() == 1;
  if (eulaAccepted_)
    SendMessageW(box, BM_SETCHECK, BST_CHECKED, 0);
}

void ExtractDialog::ApplyDefaultsLayout() {
  // Disabled as well: the dialog manager may still give a hidden control's
  // mnemonic to it, and Alt+L would open the agreement.
  for (const int id : {IDC_NO_UPDATE_CHECK, IDC_NO_EULA, IDC_NO_UPDATE_CHECK_NOTE, IDC_NO_EULA_NOTE,
                       IDC_EXTRACT_SEPARATOR, IDC_EXTRACT_GROUP}) {
    const HWND control = GetDlgItem(hwnd(), id);
    ShowWindow(control, SW_HIDE);
    EnableWindow(control, FALSE);
  }

  // Everything is measured before anything moves, and the dialog shrinks
  // only once both buttons have moved up: a failed call leaves the template's
  // layout, never a button outside the dialog.
  RECT section, save, dialog;
  if (!GetWindowRect(GetDlgItem(hwnd(), IDC_EXTRACT_GROUP), &section) ||
      !GetWindowRect(GetDlgItem(hwnd(), IDC_SAVE), &save) || !GetWindowRect(hwnd(), &dialog))
    return;
  const LONG shift = section.top - save.top;

  struct Move {
    HWND button;
    POINT topLeft;
    POINT bottomRight;
  };
  Move moves[2];
  Move* move = moves;
  for (const int id : {IDC_SAVE, IDCANCEL}) {
    move->button = GetDlgItem(hwnd(), id);
    RECT area;
    if (!GetWindowRect(move->button, &area))
      return;
    move->topLeft = {area.left, area.top + shift};
    move->bottomRight = {area.right, area.bottom + shift};
    if (!ScreenToClient(hwnd(), &move->topLeft) || !ScreenToClient(hwnd(), &move->bottomRight))
      return;
    ++move;
  }
  for (const Move& m : moves) {
    if (!MoveWindow(m.button, m.topLeft.x, m.topLeft.y, m.bottomRight.x - m.topLeft.x,
                    m.bottomRight.y - m.topLeft.y, TRUE))
      return;
  }
  MoveWindow(hwnd(), dialog.left, dialog.top, dialog.right - dialog.left,
             dialog.bottom + shift - dialog.top, TRUE);
}

}  // namespace ulverane
