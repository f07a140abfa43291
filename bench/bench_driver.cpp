// Drives the setup's windows as a user would and times what the user sees.
// Run by tools/bench.sh start and package, as a 64-bit program whatever the
// setup's image, so that its own speed does not depend on how that one runs.
//
//   bench_driver window <program> <argument> <command-id>
//     Starts "<program>" <argument>, waits for a visible dialog ("#32770") of
//     it, then sends that window the command <command-id> (1: OK, 2: Cancel)
//     and waits for the program to end. Prints:
//     window_s=<s> class=<window class> caption=<caption, spaces as _> exit=<code>
//   bench_driver save <setup-exe> <target-msi>
//     Starts "<setup-exe>" /extract, presses Save in the options dialog, enters
//     <target-msi> (which must not exist) in the Save As dialog and confirms
//     it, waits for the completion dialog and cancels it. Prints:
//     save_s=<from the confirmation to the completion dialog being visible>
//     options_s=<start to the options dialog> peak_ws=<bytes of the setup> exit=<code>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/bench.h"
#include "resources/resource_ids.h"
#include "tests/support/scripted_user.h"
#include "tests/support/wait.h"
#include "tests/support/window_search.h"

namespace {

using ulverane::bench::Narrow;
using ulverane::bench::Now;
using ulverane::bench::Seconds;
using ulverane::bench::TimedProcess;
using ulverane::testing::ScriptedUser;

constexpr wchar_t kTitle[] = L"Ulverane Photo Setup";
constexpr wchar_t kErrorTitle[] = L"Ulverane Setup";

// The output's fields are separated by spaces.
std::string Field(const std::wstring& text) {
  std::string out = Narrow(text);
  std::replace(out.begin(), out.end(), ' ', '_');
  return out;
}

int Window(const std::wstring& program, const std::wstring& argument, int command) {
  constexpr DWORD kTimeoutMilliseconds = 180000;
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
  const std::wstring caption = ulverane::testing::WindowText(window);
  ScriptedUser::Press(window, command);
  if (!process.Wait(kTimeoutMilliseconds)) {
    std::fprintf(stderr, "the program did not end after command %d\n", command);
    return 1;
  }
  std::printf("window_s=%.6f class=%s caption=%s exit=%lu\n", Seconds(process.start(), shown),
              Field(className).c_str(), Field(caption).c_str(), process.ExitCode());
  return 0;
}

// Says which step failed, with the text of the error box the setup shows
// instead, if any; the process ends with the holder.
int Fail(const ScriptedUser& user, const char* step) {
  std::string error;
  if (const HWND box = user.Find(kErrorTitle)) {
    error = GetDlgItem(box, ScriptedUser::kBoxText) != nullptr
                ? Narrow(ScriptedUser::BoxText(box))
                : "(an error box)";
  }
  std::fprintf(stderr, "%s%s%s\n", step, error.empty() ? "" : ": ", error.c_str());
  return 1;
}

int Save(const std::wstring& setup, const std::wstring& target) {
  constexpr DWORD kTimeoutMilliseconds = 600000;
  const TimedProcess process(setup, L"\"" + setup + L"\" /extract");
  if (!process.started())
    return 1;
  const ScriptedUser user(process.id(), process.handle(), ScriptedUser::kStopwatch);
  const HWND options = user.WaitFor(kTitle, 0, kTimeoutMilliseconds);
  const LARGE_INTEGER optionsShown = Now();
  if (options == nullptr)
    return Fail(user, "no options dialog");
  ScriptedUser::Press(options, IDC_SAVE);
  const HWND saveAs = user.WaitFor(L"Save As", 0, kTimeoutMilliseconds);
  if (saveAs == nullptr)
    return Fail(user, "no Save As dialog");
  if (!ScriptedUser::NameFile(saveAs, target, 5000))
    return Fail(user, "the file name field did not take the name");

  const LARGE_INTEGER confirmed = Now();
  ScriptedUser::Press(saveAs, IDOK);
  // An error box instead ends the wait at once.
  HWND completion = nullptr;
  ulverane::testing::WaitUntil(
      [&] {
        completion = user.Find(kTitle, IDC_OPEN_EXPLORER);
        return completion != nullptr || user.Find(kErrorTitle) != nullptr || user.Ended();
      },
      kTimeoutMilliseconds, 1);
  const LARGE_INTEGER done = Now();
  if (completion == nullptr)
    return Fail(user, "no completion dialog");
  // A high-water mark: still there while the process lives.
  const SIZE_T peak = ulverane::bench::PeakWorkingSet(process.handle());
  ScriptedUser::Press(completion, IDCANCEL);
  if (!process.Wait(kTimeoutMilliseconds))
    return Fail(user, "the setup did not end");
  std::printf("save_s=%.6f options_s=%.6f peak_ws=%s exit=%lu\n", Seconds(confirmed, done),
              Seconds(process.start(), optionsShown),
              ulverane::bench::ByteCount(peak).c_str(), process.ExitCode());
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"window" && argc == 5)
    return Window(argv[2], argv[3], static_cast<int>(std::wcstol(argv[4], nullptr, 10)));
  if (mode == L"save" && argc == 4)
    return Save(argv[2], argv[3]);
  std::fprintf(stderr,
               "usage: bench_driver window <program> <argument> <command-id>\n"
               "       bench_driver save <setup-exe> <target-msi>\n");
  return 2;
}
