#ifndef ULVERANE_APP_COMMAND_LINE_H_
#define ULVERANE_APP_COMMAND_LINE_H_

#include <string>

#include "setup/run_mode.h"

namespace ulverane {

struct CommandLineOptions {
  bool showHelp = false;
  RunMode mode = RunMode::Setup;
};

// Splits the command-line tail at spaces (U+0020 only) and applies the four
// option words, matched exactly and case-sensitively. Any other non-empty word
// asks for help; the last of "/extract" and "/defaults" picks the mode.
CommandLineOptions ParseCommandLine(const std::wstring& tail);

}  // namespace ulverane

#endif  // ULVERANE_APP_COMMAND_LINE_H_
