#include "base/crc32c.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#if defined(_WIN32)
#include <windows.h>
#else
#include <chrono>
#endif

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <nmmintrin.h>
#define ULVERANE_X86 1
#endif

namespace ulverane {
namespace {

constexpr std::uint32_t kPolynomial = 0x82F63B78;  // 0x1EDC6F41, bits reversed

// Slicing by eight: table k holds the CRC of a byte followed by k zero bytes,
// so that eight bytes take eight independent lookups.
using ByteTables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr ByteTables MakeByteTables() {
  ByteTables tables{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t crc = n;
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc >> 1) ^ (kPolynomial & (0u - (crc & 1u)));
    tables[0][n] = crc;
  }
  for (std::uint32_t n = 0; n < 256; ++n)
    for (std::size_t k = 1; k < 8; ++k)
      tables[k][n] = tables[0][tables[k - 1][n] & 0xFFu] ^ (tables[k - 1][n] >> 8);
  return tables;
}

constexpr ByteTables kBytes = MakeByteTables();

std::uint32_t Load32(const unsigned char* p) {
  std::uint32_t value;
  std::memcpy(&value, p, sizeof(value));
  return value;
}

#if ULVERANE_X86

// A steady clock in its own units; the host tool uses this file as well, and
// the standard clock would pull the runtime's clock-setting imports into the
// image.
std::int64_t Ticks() {
#if defined(_WIN32)
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
#else
  return std::chrono::steady_clock::now().time_since_epoch().count();
#endif
}

// Three streams of `kBlock` bytes run side by side, each on its own
// instruction chain, which hides the crc32 instruction's latency of three
// cycles; their CRCs are then joined by appending the length of the later
// stream in zeros to the earlier one, a linear map over GF(2) that four
// tables apply a byte at a time.
constexpr std::size_t kLongBlock = 8192;
constexpr std::size_t kShortBlock = 256;

using Matrix = std::array<std::uint32_t, 32>;
using ShiftTables = std::array<std::array<std::uint32_t, 256>, 4>;

constexpr std::uint32_t Times(const Matrix& matrix, std::uint32_t vector) {
  std::uint32_t sum = 0;
  for (std::size_t row = 0; vector != 0; ++row, vector >>= 1)
    if (vector & 1u)
      sum ^= matrix[row];
  return sum;
}

// The map that feeds `bytes` zero bytes (a power of two) through a CRC.
constexpr ShiftTables MakeShiftTables(std::size_t bytes) {
  Matrix op{};  // one zero bit
  op[0] = kPolynomial;
  for (std::size_t n = 1; n < 32; ++n)
    op[n] = 1u << (n - 1);
  for (std::size_t bits = 1; bits < 8 * bytes; bits *= 2) {
    Matrix square{};
    for (std::size_t n = 0; n < 32; ++n)
      square[n] = Times(op, op[n]);
    op = square;
  }
  ShiftTables tables{};
  for (std::uint32_t n = 0; n < 256; ++n)
    for (std::size_t k = 0; k < 4; ++k)
      tables[k][n] = Times(op, n << (8 * k));
  return tables;
}

constexpr ShiftTables kLongShift = MakeShiftTables(kLongBlock);
constexpr ShiftTables kShortShift = MakeShiftTables(kShortBlock);

std::uint32_t Shift(const ShiftTables& tables, std::uint32_t crc) {
  return tables[0][crc & 0xFFu] ^ tables[1][(crc >> 8) & 0xFFu] ^ tables[2][(crc >> 16) & 0xFFu] ^
         tables[3][crc >> 24];
}

#if defined(__x86_64__)
using Word = std::uint64_t;
__attribute__((target("sse4.2"))) std::uint32_t Step(std::uint32_t crc, const unsigned char* p) {
  Word word;
  std::memcpy(&word, p, sizeof(word));
  return static_cast<std::uint32_t>(_mm_crc32_u64(crc, word));
}
#else
using Word = std::uint32_t;
__attribute__((target("sse4.2"))) std::uint32_t Step(std::uint32_t crc, const unsigned char* p) {
  return _mm_crc32_u32(crc, Load32(p));
}
#endif

template <std::size_t kBlock>
__attribute__((target("sse4.2"))) std::uint32_t Streams(std::uint32_t crc,
                                                        const ShiftTables& shift,
                                                        const unsigned char*& p,
                                                        std::size_t& size) {
  while (size >= 3 * kBlock) {
    std::uint32_t second = 0;
    std::uint32_t third = 0;
    for (const unsigned char* end = p + kBlock; p < end; p += sizeof(Word)) {
      crc = Step(crc, p);
      second = Step(second, p + kBlock);
      third = Step(third, p + 2 * kBlock);
    }
    crc = Shift(shift, Shift(shift, crc) ^ second) ^ third;
    p += 2 * kBlock;
    size -= 3 * kBlock;
  }
  return crc;
}

#endif  // ULVERANE_X86

}  // namespace

