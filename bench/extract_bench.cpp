// Times one extraction of the package resource against a plain copy of the
// same bytes. Run by tools/bench.sh extract.
//
//   extract_bench extract <folder> <exe-name> <target>
//     ExecutableImage(folder, exe-name) + ExtractResource(135, target).
//     Prints: seconds=<s> peak_ws=<bytes> peak_ws_before=<bytes>
//   extract_bench copy <source-file> <offset> <size> <target> [flush]
//     Plain 1 MiB ReadFile/WriteFile copy of that range, then, with "flush",
//     FlushFileBuffers. Prints: seconds=<s>
//   extract_bench crc <MiB>
//     CRC-32C of that many MiB in memory, and of a 1 MiB chunk as the copy
//     checks it (in the cache), by each way, and the way the setup picks.
//     Prints for each way <way>_gbps=<GB/s or "none"> <way>_chunk_gbps=...
//     (table, instruction, folding, wide), then chosen=<way>.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "bench/bench.h"
#include "payload/crc32c.h"
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

int Copy(const std::wstring& source,
         std::uint64_t offset,
         DWORD size,
         const std::wstring& target,
         bool flush) {
  const LARGE_INTEGER start = Now();
  const HANDLE file = ulverane::bench::OpenSource(source.c_str());
  const bool ok = file != INVALID_HANDLE_VALUE &&
                  ulverane::bench::CopyRange(file, offset, size, target.c_str(), flush);
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

struct NamedWay {
  const char* name;
  ulverane::Crc32cWay way;
};

constexpr NamedWay kWays[] = {{"table", ulverane::Crc32cWay::kTable},
                              {"instruction", ulverane::Crc32cWay::kInstruction},
                              {"folding", ulverane::Crc32cWay::kFolding},
                              {"wide", ulverane::Crc32cWay::kWideFolding}};

// The best of `passes` over `size` bytes, in GB/s (10^9 bytes).
double CrcThroughput(ulverane::Crc32cWay way,
                     const std::string& data,
                     std::size_t size,
                     int passes) {
  double best = 0;
  volatile std::uint32_t sink = 0;
  for (int pass = 0; pass < passes; ++pass) {
    const LARGE_INTEGER start = Now();
    sink = sink + ulverane::Crc32cBy(way, 0, data.data(), size);
    const double seconds = Seconds(start, Now());
    if (seconds > 0 && size / seconds / 1e9 > best)
      best = size / seconds / 1e9;
  }
  return best;
}

int Crc(unsigned mebibytes) {
  std::string data(static_cast<std::size_t>(mebibytes) << 20, '\0');
  for (std::size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<char>(i * 2654435761u >> 13);
  const std::size_t chunk = std::min<std::size_t>(data.size(), 1 << 20);
  const char* chosen = "?";
  for (const NamedWay& way : kWays) {
    if (way.way == ulverane::ChosenCrc32cWay())
      chosen = way.name;
    if (!ulverane::Crc32cWayAvailable(way.way)) {
      std::printf("%s_gbps=none %s_chunk_gbps=none ", way.name, way.name);
      continue;
    }
    std::printf("%s_gbps=%.3f %s_chunk_gbps=%.3f ", way.name,
                CrcThroughput(way.way, data, data.size(), 5), way.name,
                CrcThroughput(way.way, data, chunk, 50));
  }
  std::printf("chosen=%s\n", chosen);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"extract" && argc == 5)
    return Extract(argv[2], argv[3], argv[4]);
  if (mode == L"copy" && (argc == 6 || (argc == 7 && std::wstring(argv[6]) == L"flush")))
    return Copy(argv[2], std::wcstoull(argv[3], nullptr, 0),
                static_cast<DWORD>(std::wcstoul(argv[4], nullptr, 0)), argv[5], argc == 7);
  if (mode == L"crc" && argc == 3)
    return Crc(static_cast<unsigned>(std::wcstoul(argv[2], nullptr, 10)));
  std::fprintf(stderr,
               "usage: extract_bench extract <folder> <exe-name> <target>\n"
               "       extract_bench copy <source-file> <offset> <size> <target> [flush]\n"
               "       extract_bench crc <MiB>\n");
  return 2;
}
