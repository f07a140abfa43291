// Times a program's start-up as a user sees it: from the moment it is started
// to the moment its first window, a dialog, is visible. Run by
// tools/bench.sh start, as a 64-bit program whatever the program it measures,
// so that its own speed does not depend on how that one runs.
//
//   start_bench <program> <argument> <command-id>
//     Starts "<program>" <argument>, waits for a visible dialog ("#32770") of
//     it, then sends that window the command <command-id> (1: OK, 2: Cancel)
//     and waits for the program to end. Prints:
//     window_s=<s> class=<window class> caption=<caption, spaces as _> exit=<code>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/figures.h"
#include "bench/timed_process.h"
#include "tests/support/scripted_user.h"
#include "tests/support/window_search.h"

namespace {

using ulverane::bench::Narrow;
using ulverane::bench::Now;
using ulverane::bench::Seconds;
using ulverane::bench::TimedProcess;
using ulverane::testing::ScriptedUser;
using ulverane::testing::WindowText;

constexpr DWORD kTimeoutMilliseconds = 180000;

// The output's fields are separated by spaces.
std::string Field(const std::wstring& text) {
  std::string out = Narrow(text);
  std::replace(out.begin(), out.end(), ' ', '_');
  return out;
}

int Measure(const std::wstring& program, const std::wstring& argument, int command) {
  const TimedProcess process(program, L"\"" + program + L"\" " + argument);
  if (!process.started())
    return 1;
  const ScriptedUser user(process.id(), process.handle(), ScriptedUser::kStopwatch);
  const HWND window = user.WaitFor(nullptr, 0, kTimeoutMilliseconds);
  const LARGE_INTEGER shown = Now();
  if (window == nullptr) {
    std::fprintf(stderr, "no window showed up\n");
    return 1;
  }
  const std::wstring className = ulverane::testing::ClassName(window);
  const std::wstring caption = WindowText(window);
  ScriptedUser::Press(window, command);
  if (!process.Wait(kTimeoutMilliseconds)) {
    std::fprintf(stderr, "the program did not end after command %d\n", command);
    return 1;
  }
  std::printf("window_s=%.6f class=%s caption=%s exit=%lu\n", Seconds(process.start(), shown),
              Field(className).c_str(), Field(caption).c_str(), process.ExitCode());
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 4)
    return Measure(argv[1], argv[2], static_cast<int>(std::wcstol(argv[3], nullptr, 10)));
  std::fprintf(stderr, "usage: start_bench <program> <argument> <command-id>\n");
  return 2;
}
