// A hook DLL that answers questions about a dialog from inside the process
// that owns it, for what the platform does not pass between processes (the
// window's icons, a control's cue banner, the focus).
//
// DialogDriver::Probe loads it into the dialog's thread as a WH_GETMESSAGE
// hook and posts the registered message "UlveraneWindowProbe" to the dialog
// with the asking thread's id in wParam. With lParam 0 the hook writes its
// answer as UTF-8 lines to the file that the variable ULVERANE_PROBE_REPORT
// of the dialog's process names, then posts WM_APP to the asking thread:
//   icon-small=<width>   icon-big=<width>   (0: no icon)
//   metric-small=<width> metric-big=<width> (the sizes the system asks for)
//   focus=<control id>
//   cue.<id>=<cue banner text>              (each edit control)
// With lParam 1 it posts WM_APP with wParam 1 + the index in kStandardIcons
// of the icon that the dialog's icon control shows (a message box's), or 0.
#include <windows.h>
#include <commctrl.h>

#include <fstream>
#include <string>

#include "log/utf8.h"

namespace {

int IconWidth(HWND window, WPARAM kind) {
  const auto icon = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, kind, 0));
  ICONINFO info;
  if (icon == nullptr || !GetIconInfo(icon, &info))
    return 0;
  BITMAP bitmap = {};
  GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap);
  if (info.hbmColor != nullptr)
    DeleteObject(info.hbmColor);
  if (info.hbmMask != nullptr)
    DeleteObject(info.hbmMask);
  return bitmap.bmWidth;
}

BOOL CALLBACK AddCueBanner(HWND child, LPARAM report) {
  wchar_t name[16];
  if (GetClassNameW(child, name, 16) == 0 || lstrcmpiW(name, L"Edit") != 0)
    return TRUE;
  wchar_t cue[256] = {};
  const bool has = SendMessageW(child, EM_GETCUEBANNER, reinterpret_cast<WPARAM>(cue), 256) != 0;
  *reinterpret_cast<std::string*>(report) += "cue." + std::to_string(GetDlgCtrlID(child)) + "=" +
                                             (has ? ulverane::ToUtf8(cue) : "") + "\n";
  return TRUE;
}

BOOL CALLBACK FindIconStatic(HWND child, LPARAM found) {
  if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
    return TRUE;
  *reinterpret_cast<HWND*>(found) = child;
  return FALSE;
}

// The standard icon the dialog shows, compared by handle in its own process.
WPARAM StandardIcon(HWND dialog) {
  HWND control = nullptr;
  EnumChildWindows(dialog, FindIconStatic, reinterpret_cast<LPARAM>(&control));
  const auto icon = control != nullptr
                        ? reinterpret_cast<HICON>(SendMessageW(control, STM_GETICON, 0, 0))
                        : nullptr;
  const LPCWSTR standard[] = {IDI_ERROR, IDI_INFORMATION, IDI_WARNING, IDI_QUESTION};
  for (WPARAM i = 0; icon != nullptr && i < 4; ++i)
    if (LoadIconW(nullptr, standard[i]) == icon)
      return i + 1;
  return 0;
}

void Answer(HWND dialog, DWORD asker, LPARAM question) {
  if (question == 1) {
    PostThreadMessageW(asker, WM_APP, StandardIcon(dialog), 0);
    return;
  }
  std::string report = "icon-small=" + std::to_string(IconWidth(dialog, ICON_SMALL)) +
                       "\nicon-big=" + std::to_string(IconWidth(dialog, ICON_BIG)) +
                       "\nmetric-small=" + std::to_string(GetSystemMetrics(SM_CXSMICON)) +
                       "\nmetric-big=" + std::to_string(GetSystemMetrics(SM_CXICON)) + "\n";
  const HWND focus = GetFocus();
  report += "focus=" + std::to_string(focus != nullptr ? GetDlgCtrlID(focus) : 0) + "\n";
  EnumChildWindows(dialog, AddCueBanner, reinterpret_cast<LPARAM>(&report));
  wchar_t path[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(L"ULVERANE_PROBE_REPORT", path, MAX_PATH);
  if (length != 0 && length < MAX_PATH) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << report;
  }
  PostThreadMessageW(asker, WM_APP, 0, 0);
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK
    ProbeHook(int code, WPARAM wParam, LPARAM lParam) {
  static const UINT question = RegisterWindowMessageW(L"UlveraneWindowProbe");
  const auto* message = reinterpret_cast<const MSG*>(lParam);
  if (code == HC_ACTION && wParam == PM_REMOVE && message->message == question)
    Answer(message->hwnd, static_cast<DWORD>(message->wParam), message->lParam);
  return CallNextHookEx(nullptr, code, wParam, lParam);
}