std::uint32_t Crc32cTable(std::uint32_t crc, const void* data, std::size_t size) {
  const auto* p = static_cast<const unsigned char*>(data);
  std::uint32_t state = ~crc;
  for (; size >= 8; size -= 8, p += 8) {
    const std::uint32_t low = Load32(p) ^ state;
    const std::uint32_t high = Load32(p + 4);
    state = kBytes[7][low & 0xFFu] ^ kBytes[6][(low >> 8) & 0xFFu] ^
            kBytes[5][(low >> 16) & 0xFFu] ^ kBytes[4][low >> 24] ^ kBytes[3][high & 0xFFu] ^
            kBytes[2][(high >> 8) & 0xFFu] ^ kBytes[1][(high >> 16) & 0xFFu] ^
            kBytes[0][high >> 24];
  }
  for (; size != 0; --size)
    state = kBytes[0][(state ^ *p++) & 0xFFu] ^ (state >> 8);
  return ~state;
}

#if ULVERANE_X86

__attribute__((target("sse4.2"))) std::uint32_t Crc32cHardware(std::uint32_t crc,
                                                               const void* data,
                                                               std::size_t size) {
  const auto* p = static_cast<const unsigned char*>(data);
  std::uint32_t state = ~crc;
  for (; size != 0 && reinterpret_cast<std::uintptr_t>(p) % sizeof(Word) != 0; --size)
    state = _mm_crc32_u8(state, *p++);
  state = Streams<kLongBlock>(state, kLongShift, p, size);
  state = Streams<kShortBlock>(state, kShortShift, p, size);
  for (; size >= sizeof(Word); size -= sizeof(Word), p += sizeof(Word))
    state = Step(state, p);
  for (; size != 0; --size)
    state = _mm_crc32_u8(state, *p++);
  return ~state;
}

bool HasHardwareCrc32c() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  return __get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0 && (ecx & bit_SSE4_2) != 0;
}

// CPUID says that the instruction is there, not that it is fast: an x86
// emulator (qemu, an ARM machine's x86 layer) may run it several times slower
// than the table. So the faster way over a short sample wins.
bool HardwareIsFaster() {
  if (!HasHardwareCrc32c())
    return false;
  static const unsigned char sample[32768] = {};
  std::int64_t best[2] = {std::numeric_limits<std::int64_t>::max(),
                          std::numeric_limits<std::int64_t>::max()};
  std::uint32_t crc = 0;
  for (int round = 0; round < 3; ++round) {
    for (int way = 0; way < 2; ++way) {
      const std::int64_t start = Ticks();
      crc = way == 0 ? Crc32cTable(crc, sample, sizeof(sample))
                     : Crc32cHardware(crc, sample, sizeof(sample));
      // Keeps the computation between the two clock readings.
      asm volatile("" : "+r"(crc)::"memory");
      best[way] = std::min(best[way], Ticks() - start);
    }
  }
  return best[1] <= best[0];
}

#else

std::uint32_t Crc32cHardware(std::uint32_t crc, const void* data, std::size_t size) {
  return Crc32cTable(crc, data, size);
}

bool HasHardwareCrc32c() {
  return false;
}

bool HardwareIsFaster() {
  return false;
}

#endif  // ULVERANE_X86

std::uint32_t Crc32c(std::uint32_t crc, const void* data, std::size_t size) {
  static const bool hardware = HardwareIsFaster();
  return hardware ? Crc32cHardware(crc, data, size) : Crc32cTable(crc, data, size);
}

}  // namespace ulverane
