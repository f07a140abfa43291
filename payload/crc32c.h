#ifndef ULVERANE_PAYLOAD_CRC32C_H_
#define ULVERANE_PAYLOAD_CRC32C_H_

#include <cstddef>
#include <cstdint>

namespace ulverane {

// The ways this file computes CRC-32C, from the plainest to the fastest.
// All give the same value.
enum class Crc32cWay {
  kTable,        // slicing by eight; any processor
  kInstruction,  // SSE4.2's crc32 instruction, three streams side by side
  kFolding,      // four 128-bit lanes folded by PCLMULQDQ, with SSE4.2
  kWideFolding,  // sixteen lanes in AVX-512 registers folded by VPCLMULQDQ
};

// Whether this processor, and the system for the registers it must save,
// can run `way`. Asks CPUID (and XGETBV) on each call.
bool Crc32cWayAvailable(Crc32cWay way);

// The fastest way that is available, judged by CPUID alone: what Crc32c()
// uses. Never timed, so an emulator's speed never decides it.
Crc32cWay ChosenCrc32cWay();

// CRC-32C (Castagnoli, reflected, as iSCSI and ext4 use it) of `size` bytes,
// continuing from `crc`, the value of the bytes before them (0 for none):
// Crc32c(Crc32c(0, a), b) is the CRC of a followed by b. Takes
// ChosenCrc32cWay(), chosen once.
std::uint32_t Crc32c(std::uint32_t crc, const void* data, std::size_t size);

// Crc32c() by `way`, which must be available.
std::uint32_t Crc32cBy(Crc32cWay way, std::uint32_t crc, const void* data, std::size_t size);

}  // namespace ulverane

#endif  // ULVERANE_PAYLOAD_CRC32C_H_
