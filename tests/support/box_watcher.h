#ifndef ULVERANE_TESTS_SUPPORT_BOX_WATCHER_H_
#define ULVERANE_TESTS_SUPPORT_BOX_WATCHER_H_

#include <windows.h>

#include <optional>
#include <thread>

#include "tests/support/box_reader.h"

namespace ulverane::testing {

// Waits on a thread of its own for a box of this process, reads it and
// presses `button` (or closes it with WM_CLOSE when `button` is 0).
class BoxWatcher {
 public:
  explicit BoxWatcher(int button, DWORD timeoutMs = 10000);
  BoxWatcher(const BoxWatcher&) = delete;
  BoxWatcher& operator=(const BoxWatcher&) = delete;
  ~BoxWatcher();

  // Joins the thread; empty when no box showed up in time.
  std::optional<BoxInfo> Result();

 private:
  std::optional<BoxInfo> result_;
  std::thread thread_;
};

}  // namespace ulverane::testing

#endif  // ULVERANE_TESTS_SUPPORT_BOX_WATCHER_H_
