#ifndef ULVERANE_PAYLOAD_CHECKSUM_TABLE_H_
#define ULVERANE_PAYLOAD_CHECKSUM_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <optional>

namespace ulverane {

// Where the build stores the table: a resource of the image beside the
// payload, whose type and id the build passes in (cmake/payload_list.cmake).
#define ULVERANE_WIDE_TEXT(x) L## #x
#define ULVERANE_WIDE_VALUE(x) ULVERANE_WIDE_TEXT(x)
inline constexpr wchar_t kChecksumType[] = ULVERANE_WIDE_VALUE(ULVERANE_CHECKSUM_TYPE);
inline constexpr std::uint32_t kChecksumTableId = ULVERANE_CHECKSUM_ID;

// The CRC-32C that the build recorded for payload resource `id` of `size`
// bytes, read from the checksum table (`tableSize` bytes at `table`, as
// cmake/payload_checksums.cpp writes it: "C32C", a count, then id, size and
// CRC per file, little-endian 32-bit numbers, nothing after). Nothing when
// the table is malformed: its count does not match its length, it names an
// id above 16 bits or any id twice, it never names `id`, or it records
// another size for it. Reads only inside the table. Builds off Windows too.
std::optional<std::uint32_t> ExpectedChecksum(const std::uint8_t* table,
                                              std::size_t tableSize,
                                              std::uint32_t id,
                                              std::uint32_t size);

}  // namespace ulverane

#endif  // ULVERANE_PAYLOAD_CHECKSUM_TABLE_H_
