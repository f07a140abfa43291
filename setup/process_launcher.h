#ifndef ULVERANE_SETUP_PROCESS_LAUNCHER_H_
#define ULVERANE_SETUP_PROCESS_LAUNCHER_H_

#include <windows.h>

#include <string>

#include "base/unique_resource.h"

namespace ulverane {

// Starts one program through the shell ("open", no owner, no shell error UI,
// in the current directory) and waits for it without a time limit, writing
// each step to the setup log. Never raises.
class ProcessLauncher {
 public:
  // `minimised` shows the program minimised without activating it; otherwise
  // it starts in its default way.
  ProcessLauncher(std::wstring program, std::wstring arguments, bool minimised);

  // The new process, or an empty handle when none came back.
  UniqueHandle Start() const;

  // Sets `exitCode` to 0xFFFFFFFF, starts the program and waits for it.
  // Returns false if no process was started; otherwise true once it has
  // ended, with its exit code stored.
  bool RunAndWait(DWORD& exitCode) const;

 private:
  std::wstring program_;
  std::wstring arguments_;
  bool minimised_;
};

}  // namespace ulverane

#endif  // ULVERANE_SETUP_PROCESS_LAUNCHER_H_
