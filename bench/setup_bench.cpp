// Drives one default run of a setup executable, or what it is measured
// against. Run by tools/bench-setup.sh.
//
//   setup_bench run <setup-exe>
//     Starts the setup without arguments; its SetupUI.exe must be the stub
//     (setupui_stub.cpp). Prints: launch_s=<start to SetupUI> cleanup_s=<SetupUI
//     to setup exit> total_s=<s> peak_ws=<bytes> exit=<code> folder=<verdict>
//     and removes the working folder the run left in %TEMP%\UlveraneSetup.
//   setup_bench anchor <anchor-exe> <source-file> <offset>:<size>:<relative-path>...
//     Starts the minimal setup (setup_anchor.cpp) the same way, with the
//     ranges to copy; its stub must be the same. Prints the same fields; the
//     verdict is "cleaned" when the anchor left nothing behind in %TEMP%.
//   setup_bench copies <source-file> <offset>:<size>:<relative-path>...
//     Copies each range into a new folder in %TEMP% the plain way, then
//     deletes it all. Prints: copy_s=<s> delete_s=<s>
#include <windows.h>
// psapi.h needs the types of windows.h, so it stays in a block of its own.
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "bench/range_copy.h"

namespace {

using ulverane::bench::ParseRange;
using ulverane::bench::Range;
using ulverane::bench::Seconds;

constexpr DWORD kTimeoutMilliseconds = 300000;
constexpr DWORD kSampleMilliseconds = 10;

std::wstring TempFolder() {
  wchar_t buffer[MAX_PATH];
  const DWORD length = GetTempPathW(MAX_PATH, buffer);
  std::wstring folder(buffer, length < MAX_PATH ? length : 0);
  if (!folder.empty() && folder.back() != L'\\')
    folder += L'\\';
  return folder;
}

// Names in `folder` (no trailing backslash), folders marked with one.
std::vector<std::wstring> List(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data;
  const HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE)
    return names;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..")
      continue;
    names.push_back(name + ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? L"\\" : L""));
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return names;
}

bool RemoveTree(const std::wstring& folder) {
  bool ok = true;
  for (const std::wstring& name : List(folder)) {
    if (name.back() == L'\\')
      ok = RemoveTree(folder + L"\\" + name.substr(0, name.size() - 1)) && ok;
    else
      ok = DeleteFileW((folder + L"\\" + name).c_str()) && ok;
  }
  return RemoveDirectoryW(folder.c_str()) && ok;
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (const wchar_t c : text)
    out += c < 128 ? static_cast<char>(c) : '?';
  return out;
}

bool ReadStamp(const std::wstring& path, LONGLONG* value) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  char text[32] = {};
  DWORD read = 0;
  const BOOL ok = ReadFile(file, text, sizeof(text) - 1, &read, nullptr);
  CloseHandle(file);
  if (!ok || read == 0)
    return false;
  *value = std::strtoll(text, nullptr, 10);
  return true;
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
      TempFolder() + L"ulverane-bench-stamp-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
  DeleteFileW(stamp.c_str());
  SetEnvironmentVariableW(L"ULVERANE_BENCH_STAMP", stamp.c_str());

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  LARGE_INTEGER start;
  LARGE_INTEGER end;
  QueryPerformanceCounter(&start);
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process)) {
    std::fprintf(stderr, "CreateProcess failed: error %lu\n", GetLastError());
    return false;
  }
  CloseHandle(process.hThread);
  // Wine may answer zeros once the process is gone, so the peak (a high-water
  // mark) is sampled while it runs too.
  const auto sample = [&] {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    if (GetProcessMemoryInfo(process.hProcess, &counters, sizeof(counters)) &&
        counters.PeakWorkingSetSize > launch->peak)
      launch->peak = counters.PeakWorkingSetSize;
  };
  const ULONGLONG deadline = GetTickCount64() + kTimeoutMilliseconds;
  DWORD waited = WAIT_TIMEOUT;
  while (waited == WAIT_TIMEOUT && GetTickCount64() < deadline) {
    waited = WaitForSingleObject(process.hProcess, kSampleMilliseconds);
    if (waited == WAIT_TIMEOUT)
      sample();
  }
  QueryPerformanceCounter(&end);
  if (waited != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hProcess);
    std::fprintf(stderr, "the program did not end within %lu ms (a message box?)\n",
                 kTimeoutMilliseconds);
    return false;
  }
  sample();
  GetExitCodeProcess(process.hProcess, &launch->exitCode);
  CloseHandle(process.hProcess);

  LONGLONG launched = 0;
  launch->stamped = ReadStamp(stamp, &launched);
  DeleteFileW(stamp.c_str());
  LARGE_INTEGER launchedAt;
  launchedAt.QuadPart = launched;
  launch->launchSeconds = Seconds(start, launchedAt);
  launch->cleanupSeconds = Seconds(launchedAt, end);
  launch->totalSeconds = Seconds(start, end);
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
              launch.peak != 0 ? std::to_string(launch.peak).c_str() : "unavailable",
              launch.exitCode, verdict.c_str());
  return 0;
}

