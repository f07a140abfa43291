#include "ui/progress_window.h"

#include <commctrl.h>

#include "base/cancelled.h"

namespace ulverane {
namespace {

// A copy that is over within this time shows nothing at all.
constexpr DWORD kShowAfterMs = 1000;
constexpr DWORD kMoveEveryMs = 250;
// The bar's range: finer than any screen shows it.
constexpr int kSteps = 1000;

// Where the user is working now: after a second, that need not be where the
// setup was started from.
void CentreOnMonitorOfPointer(HWND window) {
  // Failing that, the primary monitor's origin.
  POINT pointer = {0, 0};
  if (!GetCursorPos(&pointer))
    pointer = {0, 0};
  const HMONITOR monitor = MonitorFromPoint(pointer, MONITOR_DEFAULTTOPRIMARY);
  MONITORINFO info = {};
  info.cbSize = sizeof(info);
  RECT frame;
  // Where a step fails, the template's own centring stays.
  if (monitor == nullptr || !GetMonitorInfoW(monitor, &info) || !GetWindowRect(window, &frame))
    return;
  const RECT& work = info.rcWork;
  SetWindowPos(window, nullptr,
               work.left + (work.right - work.left - (frame.right - frame.left)) / 2,
               work.top + (work.bottom - work.top - (frame.bottom - frame.top)) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

ProgressWindow::ProgressWindow(HINSTANCE instance, std::wstring text, std::uint64_t total)
    : Dialog(instance, IDD_PROGRESS, nullptr),
      text_(std::move(text)),
      total_(total),
      started_(GetTickCount()) {}

void ProgressWindow::Copied(std::uint64_t bytes) {
  copied_ += bytes;
  // An unsigned difference survives the wrap of the 32-bit count.
  const DWORD now = GetTickCount();
  if (!tried_ && copied_ < total_ && now - started_ >= kShowAfterMs) {
    tried_ = true;
    Show(now);
  }
  if (!window_.valid())
    return;
  if (now - moved_ >= kMoveEveryMs) {
    MoveBar();
    moved_ = now;
  }
  HandleMessages();
  if (cancelled_) {
    // Gone at once, not only after the clean-up.
    window_.reset();
    throw Cancelled();
  }
}

INT_PTR ProgressWindow::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    Dialog::DialogProc(message, wParam, lParam);
    SendDlgItemMessageW(hwnd(), IDC_PROGRESS_TEXT, WM_SETTEXT, 0,
                        reinterpret_cast<LPARAM>(text_.c_str()));
    SendDlgItemMessageW(hwnd(), IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, kSteps);
    // Focus on Cancel, the only control to work.
    return TRUE;
  }
  // The close box and Esc come as Cancel too. Enter has nothing to confirm.
  if (message == WM_COMMAND && (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK)) {
    cancelled_ = cancelled_ || LOWORD(wParam) == IDCANCEL;
    return TRUE;
  }
  return Dialog::DialogProc(message, wParam, lParam);
}

void ProgressWindow::Show(DWORD now) {
  const HWND window = Create();
  if (window == nullptr)
    return;
  window_.reset(window);
  MoveBar();
  moved_ = now;
  CentreOnMonitorOfPointer(window);
  ShowWindow(window, SW_SHOW);
}

void ProgressWindow::MoveBar() {
  const auto position = static_cast<WPARAM>(copied_ * kSteps / total_);
  SendDlgItemMessageW(window_.get(), IDC_PROGRESS_BAR, PBM_SETPOS, position, 0);
}

// The loop of a modeless dialog: keys such as Esc and Tab go to the dialog
// manager first.
void ProgressWindow::HandleMessages() {
  MSG message;
  while (window_.valid() && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (!IsDialogMessageW(window_.get(), &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
}

}  // namespace ulverane
