// Walks through the package modes of a setup executable the way an
// administrator would and saves a screenshot of each dialog, for the
// documentation (tools/screenshots.sh).
//
//   screenshot_tour <setup.exe> <output-folder> [<fault_injection.dll>]
//
// Writes options-extract.bmp, eula.bmp, completion.bmp, options-defaults.bmp
// and, at 144 DPI, options-extract-144dpi.bmp; the package goes to
// <output-folder>\Ulverane.msi and is deleted again. With the DLL, also
// progress.bmp: the default run with its writes slowed, cancelled once shot.
// Exits with the number of dialogs that did not show.
#include <windows.h>

#include <string>

#include "resources/resource_ids.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/environment.h"
#include "tests/support/scoped_dpi.h"
#include "tests/support/setup_process.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wait.h"

namespace {

using ulverane::testing::DialogDriver;
using ulverane::testing::SaveScreenshot;

const wchar_t kTitle[] = L"Ulverane Photo Setup";

PROCESS_INFORMATION Start(const std::wstring& setup, const wchar_t* mode) {
  std::wstring line = L"\"" + setup + L"\" " + mode;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                 &process);
  return process;
}

void Finish(PROCESS_INFORMATION& process) {
  if (WaitForSingleObject(process.hProcess, 20000) != WAIT_OBJECT_0)
    TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

// Waits for the dialog and shoots it once it has painted.
HWND Shoot(DWORD processId, const wchar_t* caption, const std::wstring& path, int* missing) {
  const HWND window = DialogDriver::WaitFor(processId, caption);
  if (window == nullptr) {
    ++*missing;
    return nullptr;
  }
  Sleep(400);
  SaveScreenshot(window, path);
  return window;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3 && argc != 4)
    return 100;
  const std::wstring setup = argv[1];
  const std::wstring out = argv[2];
  int missing = 0;

  PROCESS_INFORMATION extract = Start(setup, L"/extract");
  if (const HWND options =
          Shoot(extract.dwProcessId, kTitle, out + L"\\options-extract.bmp", &missing)) {
    const DialogDriver dialog(options);
    dialog.Click(IDC_NO_EULA);
    if (const HWND eula = Shoot(extract.dwProcessId, L"End-User Licence Agreement",
                                out + L"\\eula.bmp", &missing)) {
      DialogDriver(eula).Click(IDOK);
      DialogDriver::WaitGone(eula);
    }
    dialog.Click(IDC_DESKTOP_SHORTCUT);
    dialog.Command(IDC_SAVE);
    if (const HWND save = DialogDriver::WaitFor(extract.dwProcessId, L"Save As")) {
      const std::wstring package = out + L"\\Ulverane.msi";
      DeleteFileW(package.c_str());
      DialogDriver(save).Type(0x47C, package);
      DialogDriver(save).Command(IDOK);
      DialogDriver::WaitGone(save);
      DialogDriver::WaitGone(options);
      if (const HWND done =
              Shoot(extract.dwProcessId, kTitle, out + L"\\completion.bmp", &missing)) {
        DialogDriver(done).Click(IDCANCEL);
      }
      DeleteFileW(package.c_str());
    } else {
      ++missing;
      dialog.Click(IDCANCEL);
    }
  }
  Finish(extract);

  PROCESS_INFORMATION defaults = Start(setup, L"/defaults");
  if (const HWND options =
          Shoot(defaults.dwProcessId, kTitle, out + L"\\options-defaults.bmp", &missing))
    DialogDriver(options).Click(IDCANCEL);
  Finish(defaults);

  // Drawn at the screen's DPI: the options dialog at 150 %.
  {
    const ulverane::testing::ScopedDpi dpi(144);
    PROCESS_INFORMATION large = Start(setup, L"/extract");
    if (const HWND options =
            Shoot(large.dwProcessId, kTitle, out + L"\\options-extract-144dpi.bmp", &missing))
      DialogDriver(options).Click(IDCANCEL);
    Finish(large);
  }

  // The window of a long unpack, once its bar has moved on a little.
  if (argc == 4) {
    using namespace ulverane::testing;
    const TempFolder temp;
    const ScopedEnvironment tmp(L"TMP", temp.path() + L"\\");
    const ScopedEnvironment temp2(L"TEMP", temp.path() + L"\\");
    const ScopedEnvironment slow(L"ULVERANE_FAULT_SLOW", L"600");
    SetupProcess run(setup, L"", temp.path(), argv[3]);
    HWND window = nullptr;
    WaitUntil([&] { return (window = FindDialog(run.id(), nullptr, IDC_PROGRESS_BAR)) != nullptr; },
              20000);
    if (window != nullptr) {
      // Painted, and the next file still being written.
      Sleep(300);
      SaveScreenshot(window, out + L"\\progress.bmp");
      DialogDriver(window).Click(IDCANCEL);
    } else {
      ++missing;
    }
    run.Wait(30000);
  }
  return missing;
}
