#ifndef ULVERANE_PAYLOAD_CHECKSUM_TABLE_H_
#define ULVERANE_PAYLOAD_CHECKSUM_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <optional>

namespace ulverane {

// Where the build stores the table: resource "CRC" 1 of the image, beside
// the payload (cmake/payload.cmake reads these two lines).
inline constexpr wchar_t kChecksumType[] = L"CRC";
inline constexpr std::uint32_t kChecksumTableId = 1;

// The CRC-32C that the build recorded for payload resource `id` of `size`
// bytes, read from the checksum table (`tableSize` bytes at `table`, as
// tools/payload_checksums.cpp writes it: "C32C", a count, then id, size and
// CRC per file, little-endian 32-bit numbers, nothing after). Nothing when
// the table is malformed, names `id` never or twice, or records another
// size. Reads only inside the table. Builds off Windows too.
std::optional<std::uint32_t> ExpectedChecksum(const std::uint8_t* table,
                                              std::size_t tableSize,
                                              std::uint32_t id,
                                              std::uint32_t size);

}  // namespace ulverane

#endif  // ULVERANE_PAYLOAD_CHECKSUM_TABLE_H_
