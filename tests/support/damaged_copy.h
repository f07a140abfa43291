#ifndef ULVERANE_TESTS_SUPPORT_DAMAGED_COPY_H_
#define ULVERANE_TESTS_SUPPORT_DAMAGED_COPY_H_

#include <cstdint>
#include <string>

namespace ulverane::testing {

// Copies the setup image `source` to `target` with one byte of its resource
// "BIN" `id` inverted: byte `offset`, or counted from the end when negative
// (-1 is the last). False when that cannot be done.
bool CopyWithDamagedResource(const std::wstring& source,
                             const std::wstring& target,
                             std::uint32_t id,
                             std::int64_t offset);

}  // namespace ulverane::testing

#endif  // ULVERANE_TESTS_SUPPORT_DAMAGED_COPY_H_
