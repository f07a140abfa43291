// Drives one default run of a setup executable, or what it is measured
// against. Run by tools/bench.sh setup.
//
//   setup_bench run <setup-exe> [<leftovers>]
//     Starts the setup without arguments; its SetupUI.exe must be the stub
//     (setupui_stub.cpp). Prints: launch_s=<start to SetupUI> cleanup_s=<SetupUI
//     to setup exit> total_s=<s> peak_ws=<bytes> exit=<code> folder=<verdict>
//     and removes the working folder the run left in %TEMP%\UlveraneSetup.
//     With <leftovers>, that many folders of finished runs (a Setup.log
//     each, marked finished as a run marks its folder) wait in
//     %TEMP%\UlveraneSetup first, and are removed after; "<leftovers>:old"
//     leaves them unmarked, as older setups left theirs.
//   setup_bench anchor <anchor-exe> <source-file> <offset>:<size>:<relative-path>...
//     Starts the minimal setup (setup_anchor.cpp) the same way, with the
//     ranges to copy; its stub must be the same. Prints the same fields; the
//     verdict is "cleaned" when the anchor left nothing behind in %TEMP%.
//   setup_bench copies <source-file> <offset>:<size>:<relative-path>...
//     Copies each range into a new folder in %TEMP% the plain way, then
//     deletes it all. Prints: copy_s=<s> delete_s=<s>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "setup/held_folder.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wait.h"

