// Treats its input as a whole executable image and looks up every payload
// resource and its entry in the checksum table as ExtractResource does.
// Besides the sanitizers' reports, it crashes when a lookup returns bytes
// outside the input or fails with anything but one of the reader's messages.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "payload/checksum_table.h"
#include "payload/resource_locator.h"
#include "resources/payload_files.h"

namespace {

constexpr std::string_view kReaderMessages[] = {
    "ResourceSection::ResourceSection",   "ResourceDir::ResourceDir",
    "ResourceDir::GetFirstEntry",         "ResourceDir::GetChildWithName",
    "ResourceDir::GetChildWithId",        "ResourceDir::GetResourceData",
    "ResourceSection::RvaToFilePosition",
};

[[noreturn]] void Broken(const char* what, std::uint32_t id) {
  std::fprintf(stderr, "Invariant broken for BIN %u: %s\n", id, what);
  std::abort();
}

bool IsReaderMessage(std::string_view message) {
  for (const std::string_view known : kReaderMessages)
    if (message == known)
      return true;
  return false;
}

template <typename T>
T ReadAt(const std::uint8_t* data, std::size_t offset) {
  T value;
  std::memcpy(&value, data + offset, sizeof(T));
  return value;
}

struct SectionTable {
  std::size_t offset;
  std::uint16_t count;
};

// Where the platform's loader finds the section table: right after the
// optional header that the NT headers announce. Nothing when the loader would
// reject the headers or the table would start past the input.
std::optional<SectionTable> LocateSectionTable(const std::uint8_t* data, std::size_t size) {
  constexpr std::size_t kDosHeaderSize = 64;
  constexpr std::size_t kNtHeadersOffset = 0x3C;
  constexpr std::size_t kSignatureAndFileHeaderSize = 24;
  if (size < kDosHeaderSize || data[0] != 'M' || data[1] != 'Z')
    return std::nullopt;
  const std::uint64_t nt = ReadAt<std::uint32_t>(data, kNtHeadersOffset);
  if (nt > size || size - nt < kSignatureAndFileHeaderSize ||
      std::memcmp(data + nt, "PE\0\0", 4) != 0)
    return std::nullopt;
  const std::uint16_t count = ReadAt<std::uint16_t>(data, nt + 6);
  const std::uint64_t table =
      nt + kSignatureAndFileHeaderSize + ReadAt<std::uint16_t>(data, nt + 20);
  if (table > size)
    return std::nullopt;
  return SectionTable{static_cast<std::size_t>(table), count};
}

// The raw data of the last section named exactly ".rsrc": where every
// resource's bytes must lie. Read independently of the reader under test.
std::optional<std::pair<std::uint64_t, std::uint64_t>> ResourceRawData(const std::uint8_t* data,
                                                                       std::size_t size,
                                                                       const SectionTable& table) {
  constexpr std::size_t kHeaderSize = 40;
  std::optional<std::pair<std::uint64_t, std::uint64_t>> found;
  for (std::size_t i = 0; i < table.count; ++i) {
    const std::size_t at = table.offset + i * kHeaderSize;
    if (at > size || size - at < kHeaderSize)
      break;
    if (std::memcmp(data + at, ".rsrc\0", 6) == 0)
      found = std::make_pair(std::uint64_t{ReadAt<std::uint32_t>(data, at + 20)},
                             std::uint64_t{ReadAt<std::uint32_t>(data, at + 16)});
  }
  return found;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::optional<SectionTable> table = LocateSectionTable(data, size);
  if (!table)
    return 0;
  // Exactly sized, so that AddressSanitizer flags the first byte past the end.
  const std::unique_ptr<std::uint8_t[]> view(new std::uint8_t[size]);
  std::memcpy(view.get(), data, size);

  const auto section = ResourceRawData(view.get(), size, *table);
  auto check = [&](const ulverane::ResourceLocator::Range& range, std::uint32_t id) {
    if (range.position > size || range.size > size - range.position)
      Broken("range outside the input", id);
    if (!section || range.position < section->first ||
        range.position - section->first + range.size > section->second)
      Broken("range outside the resource section", id);
  };
  for (const ulverane::PayloadFile& file : ulverane::kPayloadFiles) {
    const std::uint32_t id = file.id;
    try {
      const ulverane::ResourceLocator locator(view.get(), size, view.get() + table->offset,
                                              table->count);
      const ulverane::ResourceLocator::Range range = locator.FindBin(id);
      check(range, id);
      const auto checksums = locator.Find(ulverane::kChecksumType, ulverane::kChecksumTableId);
      if (checksums) {
        check(*checksums, ulverane::kChecksumTableId);
        ulverane::ExpectedChecksum(view.get() + checksums->position, checksums->size, id,
                                   range.size);
      }
    } catch (const std::runtime_error& error) {
      if (!IsReaderMessage(error.what()))
        Broken(error.what(), id);
    }
  }
  return 0;
}
