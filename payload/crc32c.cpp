#include "payload/crc32c.h"

#include <array>
#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
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

// The ways below work on the CRC register itself, without the inversions
// before and after, so that one can hand its state on to another.
std::uint32_t TableState(std::uint32_t state, const unsigned char* p, std::size_t size) {
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
  return state;
}

#if ULVERANE_X86

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

__attribute__((target("sse4.2"))) std::uint32_t InstructionState(std::uint32_t state,
                                                                 const unsigned char* p,
                                                                 std::size_t size) {
  for (; size != 0 && reinterpret_cast<std::uintptr_t>(p) % sizeof(Word) != 0; --size)
    state = _mm_crc32_u8(state, *p++);
  state = Streams<kLongBlock>(state, kLongShift, p, size);
  state = Streams<kShortBlock>(state, kShortShift, p, size);
  for (; size >= sizeof(Word); size -= sizeof(Word), p += sizeof(Word))
    state = Step(state, p);
  for (; size != 0; --size)
    state = _mm_crc32_u8(state, *p++);
  return state;
}

// Folding. A 128-bit lane holds 16 bytes of the message, which the CRC reads
// as a polynomial over GF(2). Moving the lane `n` bytes further on, onto the
// lane loaded there, multiplies it by x^(8n); only its value modulo the
// CRC's polynomial P matters, so carry-less multiplication does that in two
// halves, each by a constant of 32 bits. In the reflected bit order the
// lane's low half is its high-degree one, a constant stored in the low 32
// bits of a half stands for itself times x^32, and a product comes out one
// degree up: hence the exponents below. Each lane stays within 128 bits, so
// nothing needs reducing until the last one, whose 16 bytes the crc32
// instruction then reads like any others.

// x^n modulo P, in the CRC register's bit order (bit 31 is x^0).
constexpr std::uint32_t XPowerModP(std::size_t n) {
  std::uint32_t value = 0x80000000u;
  for (; n != 0; --n)
    value = (value >> 1) ^ (kPolynomial & (0u - (value & 1u)));
  return value;
}

struct FoldConstants {
  std::uint64_t low;   // for the lane's high-degree half
  std::uint64_t high;  // for its low-degree half
};

constexpr FoldConstants FoldBy(std::size_t bytes) {
  return {XPowerModP(8 * bytes + 31), XPowerModP(8 * bytes - 33)};
}

constexpr FoldConstants kFold16 = FoldBy(16);
constexpr FoldConstants kFold64 = FoldBy(64);
constexpr FoldConstants kFold256 = FoldBy(256);

// Four lanes side by side hide the multiplication's latency.
constexpr std::size_t kLanes = 4;
constexpr std::size_t kWideLanes = 16;

#define ULVERANE_FOLDING __attribute__((target("pclmul,sse4.2")))
#define ULVERANE_WIDE_FOLDING __attribute__((target("avx512f,vpclmulqdq,pclmul,sse4.2")))

ULVERANE_FOLDING inline __m128i Constants(const FoldConstants& k) {
  return _mm_set_epi64x(static_cast<long long>(k.high), static_cast<long long>(k.low));
}

