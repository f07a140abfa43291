// Times one extraction of the package resource against a plain copy of the
// same bytes. Run by tools/bench-extract.sh.
//
//   extract_bench extract <folder> <exe-name> <target>
//     ExecutableImage(folder, exe-name) + ExtractResource(135, target).
//     Prints: seconds=<s> peak_ws=<bytes> peak_ws_before=<bytes>
//   extract_bench copy <source-file> <offset> <size> <target>
//     Plain 1 MiB ReadFile/WriteFile copy of that range. Prints: seconds=<s>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "bench/figures.h"
#include "bench/range_copy.h"
#include "payload/executable_image.h"

namespace {

using ulverane::bench::Now;
using ulverane::bench::PeakWorkingSet;
using ulverane::bench::Seconds;

constexpr std::uint32_t kPackageId = 135;

int Extract(const std::wstring& folder, const std::wstring& name, const std::wstring& target) {
  const SIZE_T before = PeakWorkingSet(GetCurrentProcess());
  LARGE_INTEGER start;
  LARGE_INTEGER end;
  try {
    start = Now();
    ulverane::ExecutableImage image(folder, name);
    image.ExtractResource(kPackageId, target);
    end = Now();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "extract failed: %s\n", error.what());
    return 1;
  }
  std::printf("seconds=%.6f peak_ws=%llu peak_ws_before=%llu\n", Seconds(start, end),
              static_cast<unsigned long long>(PeakWorkingSet(GetCurrentProcess())),
              static_cast<unsigned long long>(before));
  return 0;
}

int Copy(const std::wstring& source, std::uint64_t offset, DWORD size, const std::wstring& target) {
  const LARGE_INTEGER start = Now();
  const HANDLE file = ulverane::bench::OpenSource(source.c_str());
  const bool ok = file != INVALID_HANDLE_VALUE &&
                  ulverane::bench::CopyRange(file, offset, size, target.c_str());
  if (file != INVALID_HANDLE_VALUE)
    CloseHandle(file);
  const LARGE_INTEGER end = Now();
  if (!ok) {
    std::fprintf(stderr, "copy failed: error %lu\n", GetLastError());
    return 1;
  }
  std::printf("seconds=%.6f\n", Seconds(start, end));
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"extract" && argc == 5)
    return Extract(argv[2], argv[3], argv[4]);
  if (mode == L"copy" && argc == 6)
    return Copy(argv[2], std::wcstoull(argv[3], nullptr, 0),
                static_cast<DWORD>(std::wcstoul(argv[4], nullptr, 0)), argv[5]);
  std::fprintf(stderr,
               "usage: extract_bench extract <folder> <exe-name> <target>\n"
               "       extract_bench copy <source-file> <offset> <size> <target>\n");
  return 2;
}
