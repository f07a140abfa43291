#include "payload/checksum_table.h"

#include <bitset>
#include <cstring>

namespace ulverane {
namespace {

constexpr char kMagic[4] = {'C', '3', '2', 'C'};
constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kEntrySize = 12;

std::uint32_t Read32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

}  // namespace

std::optional<std::uint32_t> ExpectedChecksum(const std::uint8_t* table,
                                              std::size_t tableSize,
                                              std::uint32_t id,
                                              std::uint32_t size) {
  if (table == nullptr || tableSize < kHeaderSize || std::memcmp(table, kMagic, 4) != 0)
    return std::nullopt;
  const std::uint64_t count = Read32(table + 4);
  // Exactly the announced entries: a table cut short or with bytes appended
  // is not the one the build wrote.
  if (count > (tableSize - kHeaderSize) / kEntrySize ||
      kHeaderSize + count * kEntrySize != tableSize)
    return std::nullopt;
  // Resource ids have 16 bits, and the build names each file once: a table
  // that names any id twice is not the build's either, whichever is asked.
  std::bitset<0x10000> named;
  std::optional<std::uint32_t> found;
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::uint8_t* entry = table + kHeaderSize + i * kEntrySize;
    const std::uint32_t entryId = Read32(entry);
    if (entryId >= named.size() || named[entryId])
      return std::nullopt;
    named[entryId] = true;
    if (entryId != id)
      continue;
    if (Read32(entry + 4) != size)
      return std::nullopt;
    found = Read32(entry + 8);
  }
  return found;
}

}  // namespace ulverane
