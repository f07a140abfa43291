#ifndef ULVERANE_SETUP_INTERRUPTED_RUNS_H_
#define ULVERANE_SETUP_INTERRUPTED_RUNS_H_

#include <string>

namespace ulverane {

// Finishes the clean-up of earlier runs that were killed before their own
// (a restart, a killed process, a power cut): removes the payload that they
// left in their working folders beside `ownFolder`, this run's working folder
// (it ends in a backslash).
//
// It may run with more rights than whoever can write the shared parent, so
// it touches only what is ours and cannot be steered: it works only in
// folders (the parent, each working folder, each language folder) that it
// holds open against renaming and replacing, that are no links and, on a
// volume that keeps owners, are owned by this process's user or default
// owner; each check is made on the folder held. Only folders named in the
// working folders' UUID form are looked at, never this run's; only one whose
// Setup.log opens for this process alone (a live run keeps its log open)
// and whose SetupUI.exe is gone or can be deleted (it is not running). Of
// those, only the payload's own names go: its files in the folder and each
// language folder with its satellite library. The folder, its Setup.log and
// anything else stay, as after a finished run.
//
// It never waits: one attempt per file, and what cannot go now stays for a
// later run. Never raises and writes no log line.
void CleanUpInterruptedRuns(const std::wstring& ownFolder);

}  // namespace ulverane

#endif  // ULVERANE_SETUP_INTERRUPTED_RUNS_H_
