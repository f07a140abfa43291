#include "app/entry_point.h"

#include <stdexcept>
#include <string>

#include "app/command_line.h"
#include "base/cancelled.h"
#include "base/kernel32_export.h"
#include "log/logger.h"
#include "setup/setup_driver.h"
#include "ui/message_box.h"

namespace ulverane {
namespace {

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);

void ShowErrorBox(const char* message) {
  std::string text = "Exception: ";
  text += (message != nullptr && *message != '\0') ? message : "Unknown exception";
  MessageBoxA(nullptr, text.c_str(), "Ulverane Setup", MB_OK | MB_ICONERROR);
}

}  // namespace

void RestrictDllSearchPath() {
  const auto setDefault =
      Kernel32Export<SetDefaultDllDirectoriesFunction>("SetDefaultDllDirectories");
  if (setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
    return;
  // Older systems: at least the current directory leaves the search.
  SetDllDirectoryW(L"");
}

std::wstring HelpText() {
  const std::string text =
      "Options:\n"
      "\n"
      "/help\tShow this message\n"
      "/extract\tCreate MSI for silent installation with the options chosen in a dialog\n"
      "/defaults\tCreate MSI for silent installation (for use with an Ulverane.defaults file)\n";
  return std::wstring(text.begin(), text.end());
}

int RunEntryPoint(HINSTANCE instance, const wchar_t* commandLineTail) {
  const CommandLineOptions options =
      ParseCommandLine(commandLineTail != nullptr ? commandLineTail : L"");
  if (options.showHelp) {
    ShowMessageBox(HelpText(), MB_OK | MB_ICONINFORMATION);
    return 0;
  }
  try {
    return RunSetup(instance, options.mode);
  } catch (const Cancelled&) {
    // What was made is gone by now, as after a failure. The user asked for
    // it: no box. Only the setup mode has a log to write to.
    setupLog << "Cancelled by the user" << std::endl;
    return 0;
  } catch (const std::exception& error) {
    // Out of memory and the like are reported the same way as our own
    // failures rather than ending the process without a word.
    ShowErrorBox(error.what());
    return 0;
  }
}

}  // namespace ulverane
