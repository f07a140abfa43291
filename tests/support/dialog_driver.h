#ifndef ULVERANE_TESTS_SUPPORT_DIALOG_DRIVER_H_
#define ULVERANE_TESTS_SUPPORT_DIALOG_DRIVER_H_

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/support/window_search.h"

namespace ulverane::testing {

// What one control of a dialog shows, read from any process.
struct ControlInfo {
  int id = 0;
  std::wstring className;
  bool visible = false;
  int check = -1;  // BST_* for check boxes, -1 for other controls
  RECT rect = {};  // screen coordinates
  std::wstring text;
};

// Finds, reads and works the dialogs of a program under test the way a user
// would, from another thread or process; its waits and clicks are
// ScriptedUser's.
class DialogDriver {
 public:
  // The first visible "#32770" window of `processId` (0: any) whose caption
  // is `caption` (null: any), waiting up to `timeoutMs`; null when none
  // showed up.
  static HWND WaitFor(DWORD processId, const wchar_t* caption, DWORD timeoutMs = 20000);
  static HWND WaitFor(DWORD processId, const std::wstring& caption, DWORD timeoutMs = 20000) {
    return WaitFor(processId, caption.c_str(), timeoutMs);
  }
  // Waits until `window` is gone or hidden; false on time-out.
  static bool WaitGone(HWND window, DWORD timeoutMs = 20000);
  // A visible top-level window owned by `owner` (the system's questions
  // have no caption of ours to find them by); null on time-out.
  static HWND WaitForOwned(HWND owner, DWORD timeoutMs = 10000);
  // A visible top-level window of class `className` and caption `caption`
  // of any process; null on time-out.
  static HWND WaitForWindow(const wchar_t* className, const std::wstring& caption, DWORD timeoutMs);
  // Answers the Save As dialog of `processId` with `path` and OK, and the
  // system's question with Yes where `path` exists; false when Save As did
  // not show or did not go.
  static bool SaveAs(DWORD processId, const std::wstring& path);

  explicit DialogDriver(HWND dialog) : dialog_(dialog) {}

  HWND window() const { return dialog_; }
  std::wstring Caption() const;
  RECT Rect() const;
  std::vector<ControlInfo> Controls() const;
  ControlInfo Control(int id) const;
  // What the dialog's own process says about it (see window_probe.cpp): the
  // widths of its icons, its focus and its cue banners, as "key=value"
  // lines. `report` is the file that the process's ULVERANE_PROBE_REPORT
  // names. Empty when it did not answer.
  std::string Probe(const std::wstring& report) const;
  // The standard icon ("error", "information", "warning", "question") that
  // the dialog's icon control shows, as its own process sees it; "" for
  // none, "other" for another one.
  std::wstring StandardIcon() const;
  // The client area of a control as shown on the screen, 0x00RRGGBB.
  std::vector<DWORD> ClientPixels(int id) const;

  // Waits until check box `id` shows `state`; false on time-out.
  bool WaitForCheck(int id, int state, DWORD timeoutMs = 5000) const;

  // A click on button `id`; returns at once, also when it opens a dialog.
  void Click(int id) const;
  void Type(int id, const std::wstring& text) const;
  // The command of button `id` (1 for OK, 2 for Cancel, 1011 for Save...).
  void Command(int id) const;
  void Close() const;

 private:
  // Posts `question` to the probe hook in the dialog's thread and waits for
  // its WM_APP answer; nothing when it did not answer.
  std::optional<WPARAM> Ask(LPARAM question) const;

  HWND dialog_;
};

// Writes `window` as shown on the screen to `path` as a 32-bit BMP file.
bool SaveScreenshot(HWND window, const std::wstring& path);

}  // namespace ulverane::testing

#endif  // ULVERANE_TESTS_SUPPORT_DIALOG_DRIVER_H_
