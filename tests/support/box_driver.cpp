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

int wmain(int argc, wchar_t** argv) {
  using namespace ulverane::testing;
  if (argc < 5)
    return 100;
  std::ofstream report(argv[1], std::ios::binary | std::ios::app);
  const DWORD timeout = static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10));
  const DWORD processId = static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10));
  int missing = 0;
  for (int i = 4; i < argc; ++i) {
    const HWND box = FindBox(processId, nullptr, timeout);
    if (box == nullptr) {
      report << "none\n";
      ++missing;
      continue;
    }
    report << FormatBox(ReadBox(box)) << std::flush;
    const int button = std::wcstol(argv[i], nullptr, 10);
    if (button == 0)
      PostMessageW(box, WM_CLOSE, 0, 0);
    else
      PressButton(box, button);
    // The next box must be a new one.
    for (int wait = 0; wait < 250 && IsWindow(box) && IsWindowVisible(box); ++wait)
      Sleep(20);
  }
  return missing;
}
