#ifndef ULVERANE_SETUP_INTERRUPTED_RUNS_H_
#define ULVERANE_SETUP_INTERRUPTED_RUNS_H_

#include <string>

namespace ulverane {

// Finishes the clean-up of earlier runs that were killed before their own
// (a restart, a killed process, a power cut): removes the payload that they
// left in their working folders beside `ownFolder`, this run's working folder
// (it ends in a backslash). Only folders named in the working folders' UUID
// form are looked at, never this run's nor a link; only one whose Setup.log
// exists and opens for this process alone (a live run keeps its log open),
// and whose SetupUI.exe is not running. Of those, only the payload's own
// names go: its files in the folder and each language folder with its
// satellite library. The folder, its Setup.log and anything else stay, as
// after a finished run; a file that cannot be deleted stays too, after the
// retries of DeleteWhenFree. Never raises and writes no log line.
void CleanUpInterruptedRuns(const std::wstring& ownFolder);

}  // namespace ulverane

#endif  // ULVERANE_SETUP_INTERRUPTED_RUNS_H_
