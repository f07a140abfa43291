// Drives "/extract" of a setup executable end to end, as an administrator
// would, and times the writing of the package. Run by
// tools/bench-package.sh, as a 64-bit program whatever the setup's image.
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
#include "bench/window_watch.h"
#include "tests/support/wait.h"
#include "tests/support/window_search.h"

namespace {

using ulverane::bench::ByteCount;
using ulverane::bench::Now;
using ulverane::bench::Seconds;
using ulverane::bench::TimedProcess;
using ulverane::bench::WaitForWindow;
using ulverane::testing::FindDialog;
using ulverane::testing::PostCommand;
using ulverane::testing::WaitUntil;
using ulverane::testing::WindowText;

constexpr DWORD kTimeoutMilliseconds = 600000;
constexpr wchar_t kTitle[] = L"Ulverane Photo Setup";
constexpr wchar_t kErrorTitle[] = L"Ulverane Setup";
constexpr int kSaveButton = 1011;
constexpr int kOpenExplorerBox = 1014;
constexpr int kFileNameField = 0x47C;

// Says which step failed, with the text of the error box the setup shows
// instead, if any; the process ends with the holder.
int Fail(const TimedProcess& process, const char* step) {
  std::string error;
  if (const HWND box = FindDialog(process.id(), kErrorTitle)) {
    const HWND text = GetDlgItem(box, 0xFFFF);
    error = text != nullptr ? ulverane::bench::Narrow(WindowText(text)) : "(an error box)";
  }
  std::fprintf(stderr, "%s%s%s\n", step, error.empty() ? "" : ": ", error.c_str());
  return 1;
}

int Drive(const std::wstring& setup, const std::wstring& target) {
  const TimedProcess process(setup, L"\"" + setup + L"\" /extract");
  if (!process.started())
    return 1;
  const HWND options = WaitForWindow(process, kTimeoutMilliseconds, kTitle);
  const LARGE_INTEGER optionsShown = Now();
  if (options == nullptr)
    return Fail(process, "no options dialog");
  PostCommand(options, kSaveButton);
  const HWND saveAs = WaitForWindow(process, kTimeoutMilliseconds, L"Save As");
  if (saveAs == nullptr)
    return Fail(process, "no Save As dialog");
  // The field takes the text only once the dialog has finished setting up.
  const HWND field = GetDlgItem(saveAs, kFileNameField);
  const bool named = WaitUntil(
      [&] {
        SendMessageTimeoutW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(target.c_str()),
                            SMTO_ABORTIFHUNG, 5000, nullptr);
        return WindowText(field) == target;
      },
      5000, 10);
  if (!named)
    return Fail(process, "the file name field did not take the name");

  const LARGE_INTEGER confirmed = Now();
  PostCommand(saveAs, IDOK);
  // An error box instead ends the wait at once.
  HWND completion = nullptr;
  WaitUntil(
      [&] {
        completion = FindDialog(process.id(), kTitle, kOpenExplorerBox);
        return completion != nullptr || FindDialog(process.id(), kErrorTitle) != nullptr ||
               process.Wait(0);
      },
      kTimeoutMilliseconds, 1);
  const LARGE_INTEGER done = Now();
  if (completion == nullptr)
    return Fail(process, "no completion dialog");
  // A high-water mark: still there while the process lives.
  const SIZE_T peak = ulverane::bench::PeakWorkingSet(process.handle());
  PostCommand(completion, IDCANCEL);
  if (!process.Wait(kTimeoutMilliseconds))
    return Fail(process, "the setup did not end");
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
