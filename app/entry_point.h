#ifndef ULVERANE_APP_ENTRY_POINT_H_
#define ULVERANE_APP_ENTRY_POINT_H_

#include <windows.h>

#include <string>

namespace ulverane {

// Keeps DLLs from being loaded from the application's folder or the current
// directory. Call first, before anything may load a library.
void RestrictDllSearchPath();

// The help box text: five lines, each ended by a line feed.
std::wstring HelpText();

// The whole program after start-up: parses the command-line tail, shows the
// help or runs the chosen mode, and reports a runtime error in the error box;
// a run the user cancelled ends with the log's "Cancelled by the user" and
// no box. Returns the process exit code.
int RunEntryPoint(HINSTANCE instance, const wchar_t* commandLineTail);

}  // namespace ulverane

#endif  // ULVERANE_APP_ENTRY_POINT_H_