namespace {

using ulverane::bench::Narrow;
using ulverane::bench::Now;
using ulverane::bench::ParseRange;
using ulverane::bench::Range;
using ulverane::bench::Seconds;
using ulverane::bench::TimedProcess;
using ulverane::testing::Exists;
using ulverane::testing::ListTree;
using ulverane::testing::ReadBytes;
using ulverane::testing::RemoveTree;
using ulverane::testing::TempPath;
using ulverane::testing::WriteBytes;

constexpr DWORD kTimeoutMilliseconds = 300000;
constexpr DWORD kSampleMilliseconds = 10;

// The folders right inside `folder`, by name.
std::set<std::wstring> SubFolders(const std::wstring& folder) {
  std::set<std::wstring> found;
  for (const std::wstring& entry : ListTree(folder)) {
    if (entry.find(L'\\') == entry.size() - 1)
      found.insert(entry.substr(0, entry.size() - 1));
  }
  return found;
}

// %TEMP% without its trailing backslash, as the folder helpers take it.
std::wstring TempFolder() {
  const std::wstring temp = TempPath();
  return temp.substr(0, temp.size() - 1);
}

struct Launch {
  double launchSeconds = 0;
  double cleanupSeconds = 0;
  double totalSeconds = 0;
  SIZE_T peak = 0;
  DWORD exitCode = 0;
  bool stamped = false;
};

// Starts `program` with `commandLine` as the setup is started by a user, waits
// for it, and reads when the stub ran. False when it could not be run.
bool Start(const std::wstring& program, std::wstring commandLine, Launch* launch) {
  const std::wstring stamp =
      TempFolder() + L"\\ulverane-bench-stamp-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
  DeleteFileW(stamp.c_str());
  SetEnvironmentVariableW(L"ULVERANE_BENCH_STAMP", stamp.c_str());

  const TimedProcess process(program, std::move(commandLine));
  if (!process.started())
    return false;
  // Wine may answer zeros once the process is gone, so the peak (a high-water
  // mark) is sampled while it runs too.
  const auto sample = [&] {
    launch->peak = std::max(launch->peak, ulverane::bench::PeakWorkingSet(process.handle()));
  };
  // The wait on the process is the pause between samples, so that its end is
  // seen at once.
  const bool ended = ulverane::testing::WaitUntil(
      [&] {
        if (process.Wait(kSampleMilliseconds))
          return true;
        sample();
        return false;
      },
      kTimeoutMilliseconds, 0);
  const LARGE_INTEGER end = Now();
  if (!ended) {
    std::fprintf(stderr, "the program did not end within %lu ms (a message box?)\n",
                 kTimeoutMilliseconds);
    return false;
  }
  sample();
  launch->exitCode = process.ExitCode();

  const std::string text = Exists(stamp) ? ReadBytes(stamp) : "";
  DeleteFileW(stamp.c_str());
  launch->stamped = !text.empty();
  LARGE_INTEGER launchedAt;
  launchedAt.QuadPart = std::strtoll(text.c_str(), nullptr, 10);
  launch->launchSeconds = Seconds(process.start(), launchedAt);
  launch->cleanupSeconds = Seconds(launchedAt, end);
  launch->totalSeconds = Seconds(process.start(), end);
  return true;
}

int Report(const Launch& launch, const std::string& verdict) {
  if (!launch.stamped) {
    std::fprintf(stderr, "SetupUI.exe left no timestamp (exit code %lu, folder %s)\n",
                 launch.exitCode, verdict.c_str());
    return 1;
  }
  std::printf("launch_s=%.6f cleanup_s=%.6f total_s=%.6f peak_ws=%s exit=%lu folder=%s\n",
              launch.launchSeconds, launch.cleanupSeconds, launch.totalSeconds,
              ulverane::bench::ByteCount(launch.peak).c_str(), launch.exitCode, verdict.c_str());
  return 0;
}

// Folders as finished runs leave them: named like a run's, a log in each.
std::vector<std::wstring> PlantFinishedRuns(const std::wstring& parent,
                                            unsigned count,
                                            bool marked) {
  CreateDirectoryW(parent.c_str(), nullptr);
  std::vector<std::wstring> planted;
  for (unsigned n = 0; n < count; ++n) {
    wchar_t name[40];
    std::swprintf(name, 40, L"%08x-0000-4000-8000-%012x", n, GetCurrentProcessId());
    const std::wstring folder = parent + L"\\" + name;
    CreateDirectoryW(folder.c_str(), nullptr);
    WriteBytes(folder + L"\\Setup.log", "Trying to start process: x\n");
    if (marked)
      ulverane::MarkFinished(folder);
    planted.push_back(folder);
  }
  return planted;
}

int Run(const std::wstring& setup, unsigned leftovers, bool marked) {
  const std::wstring parent = TempFolder() + L"\\UlveraneSetup";
  const std::vector<std::wstring> planted = PlantFinishedRuns(parent, leftovers, marked);
  const std::set<std::wstring> before = SubFolders(parent);

  Launch launch;
  if (!Start(setup, L"\"" + setup + L"\"", &launch))
    return 1;

  std::vector<std::wstring> created;
  for (const std::wstring& name : SubFolders(parent)) {
    if (before.count(name) == 0)
      created.push_back(name);
  }
  std::string verdict;
  if (created.size() != 1) {
    verdict = std::to_string(created.size()) + "-new-folders";
  } else {
    const std::vector<std::wstring> content = ListTree(parent + L"\\" + created[0]);
    if (content.size() == 1 && content[0] == L"Setup.log") {
      verdict = "only-Setup.log";
    } else {
      verdict = "unexpected:";
      for (const std::wstring& name : content)
        verdict += Narrow(name) + ";";
    }
  }
  for (const std::wstring& name : created)
    RemoveTree(parent + L"\\" + name);
  for (const std::wstring& folder : planted) {
    if (!Exists(folder + L"\\Setup.log"))
      verdict = "a-finished-run's-log-went";
    RemoveTree(folder);
  }
  return Report(launch, verdict);
}

// The anchor's folders are named "UlveraneBenchAnchor-<pid>" in %TEMP%.
std::vector<std::wstring> AnchorFolders() {
  std::vector<std::wstring> found;
  for (const std::wstring& name : SubFolders(TempFolder())) {
    if (name.rfind(L"UlveraneBenchAnchor-", 0) == 0)
      found.push_back(name);
  }
  return found;
}

int Anchor(const std::wstring& anchor, const std::vector<std::wstring>& arguments) {
  for (const std::wstring& name : AnchorFolders())
    RemoveTree(TempFolder() + L"\\" + name);
  std::wstring commandLine = L"\"" + anchor + L"\"";
  for (const std::wstring& argument : arguments)
    commandLine += L" \"" + argument + L"\"";
  Launch launch;
  if (!Start(anchor, commandLine, &launch))
    return 1;
  const std::vector<std::wstring> left = AnchorFolders();
  std::string verdict = "cleaned";
  if (!left.empty()) {
    verdict = "left:";
    for (const std::wstring& name : left) {
      verdict += Narrow(name) + ";";
      RemoveTree(TempFolder() + L"\\" + name);
    }
  }
  return Report(launch, verdict);
}

int Copies(const std::wstring& source, const std::vector<Range>& ranges) {
  const std::wstring folder = TempFolder() + L"\\UlveraneBenchCopy";
  RemoveTree(folder);

  const LARGE_INTEGER start = Now();
  bool ok = CreateDirectoryW(folder.c_str(), nullptr) != FALSE;
  const HANDLE file = ulverane::bench::OpenSource(source.c_str());
  ok = ok && file != INVALID_HANDLE_VALUE;
  std::vector<std::wstring> folders;
  for (const Range& range : ranges) {
    if (!ok)
      break;
    const std::wstring target = folder + L"\\" + range.path;
    const size_t separator = range.path.rfind(L'\\');
    if (separator != std::wstring::npos) {
      const std::wstring sub = folder + L"\\" + range.path.substr(0, separator);
      CreateDirectoryW(sub.c_str(), nullptr);
      folders.push_back(sub);
    }
    ok = ulverane::bench::CopyRange(file, range.offset, range.size, target.c_str());
  }
  if (file != INVALID_HANDLE_VALUE)
    CloseHandle(file);
  const LARGE_INTEGER copied = Now();

  for (const Range& range : ranges) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    const std::wstring target = folder + L"\\" + range.path;
    if (!GetFileAttributesExW(target.c_str(), GetFileExInfoStandard, &data) ||
        data.nFileSizeHigh != 0 || data.nFileSizeLow != range.size) {
      std::fprintf(stderr, "wrong copy: %s\n", Narrow(range.path).c_str());
      ok = false;
    }
  }

