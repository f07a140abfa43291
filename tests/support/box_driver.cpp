// Finds, reads and answers the dialogs of another program, for tests that run
// the real Setup.exe.
//
//   box_driver <report> <timeout-ms> <pid> <button> [<button>...]
//
// For each <button>, waits up to <timeout-ms> for a visible "#32770" window
// of process <pid> (0: any process),
// appends what it shows to <report> (see FormatBox) and presses that button
// (0 closes the box instead). Exits with the number of boxes not found.
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "tests/support/box_reader.h"
#include "tests/support/scripted_user.h"

int wmain(int argc, wchar_t** argv) {
  using namespace ulverane::testing;
  if (argc < 5)
    return 100;
  std::ofstream report(argv[1], std::ios::binary | std::ios::app);
  const DWORD timeout = static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10));
  const DWORD processId = static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10));
  const ScriptedUser user(processId);
  int missing = 0;
  for (int i = 4; i < argc; ++i) {
    const HWND box = user.WaitFor(nullptr, 0, timeout);
    if (box == nullptr) {
      report << "none\n";
      ++missing;
      continue;
    }
    report << FormatBox(ReadBox(box)) << std::flush;
    ScriptedUser::Answer(box, std::wcstol(argv[i], nullptr, 10));
    // The next box must be a new one.
    ScriptedUser::WaitGone(box, 5000);
  }
  return missing;
}