ULVERANE_FOLDING inline __m128i Load128(const unsigned char* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// `lane` moved onto `onto` by the distance that `k` stands for.
ULVERANE_FOLDING inline __m128i Fold(__m128i lane, __m128i k, __m128i onto) {
  return _mm_xor_si128(
      _mm_xor_si128(_mm_clmulepi64_si128(lane, k, 0x00), _mm_clmulepi64_si128(lane, k, 0x11)),
      onto);
}

// Folds the last lane over the 16-byte blocks left, then the instruction
// reads it, from a state of 0 (what it stands for carries the state), and
// the bytes left after it.
ULVERANE_FOLDING std::uint32_t FinishFolding(__m128i lane,
                                             const unsigned char* p,
                                             std::size_t size) {
  const __m128i k16 = Constants(kFold16);
  for (; size >= 16; size -= 16, p += 16)
    lane = Fold(lane, k16, Load128(p));
#if defined(__x86_64__)
  std::uint64_t state = _mm_crc32_u64(0, static_cast<std::uint64_t>(_mm_cvtsi128_si64(lane)));
  state = _mm_crc32_u64(state, static_cast<std::uint64_t>(_mm_extract_epi64(lane, 1)));
#else
  std::uint32_t state = 0;
  state = _mm_crc32_u32(state, static_cast<std::uint32_t>(_mm_cvtsi128_si32(lane)));
  state = _mm_crc32_u32(state, static_cast<std::uint32_t>(_mm_extract_epi32(lane, 1)));
  state = _mm_crc32_u32(state, static_cast<std::uint32_t>(_mm_extract_epi32(lane, 2)));
  state = _mm_crc32_u32(state, static_cast<std::uint32_t>(_mm_extract_epi32(lane, 3)));
#endif
  for (; size != 0; --size)
    state = _mm_crc32_u8(static_cast<std::uint32_t>(state), *p++);
  return static_cast<std::uint32_t>(state);
}

ULVERANE_FOLDING std::uint32_t FoldingState(std::uint32_t state,
                                            const unsigned char* p,
                                            std::size_t size) {
  if (size < 16 * kLanes)
    return InstructionState(state, p, size);
  // The state enters as the first four bytes' change.
  __m128i x0 = _mm_xor_si128(Load128(p), _mm_cvtsi32_si128(static_cast<int>(state)));
  __m128i x1 = Load128(p + 16);
  __m128i x2 = Load128(p + 32);
  __m128i x3 = Load128(p + 48);
  p += 16 * kLanes;
  size -= 16 * kLanes;
  const __m128i k64 = Constants(kFold64);
  for (; size >= 16 * kLanes; size -= 16 * kLanes, p += 16 * kLanes) {
    x0 = Fold(x0, k64, Load128(p));
    x1 = Fold(x1, k64, Load128(p + 16));
    x2 = Fold(x2, k64, Load128(p + 32));
    x3 = Fold(x3, k64, Load128(p + 48));
  }
  const __m128i k16 = Constants(kFold16);
  return FinishFolding(Fold(Fold(Fold(x0, k16, x1), k16, x2), k16, x3), p, size);
}

ULVERANE_WIDE_FOLDING inline __m512i WideConstants(const FoldConstants& k) {
  const auto low = static_cast<long long>(k.low);
  const auto high = static_cast<long long>(k.high);
  return _mm512_set_epi64(high, low, high, low, high, low, high, low);
}

ULVERANE_WIDE_FOLDING inline __m512i Load512(const unsigned char* p) {
  return _mm512_loadu_si512(p);
}

ULVERANE_WIDE_FOLDING inline __m512i FoldWide(__m512i lanes, __m512i k, __m512i onto) {
  return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(lanes, k, 0x00),
                                   _mm512_clmulepi64_epi128(lanes, k, 0x11), onto, 0x96);
}

