#include "tests/support/box_watcher.h"

#include "tests/support/scripted_user.h"

namespace ulverane::testing {

BoxWatcher::BoxWatcher(int button, DWORD timeoutMs) {
  thread_ = std::thread([this, button, timeoutMs] {
    const HWND box = FindBox(GetCurrentProcessId(), nullptr, timeoutMs);
    if (box == nullptr)
      return;
    result_ = ReadBox(box);
    ScriptedUser::Answer(box, button);
  });
}

BoxWatcher::~BoxWatcher() {
  if (thread_.joinable())
    thread_.join();
}

std::optional<BoxInfo> BoxWatcher::Result() {
  if (thread_.joinable())
    thread_.join();
  return result_;
}

}  // namespace ulverane::testing
