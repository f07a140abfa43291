// Drives one default run of a setup executable, or the plain copy it is
// measured against. Run by tools/bench-setup.sh.
//
//   setup_bench run <setup-exe>
//     Starts the setup without arguments; its SetupUI.exe must be the stub
//     (setupui_stub.cpp). Prints: launch_s=<start to SetupUI> cleanup_s=<SetupUI
//     to setup exit> total_s=<s> peak_ws=<bytes> exit=<code> folder=<verdict>
//     and removes the working folder the run left in %TEMP%\UlveraneSetup.
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

int Run(const std::wstring& setup) {
  const std::wstring temp = TempFolder();
  const std::wstring parent = temp + L"UlveraneSetup";
  const std::vector<std::wstring> existing = List(parent);
  const std::set<std::wstring> before(existing.begin(), existing.end());

  const std::wstring stamp =
      temp + L"ulverane-bench-stamp-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
  DeleteFileW(stamp.c_str());
  SetEnvironmentVariableW(L"ULVERANE_BENCH_STAMP", stamp.c_str());

  std::wstring commandLine = L"\"" + setup + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  LARGE_INTEGER start;
  LARGE_INTEGER end;
  QueryPerformanceCounter(&start);
  if (!CreateProcessW(setup.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process)) {
    std::fprintf(stderr, "CreateProcess failed: error %lu\n", GetLastError());
    return 1;
  }
  CloseHandle(process.hThread);
  // Wine may answer zeros once the process is gone, so the peak (a high-water
  // mark) is sampled while it runs too.
  SIZE_T peak = 0;
  const auto sample = [&] {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    if (GetProcessMemoryInfo(process.hProcess, &counters, sizeof(counters)) &&
        counters.PeakWorkingSetSize > peak)
      peak = counters.PeakWorkingSetSize;
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
    std::fprintf(stderr, "the setup did not end within %lu ms (a message box?)\n",
                 kTimeoutMilliseconds);
    return 1;
  }
  sample();
  DWORD exitCode = 0;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hProcess);

  LONGLONG launched = 0;
  const bool haveStamp = ReadStamp(stamp, &launched);
  DeleteFileW(stamp.c_str());

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

  if (!haveStamp) {
    std::fprintf(stderr, "SetupUI.exe left no timestamp (exit code %lu, folder %s)\n", exitCode,
                 verdict.c_str());
    return 1;
  }
  LARGE_INTEGER launchedAt;
  launchedAt.QuadPart = launched;
  std::printf("launch_s=%.6f cleanup_s=%.6f total_s=%.6f peak_ws=%s exit=%lu folder=%s\n",
              Seconds(start, launchedAt), Seconds(launchedAt, end), Seconds(start, end),
              peak != 0 ? std::to_string(peak).c_str() : "unavailable", exitCode, verdict.c_str());
  return 0;
}

struct Range {
  std::uint64_t offset;
  DWORD size;
  std::wstring path;
};

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

bool ParseRange(std::wstring text, Range* range) {
  const size_t first = text.find(L':');
  const size_t second = first == std::wstring::npos ? first : text.find(L':', first + 1);
  if (second == std::wstring::npos)
    return false;
  range->offset = std::wcstoull(text.substr(0, first).c_str(), nullptr, 0);
  range->size = static_cast<DWORD>(std::wcstoul(text.substr(first + 1).c_str(), nullptr, 0));
  range->path = text.substr(second + 1);
  for (wchar_t& c : range->path) {
    if (c == L'/')
      c = L'\\';
  }
  return !range->path.empty();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"run" && argc == 3)
    return Run(argv[2]);
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
               "       setup_bench copies <source-file> <offset>:<size>:<relative-path>...\n");
  return 2;
}
