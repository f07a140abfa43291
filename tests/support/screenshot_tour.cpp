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
#include "tests/support/scripted_user.h"
#include "tests/support/setup_process.h"
#include "tests/support/temp_folder.h"

namespace {

using ulverane::testing::SaveScreenshot;
using ulverane::testing::ScriptedUser;

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
HWND Shoot(const ScriptedUser& user,
           const wchar_t* caption,
           const std::wstring& path,
           int* missing) {
  const HWND window = user.WaitFor(caption);
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
  const ScriptedUser user(extract.dwProcessId);
  if (const HWND options = Shoot(user, kTitle, out + L"\\options-extract.bmp", &missing)) {
    ScriptedUser::Click(options, IDC_NO_EULA);
    if (const HWND eula =
            Shoot(user, L"End-User Licence Agreement", out + L"\\eula.bmp", &missing)) {
      ScriptedUser::Click(eula, IDOK);
      ScriptedUser::WaitGone(eula);
    }
    ScriptedUser::Click(options, IDC_DESKTOP_SHORTCUT);
    ScriptedUser::Press(options, IDC_SAVE);
    if (const HWND save = user.WaitFor(L"Save As")) {
      const std::wstring package = out + L"\\Ulverane.msi";
      DeleteFileW(package.c_str());
      ScriptedUser::AnswerSaveAs(save, package);
      ScriptedUser::WaitGone(save);
      ScriptedUser::WaitGone(options);
      if (const HWND done = Shoot(user, kTitle, out + L"\\completion.bmp", &missing))
        ScriptedUser::Click(done, IDCANCEL);
      DeleteFileW(package.c_str());
    } else {
      ++missing;
      ScriptedUser::Click(options, IDCANCEL);
    }
  }
  Finish(extract);

  PROCESS_INFORMATION defaults = Start(setup, L"/defaults");
  if (const HWND options = Shoot(ScriptedUser(defaults.dwProcessId), kTitle,
                                 out + L"\\options-defaults.bmp", &missing))
    ScriptedUser::Click(options, IDCANCEL);
  Finish(defaults);

  // Drawn at the screen's DPI: the options dialog at 150 %.
  {
    const ulverane::testing::ScopedDpi dpi(144);
    PROCESS_INFORMATION large = Start(setup, L"/extract");
    if (const HWND options = Shoot(ScriptedUser(large.dwProcessId), kTitle,
                                   out + L"\\options-extract-144dpi.bmp", &missing))
      ScriptedUser::Click(options, IDCANCEL);
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
    // Shot as soon as it shows: the bar moves on meanwhile.
    const ScriptedUser watcher(run.id(), nullptr, {20, 0});
    if (const HWND window = watcher.WaitFor(nullptr, IDC_PROGRESS_BAR)) {
      // Painted, and the next file still being written.
      Sleep(300);
      SaveScreenshot(window, out + L"\\progress.bmp");
      ScriptedUser::Click(window, IDCANCEL);
    } else {
      ++missing;
    }
    run.Wait(30000);
  }
  return missing;
}
