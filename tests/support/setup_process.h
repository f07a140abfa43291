#ifndef ULVERANE_TESTS_SUPPORT_SETUP_PROCESS_H_
#define ULVERANE_TESTS_SUPPORT_SETUP_PROCESS_H_

#include <windows.h>

#include <string>

namespace ulverane::testing {

// A program under test, started with `arguments` in `directory`; ended by
// force if it still runs when the object goes away.
class SetupProcess {
 public:
  // With `dll` (a full path), the program starts suspended, loads that DLL
  // on a thread of its own, and only then runs its entry point: the DLL sees
  // the program's import slots already filled (tests/fault). A DLL that does
  // not load leaves the program not started.
  SetupProcess(const std::wstring& program,
               const std::wstring& arguments,
               const std::wstring& directory,
               const std::wstring& dll = L"");
  SetupProcess(const SetupProcess&) = delete;
  SetupProcess& operator=(const SetupProcess&) = delete;
  ~SetupProcess();

  bool started() const { return process_.hProcess != nullptr; }
  DWORD id() const { return process_.dwProcessId; }
  HANDLE handle() const { return process_.hProcess; }
  // The exit code, or kTimedOut when it did not end in time (it is then
  // ended by force).
  DWORD Wait(DWORD timeoutMs = 30000);

  static constexpr DWORD kTimedOut = 0xDEADu;

 private:
  bool Inject(const std::wstring& dll);

  PROCESS_INFORMATION process_ = {};
};

}  // namespace ulverane::testing

#endif  // ULVERANE_TESTS_SUPPORT_SETUP_PROCESS_H_
