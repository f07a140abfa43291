#include "base/crc32c.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/pe_writer.h"

namespace ulverane::testing {
namespace {

using Path = std::uint32_t (*)(std::uint32_t, const void*, std::size_t);

struct Way {
  const char* name;
  Path crc;
  bool available;
};

const Way kWays[] = {{"table", Crc32cTable, true},
                     {"hardware", Crc32cHardware, HasHardwareCrc32c()},
                     {"chosen", Crc32c, true}};

// Published CRC-32C check values (RFC 3720, B.4, and the common "123456789").
TEST(Crc32cTest, KnownVectorsOnEveryWay) {
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
  for (const Way& way : kWays) {
    if (!way.available) {
      std::printf("no SSE4.2 here: the %s way is not tried\n", way.name);
      continue;
    }
    for (const auto& [bytes, expected] : vectors)
      EXPECT_EQ(way.crc(0, bytes.data(), bytes.size()), expected)
          << way.name << " " << bytes.size();
  }
}

// Lengths and alignments on both sides of the interleaved blocks, and a CRC
// continued across two calls, against the plainest implementation.
TEST(Crc32cTest, EveryLengthAndAlignmentAgreesWithTheReference) {
  const std::string data = [] {
    std::string bytes(6 * 8192 + 1008, '\0');
    unsigned state = 7;
    for (char& c : bytes)
      c = static_cast<char>((state = state * 1103515245u + 12345u) >> 16);
    return bytes;
  }();
  for (const std::size_t length :
       {1u, 7u, 8u, 767u, 768u, 769u, 3u * 8192 - 1, 3u * 8192, 3u * 8192 + 771, 6u * 8192 + 999}) {
    for (std::size_t offset = 0; offset < 8; offset += 3) {
      const char* bytes = data.data() + offset;
      const std::uint32_t expected = ReferenceCrc32c(data.substr(offset, length));
      for (const Way& way : kWays) {
        if (!way.available)
          continue;
        EXPECT_EQ(way.crc(0, bytes, length), expected) << way.name << " " << length;
        const std::size_t half = length / 2;
        EXPECT_EQ(way.crc(way.crc(0, bytes, half), bytes + half, length - half), expected)
            << way.name << " continued " << length;
      }
    }
  }
}

}  // namespace
}  // namespace ulverane::testing
