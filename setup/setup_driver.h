#ifndef ULVERANE_SETUP_SETUP_DRIVER_H_
#define ULVERANE_SETUP_SETUP_DRIVER_H_

#include <windows.h>

#include "setup/run_mode.h"

namespace ulverane {

// Runs `mode`. The package modes go to CreateSilentInstallPackage at once.
// The setup mode makes the working folder and its log, refuses old Windows
// versions (returns 1), refuses a volume without room for the payload
// (returns 0, nothing unpacked), unpacks the payload (a progress window
// shows if that takes long), runs SetupUI.exe, reacts to its failure and
// cleans up (returns 0). Runtime errors pass through, and so does Cancelled
// when the user stops the unpacking.
int RunSetup(HINSTANCE instance, RunMode mode);

// True on Windows 7 with Service Pack 1 and every later version.
bool IsSupportedWindowsVersion();

}  // namespace ulverane

#endif  // ULVERANE_SETUP_SETUP_DRIVER_H_
