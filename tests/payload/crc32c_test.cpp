#include "payload/crc32c.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/pe_writer.h"

namespace ulverane::testing {
namespace {

struct Way {
  const char* name;
  Crc32cWay way;
  bool chosen;  // Crc32c() itself rather than Crc32cBy(way)
};

const Way kWays[] = {{"table", Crc32cWay::kTable, false},
                     {"instruction", Crc32cWay::kInstruction, false},
                     {"folding", Crc32cWay::kFolding, false},
                     {"wide folding", Crc32cWay::kWideFolding, false},
                     {"chosen", Crc32cWay::kTable, true}};

// The ways this processor has; each test names those it leaves out.
std::vector<Way> AvailableWays() {
  std::vector<Way> ways;
  for (const Way& way : kWays) {
    if (way.chosen || Crc32cWayAvailable(way.way))
      ways.push_back(way);
    else
      std::printf("this processor lacks the %s way: not tried\n", way.name);
  }
  return ways;
}

std::uint32_t Crc(const Way& way, std::uint32_t crc, const char* data, std::size_t size) {
  return way.chosen ? Crc32c(crc, data, size) : Crc32cBy(way.way, crc, data, size);
}

std::string Noise(std::size_t size) {
  std::string bytes(size, '\0');
  unsigned state = 7;
  for (char& c : bytes)
    c = static_cast<char>((state = state * 1103515245u + 12345u) >> 16);
  return bytes;
}

// The CRC of every prefix of `bytes`, bit by bit: [n] is that of n bytes.
std::vector<std::uint32_t> PrefixCrcs(const std::string& bytes) {
  std::vector<std::uint32_t> crcs{0};
  std::uint32_t state = 0xFFFFFFFFu;
  for (const char c : bytes) {
    state ^= static_cast<unsigned char>(c);
    for (int bit = 0; bit < 8; ++bit)
      state = state & 1u ? (state >> 1) ^ 0x82F63B78u : state >> 1;
    crcs.push_back(~state);
  }
  return crcs;
}

// Published CRC-32C check values (RFC 3720, B.4, and the common "123456789").
TEST(Crc32cTest, KnownVectorsOnEveryWay) {
  const std::vector<Way> ways = AvailableWays();
  const std::string ascending = [] {
    std::string bytes;
    for (int i = 0; i < 32; ++i)
      bytes += static_cast<char>(i);
    return bytes;
  }();
  const std::pair<std::string, std::uint32_t> vectors[] = {
      {"", 0},
      {"123456789", 0xE3069283u},
      {std::string(32, '\0'), 0x8A9136AAu},
      {std::string(32, '\xFF'), 0x62A8AB43u},
      {ascending, 0x46DD794Eu},
      {std::string(ascending.rbegin(), ascending.rend()), 0x113FDB5Cu},
  };
  for (const Way& way : ways) {
    for (const auto& [bytes, expected] : vectors)
      EXPECT_EQ(Crc(way, 0, bytes.data(), bytes.size()), expected)
          << way.name << " " << bytes.size();
  }
}

// Lengths and alignments on both sides of the interleaved blocks, and a CRC
// continued across two calls, against the plainest implementation.
TEST(Crc32cTest, EveryLengthAndAlignmentAgreesWithTheReference) {
  const std::vector<Way> ways = AvailableWays();
  const std::string data = Noise(6 * 8192 + 1008);
  for (const std::size_t length :
       {1u, 7u, 8u, 767u, 768u, 769u, 3u * 8192 - 1, 3u * 8192, 3u * 8192 + 771, 6u * 8192 + 999}) {
    for (std::size_t offset = 0; offset < 8; offset += 3) {
      const char* bytes = data.data() + offset;
      const std::uint32_t expected = ReferenceCrc32c(data.substr(offset, length));
      for (const Way& way : ways) {
        EXPECT_EQ(Crc(way, 0, bytes, length), expected) << way.name << " " << length;
        const std::size_t half = length / 2;
        EXPECT_EQ(Crc(way, Crc(way, 0, bytes, half), bytes + half, length - half), expected)
            << way.name << " continued " << length;
      }
    }
  }
}

// Every length up to four rounds of the widest folding and its remainders
// (64- and 16-byte blocks, single bytes), at every alignment of a lane.
TEST(Crc32cTest, EveryShortLengthAtEveryAlignment) {
  const std::vector<Way> ways = AvailableWays();
  constexpr std::size_t kLongest = 4 * 256 + 64 + 16 + 15;
  const std::string data = Noise(kLongest + 16);
  for (std::size_t offset = 0; offset < 16; ++offset) {
    const std::vector<std::uint32_t> expected = PrefixCrcs(data.substr(offset));
    for (const Way& way : ways) {
      for (std::size_t length = 0; length <= kLongest; ++length)
        ASSERT_EQ(Crc(way, 0, data.data() + offset, length), expected[length])
            << way.name << " " << length << " bytes at " << offset;
    }
  }
}

// The ways hand the CRC on to each other: a first part by one, the rest by
// another, split at and beside the block sizes, over a chunk of the copy's
// size that starts off any alignment.
TEST(Crc32cTest, AnyWayContinuesAnyOther) {
  const std::vector<Way> ways = AvailableWays();
  constexpr std::size_t kChunk = 1024 * 1024;
  const std::string data = Noise(kChunk + 24);
  const char* bytes = data.data() + 5;
  const std::size_t length = kChunk + 17;
  const std::uint32_t whole = ReferenceCrc32c(std::string(bytes, length));
  for (const Way& first : ways) {
    EXPECT_EQ(Crc(first, 0, bytes, length), whole) << first.name;
    for (const Way& rest : ways) {
      for (const std::size_t split : {1u, 63u, 64u, 255u, 256u, 257u, 3u * 8192 + 1, 600001u}) {
        EXPECT_EQ(Crc(rest, Crc(first, 0, bytes, split), bytes + split, length - split), whole)
            << first.name << " then " << rest.name << " from " << split;
      }
    }
  }
}

}  // namespace
}  // namespace ulverane::testing
