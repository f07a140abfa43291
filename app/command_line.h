#ifndef ULVERANE_APP_COMMAND_LINE_H_
#define ULVERANE_APP_COMMAND_LINE_H_

#include <cstdint>
#include <string>

namespace ulverane {

enum class RunMode : std::int32_t { Setup = 0, Extract = 1, Defaults = 2 };

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
