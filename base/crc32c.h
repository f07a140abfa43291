#ifndef ULVERANE_BASE_CRC32C_H_
#define ULVERANE_BASE_CRC32C_H_

#include <cstddef>
#include <cstdint>

namespace ulverane {

// CRC-32C (Castagnoli, reflected, as iSCSI and ext4 use it) of `size` bytes,
// continuing from `crc`, the value of the bytes before them (0 for none):
// Crc32c(Crc32c(0, a), b) is the CRC of a followed by b. Picks the
// processor's crc32 instruction where it has SSE4.2 and runs it faster than
// the table, else the table; the choice is made once.
std::uint32_t Crc32c(std::uint32_t crc, const void* data, std::size_t size);

// The two ways, for tests and benchmarks. The hardware one must only be
// called where HasHardwareCrc32c() says so.
std::uint32_t Crc32cTable(std::uint32_t crc, const void* data, std::size_t size);
std::uint32_t Crc32cHardware(std::uint32_t crc, const void* data, std::size_t size);
bool HasHardwareCrc32c();
// Whether the instruction is there and beats the table on a short sample,
// timed anew on each call.
bool HardwareIsFaster();

}  // namespace ulverane

#endif  // ULVERANE_BASE_CRC32C_H_
