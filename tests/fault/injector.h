// fault_injection.dll: loaded into a setup executable before its entry point
// runs (SetupProcess with a DLL to inject), it redirects the import slots
// through which the program's own code calls the system, counts those calls
// and can make one of them fail the way that function fails on Windows.
// This is its injector; the hooks are in hooks.cpp, the answers for what Wine
// cannot show in wine_stand_ins.cpp, each with the settings it reads.
//
// Environment, read when the DLL is loaded:
//   ULVERANE_FAULT=<n>[:short]  the n-th counted call fails: its documented
//       failure value and a fitting last error (see the hooks). With
//       ":short" a ReadFile or WriteFile succeeds with half the bytes asked
//       for instead; any other function then fails as without it.
//   ULVERANE_FAULT_TRACE=<file>  one UTF-8 line per counted call, appended
//       and written at once: number, function, calling place and the
//       path, name or command arguments, separated by tabs (a tab or line
//       break in them written as \t, \r, \n); the failed call ends with
//       "<fault>" or "<short>".
//   ULVERANE_FAULT_PLACES=<file>  the program's own code, one function a
//       line: "<start RVA> <size> <name>" (hex, hex, rest of the line), made
//       from the linker map by tests/fault/fault_sweep.py. Only calls whose
//       return address lies there are counted, and a calling place is named
//       "<name>+0x<offset of the return address>". Without it, every call
//       from the image is counted and named "image+0x<RVA>".
//   ULVERANE_FAULT_HIDE=<export>[,<export>...]  GetProcAddress answers null
//       with ERROR_PROC_NOT_FOUND for these names, whoever asks, as an older
//       Windows does.
//
// The kernel32 slots of the image's import table are redirected in place.
// The delay-loaded DLLs (user32, shell32, advapi32, rpcrt4, comdlg32, msi)
// and the functions the program looks up itself (imagehlp, newer kernel32
// exports) are reached through GetProcAddress, whose redirected slot hands
// out the hook in place of the function. Calls from the runtime (heap, TLS,
// the delay-load helper's own LoadLibraryA and GetProcAddress) pass through
// uncounted.
#ifndef TESTS_FAULT_INJECTOR_H_
#define TESTS_FAULT_INJECTOR_H_

#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace fault {

enum class Outcome { kPass, kFail, kShort };

// The calling place of a return address, or empty when the call does not
// come from the program's own code.
std::string PlaceOf(const void* returnAddress);

// Counts a call from the program's own code, writes its trace line and tells
// whether it is the one to fail. Calls from anywhere else pass uncounted.
Outcome Count(const void* returnAddress,
              const char* function,
              std::initializer_list<std::string> details);

template <typename T>
T Failed(T value, DWORD error) {
  SetLastError(error);
  return value;
}

inline bool Failing(Outcome outcome) {
  return outcome != Outcome::kPass;
}

#define CALLER __builtin_return_address(0)

// Whether ULVERANE_FAULT_HIDE names this export.
bool Hidden(const char* name);

// The files the program opened, by handle: path and CreateFileW flags.
struct Opened {
  std::string path;
  DWORD flags;
};

// Keeps the last error.
void RememberOpened(HANDLE handle, const Opened& as);
Opened OpenedAs(HANDLE handle);
std::string PathOf(HANDLE handle);

std::string Utf8(const wchar_t* text);
// A name, or the number of an integer resource or ordinal.
std::string Narrow(const char* text);
std::string Hex(std::uintptr_t value);
std::wstring Environment(const wchar_t* name);
// The comma-separated items of `text`.
std::vector<std::string> List(const std::string& text);
// Whether the last component of `path` matches one of `names`, where '*'
// stands for any run of characters and '?' for any one.
bool Named(const std::string& path, const std::vector<std::string>& names);

// A redirected function: its hook, and where the hook finds the real one.
struct Redirect {
  const char* name;
  void* hook;
  void** real;
  // Handed out also where the system lacks the function.
  bool standIn;
};

// Filled by the static registrations of all the hooks, before DllMain.
std::vector<Redirect>& Redirects();

struct Registration {
  Registration(const char* name, void* hook, void** real, bool standIn = false) {
    Redirects().push_back({name, hook, real, standIn});
  }
};

#define REGISTER(Name)                                                           \
  const Registration register##Name(#Name, reinterpret_cast<void*>(&Hook##Name), \
                                    reinterpret_cast<void**>(&real##Name));

// A hook that counts the call and, for the failing one, returns `failure`
// with the last error `error` as the function itself fails; the trace gets
// the details after the arguments.
#define HOOK(Result, Name, failure, error, Parameters, Arguments, ...) \
  decltype(&Name) real##Name;                                          \
  Result WINAPI Hook##Name Parameters {                                \
    if (Failing(Count(CALLER, #Name, {__VA_ARGS__})))                  \
      return Failed<Result>(failure, error);                           \
    return real##Name Arguments;                                       \
  }                                                                    \
  REGISTER(Name)

// Each part reads its settings when the DLL is loaded, before the import
// slots are redirected.
void StartHooks();
void StartWineStandIns();

}  // namespace fault

#endif  // TESTS_FAULT_INJECTOR_H_
