#ifndef ULVERANE_BENCH_TIMED_PROCESS_H_
#define ULVERANE_BENCH_TIMED_PROCESS_H_

// A program started for a measurement: its process and the moment it was
// started.

#include <windows.h>

#include <cstdio>
#include <string>

#include "base/unique_resource.h"
#include "bench/figures.h"

namespace ulverane::bench {

// Owns the process; one that still runs when the holder goes away is ended
// by force, so that a measurement that gives up leaves nothing running that
// would slow the next one.
class TimedProcess {
 public:
  // Starts `program` with `commandLine` (which names the program first, as
  // its argv[0]). When that fails, says why on stderr; started() is false.
  TimedProcess(const std::wstring& program, std::wstring commandLine) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    start_ = Now();
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info)) {
      std::fprintf(stderr, "CreateProcess failed: error %lu\n", GetLastError());
      return;
    }
    CloseHandle(info.hThread);
    process_.reset(info.hProcess);
    id_ = info.dwProcessId;
  }
  TimedProcess(const TimedProcess&) = delete;
  TimedProcess& operator=(const TimedProcess&) = delete;
  ~TimedProcess() {
    if (started() && !Wait(0))
      TerminateProcess(process_.get(), 1);
  }

  bool started() const { return process_.valid(); }
  HANDLE handle() const { return process_.get(); }
  DWORD id() const { return id_; }
  // Taken just before the process was created.
  const LARGE_INTEGER& start() const { return start_; }

  // True once the process has ended; waits `timeoutMs` at the most.
  bool Wait(DWORD timeoutMs) const {
    return WaitForSingleObject(process_.get(), timeoutMs) == WAIT_OBJECT_0;
  }

  // Meaningful once Wait() said the process ended.
  DWORD ExitCode() const {
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    return code;
  }

 private:
  UniqueHandle process_;
  DWORD id_ = 0;
  LARGE_INTEGER start_ = {};
};

}  // namespace ulverane::bench

#endif  // ULVERANE_BENCH_TIMED_PROCESS_H_
