#ifndef ULVERANE_BENCH_BENCH_H_
#define ULVERANE_BENCH_BENCH_H_

// What the benchmark programs share: moments and seconds between them, peak
// memory, text fit for a line of key=value fields, a program started for a
// measurement, and the plainest Win32 copy of a byte range.

#include <windows.h>
// psapi.h needs the types of windows.h, so it stays in a block of its own.
#include <psapi.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "base/unique_resource.h"

namespace ulverane::bench {

// A QueryPerformanceCounter count: system-wide, so that moments taken in two
// processes compare.
inline LARGE_INTEGER Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now;
}

inline double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The peak working set of `process` so far (GetCurrentProcess(): this one),
// or 0 when the platform will not say.
inline SIZE_T PeakWorkingSet(HANDLE process) {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof(counters);
  return GetProcessMemoryInfo(process, &counters, sizeof(counters)) ? counters.PeakWorkingSetSize
                                                                    : 0;
}

// A byte count for a figure; 0 stands for a count the platform did not give.
inline std::string ByteCount(SIZE_T bytes) {
  return bytes != 0 ? std::to_string(bytes) : "unavailable";
}

// ASCII for the scripts that read the figures; any other character is '?'.
inline std::string Narrow(const std::wstring& text) {
  std::string out;
  for (const wchar_t c : text)
    out += c < 128 ? static_cast<char>(c) : '?';
  return out;
}

// A program started for a measurement: its process and the moment it was
// started. One that still runs when the holder goes away is ended by force,
// so that a measurement that gives up leaves nothing running that would slow
// the next one.
class TimedProcess {
 public:
  // Starts `program` with `commandLine` (which names the program first, as
  // its argv[0]). When that fails, says why on stderr; started() is false.
  TimedProcess(const std::wstring& program, std::wstring commandLine) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    start_ = Now();
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info)) {
      std::fprintf(stderr, "CreateProcess failed: error %lu\n", GetLastError());
      return;
    }
    CloseHandle(info.hThread);
    process_.reset(info.hProcess);
    id_ = info.dwProcessId;
  }
  TimedProcess(const TimedProcess&) = delete;
  TimedProcess& operator=(const TimedProcess&) = delete;
  ~TimedProcess() {
    if (started() && !Wait(0))
      TerminateProcess(process_.get(), 1);
  }

  bool started() const { return process_.valid(); }
  HANDLE handle() const { return process_.get(); }
  DWORD id() const { return id_; }
  // Taken just before the process was created.
  const LARGE_INTEGER& start() const { return start_; }

  // True once the process has ended; waits `timeoutMs` at the most.
  bool Wait(DWORD timeoutMs) const {
    return WaitForSingleObject(process_.get(), timeoutMs) == WAIT_OBJECT_0;
  }

  // Meaningful once Wait() said the process ended.
  DWORD ExitCode() const {
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    return code;
  }

 private:
  UniqueHandle process_;
  DWORD id_ = 0;
  LARGE_INTEGER start_ = {};
};

// The yardstick for extraction: the plainest Win32 copy of a byte range, in
// the same 1 MiB steps and with the same target flags as the setup uses;
// with `flush`, also flushed to the disk, as a saved package is.
inline bool CopyRange(HANDLE source,
                      std::uint64_t offset,
                      DWORD size,
                      const wchar_t* target,
                      bool flush = false) {
  constexpr DWORD kChunk = 1024 * 1024;
  LARGE_INTEGER distance;
  distance.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(source, distance, nullptr, FILE_BEGIN))
    return false;
  const HANDLE out =
      CreateFileW(target, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE)
    return false;
  const auto buffer = std::unique_ptr<char[]>(new char[kChunk]);
  bool ok = true;
  for (DWORD remaining = size; ok && remaining != 0;) {
    const DWORD chunk = remaining < kChunk ? remaining : kChunk;
    DWORD read = 0;
    DWORD written = 0;
    ok = ReadFile(source, buffer.get(), chunk, &read, nullptr) && read == chunk &&
         WriteFile(out, buffer.get(), chunk, &written, nullptr) && written == chunk;
    remaining -= chunk;
  }
  ok = ok && (!flush || FlushFileBuffers(out));
  CloseHandle(out);
  return ok;
}

inline HANDLE OpenSource(const wchar_t* path) {
  return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// One payload file's bytes in an image: `size` bytes at `offset`, written
// to `path` (relative, with backslashes).
struct Range {
  std::uint64_t offset = 0;
  DWORD size = 0;
  std::wstring path;
};

// Parses "<offset>:<size>:<relative-path>"; forward slashes become
// backslashes.
inline bool ParseRange(const std::wstring& text, Range* range) {
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

}  // namespace ulverane::bench

#endif  // ULVERANE_BENCH_BENCH_H_
