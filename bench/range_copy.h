#ifndef ULVERANE_BENCH_RANGE_COPY_H_
#define ULVERANE_BENCH_RANGE_COPY_H_

// The yardstick for extraction: the plainest Win32 copy of a byte range, in
// the same 1 MiB steps and with the same target flags as the setup uses;
// with `flush`, also flushed to the disk, as a saved package is.

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

namespace ulverane::bench {

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

#endif  // ULVERANE_BENCH_RANGE_COPY_H_
