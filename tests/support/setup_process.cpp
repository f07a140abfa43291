#include "tests/support/setup_process.h"

namespace ulverane::testing {

SetupProcess::SetupProcess(const std::wstring& program,
                           const std::wstring& arguments,
                           const std::wstring& directory) {
  std::wstring line = L"\"" + program + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      directory.c_str(), &startup, &process_))
    process_ = {};
}

SetupProcess::~SetupProcess() {
  if (!started())
    return;
  if (WaitForSingleObject(process_.hProcess, 0) != WAIT_OBJECT_0) {
    TerminateProcess(process_.hProcess, kTimedOut);
    WaitForSingleObject(process_.hProcess, 5000);
  }
  CloseHandle(process_.hThread);
  CloseHandle(process_.hProcess);
}

DWORD SetupProcess::Wait(DWORD timeoutMs) {
  if (!started())
    return kTimedOut;
  if (WaitForSingleObject(process_.hProcess, timeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(process_.hProcess, kTimedOut);
    WaitForSingleObject(process_.hProcess, 5000);
    return kTimedOut;
  }
  DWORD code = kTimedOut;
  GetExitCodeProcess(process_.hProcess, &code);
  return code;
}

}  // namespace ulverane::testing