// The same in four registers of four lanes each, 256 bytes a round.
ULVERANE_WIDE_FOLDING std::uint32_t WideFoldingState(std::uint32_t state,
                                                     const unsigned char* p,
                                                     std::size_t size) {
  if (size < 16 * kWideLanes)
    return FoldingState(state, p, size);
  __m512i z0 = _mm512_xor_si512(Load512(p), _mm512_maskz_set1_epi32(1, static_cast<int>(state)));
  __m512i z1 = Load512(p + 64);
  __m512i z2 = Load512(p + 128);
  __m512i z3 = Load512(p + 192);
  p += 16 * kWideLanes;
  size -= 16 * kWideLanes;
  const __m512i k256 = WideConstants(kFold256);
  for (; size >= 16 * kWideLanes; size -= 16 * kWideLanes, p += 16 * kWideLanes) {
    z0 = FoldWide(z0, k256, Load512(p));
    z1 = FoldWide(z1, k256, Load512(p + 64));
    z2 = FoldWide(z2, k256, Load512(p + 128));
    z3 = FoldWide(z3, k256, Load512(p + 192));
  }
  const __m512i k64 = WideConstants(kFold64);
  z0 = FoldWide(FoldWide(FoldWide(z0, k64, z1), k64, z2), k64, z3);
  for (; size >= 64; size -= 64, p += 64)
    z0 = FoldWide(z0, k64, Load512(p));
  // The masked extracts: GCC 12's plain ones read an undefined register.
  const __m128i k16 = Constants(kFold16);
  __m128i x = _mm512_maskz_extracti32x4_epi32(0xF, z0, 0);
  x = Fold(x, k16, _mm512_maskz_extracti32x4_epi32(0xF, z0, 1));
  x = Fold(x, k16, _mm512_maskz_extracti32x4_epi32(0xF, z0, 2));
  x = Fold(x, k16, _mm512_maskz_extracti32x4_epi32(0xF, z0, 3));
  // A size-optimised build inserts no vzeroupper itself, and SSE code after
  // dirty upper halves runs slowly on Intel's processors.
  _mm256_zeroupper();
  return FinishFolding(x, p, size);
}

// XCR0: the system saves the SSE and AVX state, the opmask registers and
// all of the ZMM registers.
constexpr std::uint32_t kAvx512State = 0xE6;

std::uint32_t EnabledStates() {
  std::uint32_t low = 0;
  std::uint32_t high = 0;
  asm volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
  return low;
}

#endif  // ULVERANE_X86

}  // namespace

bool Crc32cWayAvailable(Crc32cWay way) {
  if (way == Crc32cWay::kTable)
    return true;
#if ULVERANE_X86
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0 || (ecx & bit_SSE4_2) == 0)
    return false;
  if (way == Crc32cWay::kInstruction)
    return true;
  if ((ecx & bit_PCLMUL) == 0)
    return false;
  if (way == Crc32cWay::kFolding)
    return true;
  const bool saved = (ecx & bit_OSXSAVE) != 0 && (EnabledStates() & kAvx512State) == kAvx512State;
  return way == Crc32cWay::kWideFolding && saved &&
         __get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) != 0 && (ebx & bit_AVX512F) != 0 &&
         (ecx & bit_VPCLMULQDQ) != 0;
#else
  return false;
#endif
}

Crc32cWay ChosenCrc32cWay() {
  // In 64-bit code the instruction reads eight bytes a step and keeps up
  // with four folded lanes (twice as fast on the AMD EPYC measured); in 32-bit
  // code it reads four, and folding is as fast or faster.
  constexpr Crc32cWay kFastestFirst[] = {
#if defined(__x86_64__)
    Crc32cWay::kWideFolding,
    Crc32cWay::kInstruction,
    Crc32cWay::kFolding,
#else
    Crc32cWay::kWideFolding,
    Crc32cWay::kFolding,
    Crc32cWay::kInstruction,
#endif
  };
  for (const Crc32cWay way : kFastestFirst)
    if (Crc32cWayAvailable(way))
      return way;
  return Crc32cWay::kTable;
}

std::uint32_t Crc32cBy(Crc32cWay way, std::uint32_t crc, const void* data, std::size_t size) {
  const auto* p = static_cast<const unsigned char*>(data);
  switch (way) {
#if ULVERANE_X86
    case Crc32cWay::kInstruction:
      return ~InstructionState(~crc, p, size);
    case Crc32cWay::kFolding:
      return ~FoldingState(~crc, p, size);
    case Crc32cWay::kWideFolding:
      return ~WideFoldingState(~crc, p, size);
#endif
    default:
      return ~TableState(~crc, p, size);
  }
}

std::uint32_t Crc32c(std::uint32_t crc, const void* data, std::size_t size) {
  static const Crc32cWay way = ChosenCrc32cWay();
  return Crc32cBy(way, crc, data, size);
}

}  // namespace ulverane