  const LARGE_INTEGER deleteStart = Now();
  for (const Range& range : ranges)
    DeleteFileW((folder + L"\\" + range.path).c_str());
  for (const std::wstring& sub : folders)
    RemoveDirectoryW(sub.c_str());
  ok = RemoveDirectoryW(folder.c_str()) && ok;
  const LARGE_INTEGER deleted = Now();
  if (!ok) {
    RemoveTree(folder);
    std::fprintf(stderr, "the copy failed\n");
    return 1;
  }
  std::printf("copy_s=%.6f delete_s=%.6f\n", Seconds(start, copied), Seconds(deleteStart, deleted));
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"run" && (argc == 3 || argc == 4)) {
    wchar_t* rest = nullptr;
    const unsigned leftovers =
        argc == 4 ? static_cast<unsigned>(std::wcstoul(argv[3], &rest, 10)) : 0;
    return Run(argv[2], leftovers, rest == nullptr || std::wstring(rest) != L":old");
  }
  if (mode == L"anchor" && argc > 4)
    return Anchor(argv[2], std::vector<std::wstring>(argv + 3, argv + argc));
  if (mode == L"copies" && argc > 3) {
    std::vector<Range> ranges(argc - 3);
    bool ok = true;
    for (int i = 3; i < argc; ++i)
      ok = ParseRange(argv[i], &ranges[i - 3]) && ok;
    if (ok)
      return Copies(argv[2], ranges);
  }
  std::fprintf(stderr,
               "usage: setup_bench run <setup-exe> [<leftovers>]\n"
               "       setup_bench anchor <anchor-exe> <source-file> "
               "<offset>:<size>:<relative-path>...\n"
               "       setup_bench copies <source-file> <offset>:<size>:<relative-path>...\n");
  return 2;
}
