#ifndef ULVERANE_UI_PROGRESS_WINDOW_H_
#define ULVERANE_UI_PROGRESS_WINDOW_H_

#include <windows.h>

#include <cstdint>
#include <string>

#include "base/copy_observer.h"
#include "base/unique_resource.h"
#include "ui/dialog.h"

namespace ulverane {

// The window of a long copy (template 158): the product's title, `text` on
// one line, a progress bar over the bytes to copy and Cancel. It shows only
// once the copy has run for about a second with bytes still to go, so that
// a fast copy shows nothing, centred on the monitor under the mouse pointer.
// It lives on the copying thread: its messages are handled each time the
// copy reports a piece. One that cannot be made is not missed: the copy
// goes on without it.
class ProgressWindow : public Dialog<ProgressWindow>, public CopyObserver {
 public:
  // The clock starts here: make it right before the copy.
  ProgressWindow(HINSTANCE instance, std::wstring text, std::uint64_t total);

  // Counts `bytes` more as copied; shows the window or moves its bar, at
  // most four times a second, and handles its messages. Once the user has
  // pressed Cancel, Esc or the close box, takes the window away and raises
  // Cancelled.
  void Copied(std::uint64_t bytes) override;

  // Takes the window away, before the run's next window shows.
  void Close() { window_.reset(); }

 protected:
  INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void Show(DWORD now);
  void MoveBar();
  void HandleMessages();

  std::wstring text_;
  std::uint64_t total_;
  std::uint64_t copied_ = 0;
  DWORD started_;
  DWORD moved_ = 0;
  bool tried_ = false;
  bool cancelled_ = false;
  // Destroyed before the dialog object it is bound to.
  UniqueWindow window_;
};

}  // namespace ulverane

#endif  // ULVERANE_UI_PROGRESS_WINDOW_H_
