// A hook DLL that answers questions about a dialog from inside the process
// that owns it, for what the platform does not pass between processes (the
// window's icons, a control's cue banner, the focus).
//
// DialogDriver::Probe loads it into the dialog's thread as a WH_GETMESSAGE
// hook and posts the registered message "UlveraneWindowProbe" to the dialog
// with the asking thread's id in wParam. The hook writes its answer as UTF-8
// lines to the file that the variable ULVERANE_PROBE_REPORT of the dialog's
// process names, then posts WM_APP to the asking thread:
//   icon-small=<width>   icon-big=<width>   (0: no icon)
//   metric-small=<width> metric-big=<width> (the sizes the system asks for)
//   focus=<control id>
//   cue.<id>=<cue banner text>              (each edit control)
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

void Answer(HWND dialog, DWORD asker) {
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
    Answer(message->hwnd, static_cast<DWORD>(message->wParam));
  return CallNextHookEx(nullptr, code, wParam, lParam);
}
