#include "tests/support/setup_process.h"

namespace ulverane::testing {

SetupProcess::SetupProcess(const std::wstring& program,
                           const std::wstring& arguments,
                           const std::wstring& directory,
                           const std::wstring& dll) {
  std::wstring line = L"\"" + program + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE,
                      dll.empty() ? 0 : CREATE_SUSPENDED, nullptr, directory.c_str(), &startup,
                      &process_)) {
    process_ = {};
    return;
  }
  if (dll.empty())
    return;
  if (Inject(dll)) {
    ResumeThread(process_.hThread);
    return;
  }
  TerminateProcess(process_.hProcess, kTimedOut);
  WaitForSingleObject(process_.hProcess, 5000);
  CloseHandle(process_.hThread);
  CloseHandle(process_.hProcess);
  process_ = {};
}

// LoadLibraryW lies at the same address in every process of one bitness,
// so this process's own is the thread's start in the other one.
bool SetupProcess::Inject(const std::wstring& dll) {
  const SIZE_T bytes = (dll.size() + 1) * sizeof(wchar_t);
  void* const remote =
      VirtualAllocEx(process_.hProcess, nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (remote == nullptr)
    return false;
  const auto loadLibrary = reinterpret_cast<LPTHREAD_START_ROUTINE>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "LoadLibraryW")));
  DWORD module = 0;
  if (WriteProcessMemory(process_.hProcess, remote, dll.c_str(), bytes, nullptr)) {
    const HANDLE thread =
        CreateRemoteThread(process_.hProcess, nullptr, 0, loadLibrary, remote, 0, nullptr);
    if (thread != nullptr) {
      WaitForSingleObject(thread, 30000);
      GetExitCodeThread(thread, &module);
      CloseHandle(thread);
    }
  }
  VirtualFreeEx(process_.hProcess, remote, 0, MEM_RELEASE);
  return module != 0;
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
