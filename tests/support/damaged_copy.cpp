#include "tests/support/damaged_copy.h"

#include <windows.h>

#include <stdexcept>

#include "payload/executable_image.h"
#include "payload/resource_locator.h"

namespace ulverane::testing {

bool CopyWithDamagedResource(const std::wstring& source,
                             const std::wstring& target,
                             std::uint32_t id,
                             std::int64_t offset) {
  if (!CopyFileW(source.c_str(), target.c_str(), FALSE))
    return false;
  std::uint64_t at = 0;
  try {
    const size_t separator = target.rfind(L'\\');
    const ExecutableImage image(target.substr(0, separator), target.substr(separator + 1));
    const ResourceLocator::Range range =
        ResourceLocator(static_cast<const std::uint8_t*>(image.image()->MappedAddress),
                        image.viewSize(),
                        reinterpret_cast<const std::uint8_t*>(image.image()->Sections),
                        image.image()->NumberOfSections)
            .FindBin(id);
    if (range.size == 0)
      return false;
    at = range.position + (offset < 0 ? range.size + offset : offset);
  } catch (const std::runtime_error&) {
    return false;
  }
  const HANDLE file = CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(at);
  unsigned char byte = 0;
  DWORD done = 0;
  bool ok = SetFilePointerEx(file, position, nullptr, FILE_BEGIN) &&
            ReadFile(file, &byte, 1, &done, nullptr) && done == 1;
  byte = static_cast<unsigned char>(~byte);
  ok = ok && SetFilePointerEx(file, position, nullptr, FILE_BEGIN) &&
       WriteFile(file, &byte, 1, &done, nullptr) && done == 1;
  CloseHandle(file);
  return ok;
}

}  // namespace ulverane::testing
