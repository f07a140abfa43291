#include "app/command_line.h"

#include "app/entry_point.h"

#include <gtest/gtest.h>

namespace ulverane {
namespace {

TEST(ParseCommandLineTest, Table) {
  struct Case {
    std::wstring tail;
    bool help;
    RunMode mode;
  };
  const Case cases[] = {
      {L"", false, RunMode::Setup},
      {L"   ", false, RunMode::Setup},
      {L"/extract", false, RunMode::Extract},
      {L"/defaults", false, RunMode::Defaults},
      {L"/defaults /extract", false, RunMode::Extract},
      {L"/extract /defaults", false, RunMode::Defaults},
      {L"  /extract    /defaults  ", false, RunMode::Defaults},
      {L"/extract\t/defaults", true, RunMode::Setup},  // a tab joins them into one word
      {L"/extract\t", true, RunMode::Setup},
      {L"\"/extract\"", true, RunMode::Setup},
      {L"/EXTRACT", true, RunMode::Setup},
      {L"/Help", true, RunMode::Setup},
      {L"-extract", true, RunMode::Setup},
      {L"/extractx", true, RunMode::Setup},
      {L"/extr", true, RunMode::Setup},
      {L"extract", true, RunMode::Setup},
      {L"/help", true, RunMode::Setup},
      {L"/?", true, RunMode::Setup},
      {L"/help /extract", true, RunMode::Extract},
      {L"/extract /?", true, RunMode::Extract},
      {L"bogus /defaults", true, RunMode::Defaults},
      {L"/defaults bogus", true, RunMode::Defaults},
      {L"/log=true", true, RunMode::Setup},
      {std::wstring(L"/extract\0", 9), true, RunMode::Setup},
  };
  for (const Case& c : cases) {
    const CommandLineOptions options = ParseCommandLine(c.tail);
    EXPECT_EQ(options.showHelp, c.help) << c.tail.c_str();
    EXPECT_EQ(options.mode, c.mode) << c.tail.c_str();
  }
}

TEST(EntryPointTest, HelpTextIsFiveLinesWithTabs) {
  EXPECT_EQ(
      HelpText(),
      L"Options:\n"
      L"\n"
      L"/help\tShow this message\n"
      L"/extract\tCreate MSI for silent installation with the options chosen in a dialog\n"
      L"/defaults\tCreate MSI for silent installation (for use with an Ulverane.defaults file)\n");
}

}  // namespace
}  // namespace ulverane
