#include "app/command_line.h"

namespace ulverane {
namespace {

void Apply(const std::wstring& word, CommandLineOptions& options) {
  if (word.empty())
    return;
  if (word == L"/help" || word == L"/?")
    options.showHelp = true;
  else if (word == L"/extract")
    options.mode = RunMode::Extract;
  else if (word == L"/defaults")
    options.mode = RunMode::Defaults;
  else
    options.showHelp = true;  // a mistyped option must never start a run
}

}  // namespace

CommandLineOptions ParseCommandLine(const std::wstring& tail) {
  CommandLineOptions options;
  size_t start = 0;
  while (start < tail.size()) {
    size_t end = tail.find(L' ', start);
    if (end == std::wstring::npos)
      end = tail.size();
    Apply(tail.substr(start, end - start), options);
    start = end + 1;
  }
  return options;
}

}  // namespace ulverane
