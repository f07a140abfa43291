// Times a program's start-up as a user sees it: from the moment it is started
// to the moment its first window, a dialog, is visible. Run by
// tools/bench-start.sh, as a 64-bit program whatever the program it measures,
// so that its own speed does not depend on how that one runs.
//
//   start_bench <program> <argument> <command-id>
//     Starts "<program>" <argument>, waits for a visible dialog ("#32770") of
//     it, then sends that window the command <command-id> (1: OK, 2: Cancel)
//     and waits for the program to end. Prints:
//     window_s=<s> class=<window class> caption=<caption, spaces as _> exit=<code>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/range_copy.h"
#include "bench/window_watch.h"

namespace {

using ulverane::bench::Seconds;

constexpr DWORD kTimeoutMilliseconds = 180000;

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (const wchar_t c : text)
    out += c == L' ' ? '_' : (c < 128 ? static_cast<char>(c) : '?');
  return out;
}

int Measure(const std::wstring& program, const std::wstring& argument, int command) {
  std::wstring commandLine = L"\"" + program + L"\" " + argument;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  LARGE_INTEGER start;
  LARGE_INTEGER shown;
  QueryPerformanceCounter(&start);
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process)) {
    std::fprintf(stderr, "CreateProcess failed: error %lu\n", GetLastError());
    return 1;
  }
  CloseHandle(process.hThread);
  const HWND window =
      ulverane::bench::WaitForWindow(process.hProcess, process.dwProcessId, kTimeoutMilliseconds);
  QueryPerformanceCounter(&shown);
  if (window == nullptr) {
    TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hProcess);
    std::fprintf(stderr, "no window showed up\n");
    return 1;
  }
  const std::wstring className = ulverane::bench::WindowClass(window);
  const std::wstring caption = ulverane::bench::WindowText(window);
  ulverane::bench::PostCommand(window, command);
  DWORD exitCode = 0;
  if (WaitForSingleObject(process.hProcess, kTimeoutMilliseconds) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 1);
    std::fprintf(stderr, "the program did not end after command %d\n", command);
    CloseHandle(process.hProcess);
    return 1;
  }
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hProcess);
  std::printf("window_s=%.6f class=%s caption=%s exit=%lu\n", Seconds(start, shown),
              Narrow(className).c_str(), Narrow(caption).c_str(), exitCode);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 4)
    return Measure(argv[1], argv[2], static_cast<int>(std::wcstol(argv[3], nullptr, 10)));
  std::fprintf(stderr, "usage: start_bench <program> <argument> <command-id>\n");
  return 2;
}
