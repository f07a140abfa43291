// Drives "/extract" of a setup executable end to end, as an administrator
// would, and times the writing of the package. Run by
// tools/bench.sh package, as a 64-bit program whatever the setup's image.
//
//   package_bench <setup-exe> <target-msi>
//     Starts "<setup-exe>" /extract, presses Save in the options dialog, enters
//     <target-msi> (which must not exist) in the Save As dialog and confirms
//     it, waits for the completion dialog and cancels it. Prints:
//     save_s=<from the confirmation to the completion dialog being visible>
//     options_s=<start to the options dialog> peak_ws=<bytes of the setup> exit=<code>
#include <windows.h>

#include <cstdio>
#include <string>

#include "bench/figures.h"
#include "bench/timed_process.h"
#include "resources/resource_ids.h"
#include "tests/support/scripted_user.h"
#include "tests/support/wait.h"

namespace {

using ulverane::bench::ByteCount;
using ulverane::bench::Now;
using ulverane::bench::Seconds;
using ulverane::bench::TimedProcess;
using ulverane::testing::ScriptedUser;
using ulverane::testing::WaitUntil;

constexpr DWORD kTimeoutMilliseconds = 600000;
constexpr wchar_t kTitle[] = L"Ulverane Photo Setup";
constexpr wchar_t kErrorTitle[] = L"Ulverane Setup";

// Says which step failed, with the text of the error box the setup shows
// instead, if any; the process ends with the holder.
int Fail(const ScriptedUser& user, const char* step) {
  std::string error;
  if (const HWND box = user.Find(kErrorTitle)) {
    error = GetDlgItem(box, ScriptedUser::kBoxText) != nullptr
                ? ulverane::bench::Narrow(ScriptedUser::BoxText(box))
                : "(an error box)";
  }
  std::fprintf(stderr, "%s%s%s\n", step, error.empty() ? "" : ": ", error.c_str());
  return 1;
}

int Drive(const std::wstring& setup, const std::wstring& target) {
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
  WaitUntil(
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
              Seconds(process.start(), optionsShown), ByteCount(peak).c_str(), process.ExitCode());
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 3)
    return Drive(argv[1], argv[2]);
  std::fprintf(stderr, "usage: package_bench <setup-exe> <target-msi>\n");
  return 2;
}
