#ifndef ULVERANE_BENCH_FIGURES_H_
#define ULVERANE_BENCH_FIGURES_H_

// Taking and printing the figures of a benchmark program: moments, seconds
// between them, peak memory, and text fit for a line of key=value fields.

#include <windows.h>
// psapi.h needs the types of windows.h, so it stays in a block of its own.
#include <psapi.h>

#include <string>

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

}  // namespace ulverane::bench

#endif  // ULVERANE_BENCH_FIGURES_H_
