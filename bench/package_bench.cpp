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
// psapi.h needs the types of windows.h, so it stays in a block of its own.
#include <psapi.h>

#include <cstdio>
#include <string>

#include "bench/range_copy.h"
#include "bench/window_watch.h"

namespace {

using ulverane::bench::PostCommand;
using ulverane::bench::Seconds;
using ulverane::bench::WaitForWindow;

constexpr DWORD kTimeoutMilliseconds = 600000;
constexpr wchar_t kTitle[] = L"Ulverane Photo Setup";
constexpr wchar_t kErrorTitle[] = L"Ulverane Setup";
constexpr int kSaveButton = 1011;
constexpr int kOpenExplorerBox = 1014;
constexpr int kFileNameField = 0x47C;

SIZE_T PeakWorkingSet(HANDLE process) {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof(counters);
  return GetProcessMemoryInfo(process, &counters, sizeof(counters)) ? counters.PeakWorkingSetSize
                                                                    : 0;
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (const wchar_t c : text)
    out += c < 128 ? static_cast<char>(c) : '?';
  return out;
}

// The text of the error box the setup shows instead, if any.
std::string ErrorText(DWORD processId) {
  const HWND box = ulverane::bench::FindDialogOf(processId, kErrorTitle);
  if (box == nullptr)
    return "";
  const HWND text = GetDlgItem(box, 0xFFFF);
  return text != nullptr ? Narrow(ulverane::bench::WindowText(text)) : "(an error box)";
}

int Fail(const PROCESS_INFORMATION& process, const char* step) {
  const std::string error = ErrorText(process.dwProcessId);
  std::fprintf(stderr, "%s%s%s\n", step, error.empty() ? "" : ": ", error.c_str());
  TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hProcess);
  return 1;
}

int Drive(const std::wstring& setup, const std::wstring& target) {
  std::wstring commandLine = L"\"" + setup + L"\" /extract";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  LARGE_INTEGER start;
  LARGE_INTEGER optionsShown;
  QueryPerformanceCounter(&start);
  if (!CreateProcessW(setup.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process)) {
    std::fprintf(stderr, "CreateProcess failed: error %lu\n", GetLastError());
    return 1;
  }
  CloseHandle(process.hThread);

  const HWND options =
      WaitForWindow(process.hProcess, process.dwProcessId, kTimeoutMilliseconds, kTitle);
  QueryPerformanceCounter(&optionsShown);
  if (options == nullptr)
    return Fail(process, "no options dialog");
  PostCommand(options, kSaveButton);
  const HWND saveAs =
      WaitForWindow(process.hProcess, process.dwProcessId, kTimeoutMilliseconds, L"Save As");
  if (saveAs == nullptr)
    return Fail(process, "no Save As dialog");
  // The field takes the text only once the dialog has finished setting up.
  const HWND field = GetDlgItem(saveAs, kFileNameField);
  for (int attempt = 0; attempt < 500; ++attempt) {
    SendMessageTimeoutW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(target.c_str()),
                        SMTO_ABORTIFHUNG, 5000, nullptr);
    if (ulverane::bench::WindowText(field) == target)
      break;
    Sleep(10);
  }
  if (ulverane::bench::WindowText(field) != target)
    return Fail(process, "the file name field did not take the name");

  LARGE_INTEGER confirmed;
  LARGE_INTEGER done;
  QueryPerformanceCounter(&confirmed);
  PostCommand(saveAs, IDOK);
  // An error box instead ends the wait at once.
  const ULONGLONG deadline = GetTickCount64() + kTimeoutMilliseconds;
  HWND completion = nullptr;
  while (completion == nullptr) {
    completion = ulverane::bench::FindDialogOf(process.dwProcessId, kTitle, kOpenExplorerBox);
    if (completion == nullptr &&
        (ulverane::bench::FindDialogOf(process.dwProcessId, kErrorTitle) != nullptr ||
         GetTickCount64() >= deadline || WaitForSingleObject(process.hProcess, 1) == WAIT_OBJECT_0))
      return Fail(process, "no completion dialog");
  }
  QueryPerformanceCounter(&done);
  // A high-water mark: still there while the process lives.
  const SIZE_T peak = PeakWorkingSet(process.hProcess);
  PostCommand(completion, IDCANCEL);
  if (WaitForSingleObject(process.hProcess, kTimeoutMilliseconds) != WAIT_OBJECT_0)
    return Fail(process, "the setup did not end");
  DWORD exitCode = 0;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hProcess);
  std::printf("save_s=%.6f options_s=%.6f peak_ws=%s exit=%lu\n", Seconds(confirmed, done),
              Seconds(start, optionsShown),
              peak != 0 ? std::to_string(peak).c_str() : "unavailable", exitCode);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 3)
    return Drive(argv[1], argv[2]);
  std::fprintf(stderr, "usage: package_bench <setup-exe> <target-msi>\n");
  return 2;
}
