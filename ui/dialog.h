#ifndef ULVERANE_UI_DIALOG_H_
#define ULVERANE_UI_DIALOG_H_

#include <windows.h>

#include <exception>
#include <stdexcept>
#include <string>
#include <utility>

#include "base/unique_resource.h"
#include "resources/resource_ids.h"
#include "ui/message_box.h"
#include "ui/window_metrics.h"

namespace ulverane {

// A modal dialog made from a template in the program's own resources. T is
// the derived dialog class: each class has its own static dialog procedure
// and its own `currentInstance`, so that one dialog of each class can run at
// a time, and dialogs of different classes can nest.
template <typename T>
class Dialog {
 public:
  Dialog(HINSTANCE instance, int templateId, HWND parent)
      : instance_(instance), templateId_(templateId), parent_(parent) {}
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;
  virtual ~Dialog() = default;

  // Runs the dialog until it ends; returns the value it ended with, or -1
  // when it cannot be created (a missing template or control class). Raises
  // "Dialog: Reentrance not allowed", and shows nothing, while a dialog of
  // the same class runs. A runtime error raised inside the dialog's
  // procedure ends the dialog and is raised again here, once the platform's
  // message loop has been left.
  int RunModal() {
    if (currentInstance != nullptr)
      throw std::runtime_error("Dialog: Reentrance not allowed");
    currentInstance = static_cast<T*>(this);
    const INT_PTR result =
        DialogBoxParamW(nullptr, MAKEINTRESOURCEW(templateId_), parent_, StaticDialogProc, 0);
    currentInstance = nullptr;
    if (pending_) {
      const std::exception_ptr error = pending_;
      pending_ = nullptr;
      std::rethrow_exception(error);
    }
    return static_cast<int>(result);
  }

  // The dialog's window once its first message arrived; kept afterwards.
  HWND hwnd() const { return hwnd_; }

 protected:
  // The modeless form, for a window beside the caller's own work: makes the
  // dialog, hidden if its template is, bound to this object until the window
  // is destroyed, which the caller does before the object goes. Its messages
  // reach it through the caller's loop (IsDialogMessageW); its procedure
  // must not raise. Returns null when it cannot be created. Raises "Dialog:
  // Reentrance not allowed" while a dialog of the same class exists.
  HWND Create() {
    if (currentInstance != nullptr)
      throw std::runtime_error("Dialog: Reentrance not allowed");
    currentInstance = static_cast<T*>(this);
    const HWND window =
        CreateDialogParamW(nullptr, MAKEINTRESOURCEW(templateId_), parent_, StaticDialogProc, 0);
    if (window == nullptr)
      currentInstance = nullptr;
    return window;
  }

  // The default handling: the product's icons and title on WM_INITDIALOG,
  // and OK or Cancel (also Escape and the close box) end the dialog with the
  // whole wParam. Returns TRUE when the message was handled.
  virtual INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
      SetIcons();
      const std::wstring title = SetupTitle();
      SendMessageW(hwnd_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(title.c_str()));
      return TRUE;
    }
    // Moved to a screen of another DPI, the dialog is scaled by the system's
    // own handling, which still runs; icons of ours are drawn anew for it.
    if (message == WM_DPICHANGED && (smallIcon_.valid() || bigIcon_.valid()))
      SetIcons();
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
      EndDialog(hwnd_, static_cast<INT_PTR>(wParam));
      return TRUE;
    }
    return FALSE;
  }

  HINSTANCE instance() const { return instance_; }

 private:
  // The object is bound to its window by the first message, which comes
  // before WM_INITDIALOG. An exception must not unwind through the
  // platform's frames, so it waits in `pending_` for RunModal.
  static INT_PTR CALLBACK StaticDialogProc(HWND window,
                                           UINT message,
                                           WPARAM wParam,
                                           LPARAM lParam) {
    Dialog* const self = currentInstance;
    if (self == nullptr)
      return FALSE;
    if (self->hwnd_ == nullptr)
      self->hwnd_ = window;
    // The last message: a modeless dialog's object is free from here on.
    if (message == WM_NCDESTROY)
      currentInstance = nullptr;
    try {
      return self->DialogProc(message, wParam, lParam);
    } catch (...) {
      if (!self->pending_)
        self->pending_ = std::current_exception();
      EndDialog(window, -1);
      return TRUE;
    }
  }

  // At the sizes the system asks for at the dialog's DPI.
  void SetIcons() {
    SetIcon(smallIcon_, ICON_SMALL, SM_CXSMICON, SM_CYSMICON);
    SetIcon(bigIcon_, ICON_BIG, SM_CXICON, SM_CYICON);
  }

  // The window does not destroy the icons it is given; they live as long as
  // this object, which outlives the window. The one it had is released only
  // once the window has let go of it.
  void SetIcon(UniqueIcon& holder, WPARAM kind, int widthMetric, int heightMetric) {
    UniqueIcon icon(static_cast<HICON>(LoadImageW(
        instance_, MAKEINTRESOURCEW(IDI_SETUP), IMAGE_ICON, MetricForWindow(hwnd_, widthMetric),
        MetricForWindow(hwnd_, heightMetric), LR_DEFAULTCOLOR)));
    if (!icon.valid())
      return;
    SendMessageW(hwnd_, WM_SETICON, kind, reinterpret_cast<LPARAM>(icon.get()));
    holder = std::move(icon);
  }

  static inline T* currentInstance = nullptr;

  HWND hwnd_ = nullptr;
  HINSTANCE instance_;
  int templateId_;
  HWND parent_;
  std::exception_ptr pending_;
  UniqueIcon smallIcon_;
  UniqueIcon bigIcon_;
};

}  // namespace ulverane

#endif  // ULVERANE_UI_DIALOG_H_