int Run(const std::wstring& setup) {
  const std::wstring parent = TempFolder() + L"UlveraneSetup";
  const std::vector<std::wstring> existing = List(parent);
  const std::set<std::wstring> before(existing.begin(), existing.end());

  Launch launch;
  if (!Start(setup, L"\"" + setup + L"\"", &launch))
    return 1;

  std::vector<std::wstring> created;
  for (const std::wstring& name : List(parent)) {
    if (name.back() == L'\\' && before.count(name) == 0)
      created.push_back(name.substr(0, name.size() - 1));
  }
  std::string verdict;
  if (created.size() != 1) {
    verdict = std::to_string(created.size()) + "-new-folders";
  } else {
    const std::wstring folder = parent + L"\\" + created[0];
    const std::vector<std::wstring> content = List(folder);
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
  return Report(launch, verdict);
}

// The anchor's folders are named "UlveraneBenchAnchor-<pid>" in %TEMP%.
std::vector<std::wstring> AnchorFolders() {
  const std::wstring temp = TempFolder();
  std::vector<std::wstring> found;
  for (const std::wstring& name : List(temp.substr(0, temp.size() - 1))) {
    if (name.rfind(L"UlveraneBenchAnchor-", 0) == 0)
      found.push_back(name);
  }
  return found;
}

int Anchor(const std::wstring& anchor, const std::vector<std::wstring>& arguments) {
  for (const std::wstring& name : AnchorFolders())
    RemoveTree(TempFolder() + name.substr(0, name.size() - 1));
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
      RemoveTree(TempFolder() + name.substr(0, name.size() - 1));
    }
  }
  return Report(launch, verdict);
}

int Copies(const std::wstring& source, const std::vector<Range>& ranges) {
  const std::wstring folder = TempFolder() + L"UlveraneBenchCopy";
  RemoveTree(folder);

  LARGE_INTEGER start;
  LARGE_INTEGER copied;
  LARGE_INTEGER deleted;
  QueryPerformanceCounter(&start);
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
  QueryPerformanceCounter(&copied);

  for (const Range& range : ranges) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    const std::wstring target = folder + L"\\" + range.path;
    if (!GetFileAttributesExW(target.c_str(), GetFileExInfoStandard, &data) ||
        data.nFileSizeHigh != 0 || data.nFileSizeLow != range.size) {
      std::fprintf(stderr, "wrong copy: %s\n", Narrow(range.path).c_str());
      ok = false;
    }
  }

  LARGE_INTEGER deleteStart;
  QueryPerformanceCounter(&deleteStart);
  for (const Range& range : ranges)
    DeleteFileW((folder + L"\\" + range.path).c_str());
  for (const std::wstring& sub : folders)
    RemoveDirectoryW(sub.c_str());
  ok = RemoveDirectoryW(folder.c_str()) && ok;
  QueryPerformanceCounter(&deleted);
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
  if (mode == L"run" && argc == 3)
    return Run(argv[2]);
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
               "usage: setup_bench run <setup-exe>\n"
               "       setup_bench anchor <anchor-exe> <source-file> "
               "<offset>:<size>:<relative-path>...\n"
               "       setup_bench copies <source-file> <offset>:<size>:<relative-path>...\n");
  return 2;
}
