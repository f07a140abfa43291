// Damages a valid image in many deterministic ways, its checksum table
// included. Every extraction must either produce exactly the bytes that the
// damaged tree points at, which the table then vouches are the original
// ones, or raise one of the reader's messages and leave no target behind.
// Nothing may crash.
//
// ULVERANE_MUTATIONS sets the number of variants (default 2000).

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <set>

#include "image_fixture.h"
#include "payload/checksum_table.h"

namespace ulverane::testing {
namespace {

// What a careful reader should make of an image: the resource bytes, or
// nullopt for any failure. Written against file offsets, independently of the
// reader under test.
std::optional<std::string> Expected(const std::string& f,
                                    const std::wstring& type,
                                    std::uint32_t id) {
  auto fits = [&](std::uint64_t at, std::uint64_t n) {
    return at <= f.size() && n <= f.size() - at;
  };
  if (!fits(0x3C, 4))
    return std::nullopt;
  const std::uint32_t pe = Get32(f, 0x3C);
  if (!fits(pe, 24) || f.compare(pe, 4, std::string("PE\0\0", 4)) != 0)
    return std::nullopt;
  const std::uint16_t sections = Get16(f, pe + 6);
  const std::uint64_t table = pe + 24 + Get16(f, pe + 20);
  if (sections == 0 || !fits(table, 40ull * sections))
    return std::nullopt;
  std::optional<std::uint64_t> header;
  for (std::uint64_t i = 0; i < sections; ++i) {
    const std::uint64_t at = table + 40 * i;
    std::string name = f.substr(at, 8);
    name = name.substr(0, name.find('\0'));
    if (name == ".rsrc")
      header = at;
  }
  if (!header)
    return std::nullopt;
  const std::uint32_t va = Get32(f, *header + 12), rawSize = Get32(f, *header + 16);
  const std::uint64_t base = Get32(f, *header + 20);
  // Everything read or copied lies in the section's raw data and in the file.
  auto in = [&](std::uint64_t off, std::uint64_t n) {
    return fits(base + off, n) && off <= rawSize && n <= rawSize - off;
  };
  auto u16 = [&](std::uint64_t off) { return Get16(f, base + off); };
  auto u32 = [&](std::uint64_t off) { return Get32(f, base + off); };

  std::uint64_t dir = 0;
  if (!in(dir, 16))
    return std::nullopt;
  // Type level: the first named entry spelling `type` over its stored length.
  {
    const unsigned named = u16(dir + 12), total = named + u16(dir + 14);
    if (total == 0 || !in(dir + 16, 8ull * total))
      return std::nullopt;
    std::optional<std::uint32_t> child;
    for (unsigned i = 0; i < named && !child; ++i) {
      const std::uint32_t nameField = u32(dir + 16 + 8 * i);
      if (!(nameField & 0x80000000u))
        continue;
      const std::uint64_t s = nameField & 0x7FFFFFFFu;
      if (!in(s, 2))
        return std::nullopt;
      const std::wstring& wanted = type;
      bool match = true;
      for (unsigned k = 0; k < u16(s); ++k) {
        if (!in(s + 2 + 2 * k, 2))
          return std::nullopt;
        const wchar_t stored = u16(s + 2 + 2 * k);
        const wchar_t w = k < wanted.size() ? wanted[k] : 0;
        if (stored != w) {
          match = false;
          break;
        }
        if (stored == 0)
          break;
      }
      if (match)
        child = u32(dir + 20 + 8 * i);
    }
    if (!child || !(*child & 0x80000000u) || !in(*child & 0x7FFFFFFFu, 16))
      return std::nullopt;
    dir = *child & 0x7FFFFFFFu;
  }
  // Name level: the first id entry equal to `id`.
  {
    const unsigned named = u16(dir + 12), total = named + u16(dir + 14);
    if (total == 0 || !in(dir + 16, 8ull * total))
      return std::nullopt;
    std::optional<std::uint32_t> child;
    for (unsigned i = named; i < total && !child; ++i) {
      const std::uint32_t nameField = u32(dir + 16 + 8 * i);
      if (!(nameField & 0x80000000u) && (nameField & 0xFFFF) == id)
        child = u32(dir + 20 + 8 * i);
    }
    if (!child || !(*child & 0x80000000u) || !in(*child & 0x7FFFFFFFu, 16))
      return std::nullopt;
    dir = *child & 0x7FFFFFFFu;
  }
  // Language level: exactly one entry, a data entry.
  if (u16(dir + 12) + u16(dir + 14) != 1 || !in(dir + 16, 8))
    return std::nullopt;
  const std::uint32_t data = u32(dir + 20);
  if ((data & 0x80000000u) || !in(data, 16))
    return std::nullopt;
  const std::uint32_t rva = u32(data), size = u32(data + 4);
  if (rva < va || rva - va >= rawSize || size > rawSize - (rva - va))
    return std::nullopt;
  const std::uint64_t position = base + (rva - va);
  if (position > 0xFFFFFFFFu)
    return std::nullopt;
  if (!fits(position, size))  // even an empty range may not start past the end
    return std::nullopt;
  return f.substr(position, size);
}

struct Rng {
  std::uint64_t state;
  std::uint32_t Next() {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<std::uint32_t>(state >> 33);
  }
  std::uint32_t Below(std::uint32_t n) { return Next() % n; }
};

// Values that tend to sit on boundaries.
std::uint32_t EdgeValue(Rng& rng, std::uint32_t original) {
  const std::uint32_t values[] = {0,
                                  1,
                                  2,
                                  0x7FFFFFFF,
                                  0x80000000,
                                  0xFFFFFFFF,
                                  0x80000010,
                                  original + 1,
                                  original - 1,
                                  original ^ 0x80000000u,
                                  0xFFFF,
                                  0x10000};
  return values[rng.Below(sizeof(values) / sizeof(values[0]))];
}

TEST(MutationTest, DamagedImagesNeverCrashOrLie) {
  const char* setting = std::getenv("ULVERANE_MUTATIONS");
  const unsigned count = setting != nullptr ? static_cast<unsigned>(std::atoi(setting)) : 2000;
  TempFolder folder;
  const std::map<std::uint32_t, std::string> payload = {
      {132, Pattern(40, 2)}, {135, Pattern(3000, 3)}, {144, Pattern(1, 4)}};
  PeWriter writer;
  writer.AddSection(".text", Pattern(64, 1))
      .AddResources({Bin(132, payload.at(132)), Bin(135, payload.at(135)),
                     Bin(144, payload.at(144)), Resource{{L"TXT"}, {L"", 157}, 2057, "text"},
                     Resource{{L"", 16}, {L"", 1}, 2057, Pattern(50, 5)}})
      .AddSection(".reloc", Pattern(700, 6));
  const std::string original = writer.Build();
  const std::size_t sectionTable = writer.sectionTableOffset;
  const std::size_t resources = writer.sectionOffsets[writer.resourceSection];
  const std::size_t directoryEnd = resources + writer.labels.at("blob:BIN/#132/2057");
  const std::set<std::string> allowed = {"Image loading failed",
                                         "ResourceSection::ResourceSection",
                                         "ResourceDir::ResourceDir",
                                         "ResourceDir::GetFirstEntry",
                                         "ResourceDir::GetChildWithName",
                                         "ResourceDir::GetChildWithId",
                                         "ResourceDir::GetResourceData",
                                         "ResourceSection::RvaToFilePosition",
                                         "ReadFile failed",
                                         "SetFilePointerEx failed",
                                         "Payload check failed"};
  const std::uint32_t ids[] = {132, 135, 144};

  Rng rng{20261208};
  unsigned succeeded = 0, failed = 0;
  for (unsigned n = 0; n < count; ++n) {
    std::string image = original;
    const unsigned kind = rng.Below(10);
    const unsigned edits = 1 + rng.Below(3);
    for (unsigned e = 0; e < edits; ++e) {
      if (kind < 4) {  // flip bits in the section table or the directory
        const bool table = rng.Below(3) == 0;
        const std::size_t at =
            table ? sectionTable + rng.Below(80)
                  : resources + rng.Below(static_cast<std::uint32_t>(directoryEnd - resources));
        image[at] = static_cast<char>(image[at] ^ (1u << rng.Below(8)));
      } else if (kind < 8) {  // set a 16- or 32-bit field to an edge value
        const std::size_t at =
            (rng.Below(4) == 0
                 ? sectionTable + 4 * rng.Below(20)
                 : resources +
                       4 * rng.Below(static_cast<std::uint32_t>((directoryEnd - resources) / 4)));
        if (rng.Below(2) == 0)
          Put32(image, at, EdgeValue(rng, Get32(image, at)));
        else
          Put16(image, at, static_cast<std::uint16_t>(EdgeValue(rng, Get16(image, at))));
      } else {  // cut the file short
        image.resize(rng.Below(static_cast<std::uint32_t>(image.size())));
        break;
      }
    }
    const std::uint32_t id = ids[rng.Below(3)];
    WriteBytes(folder / L"image.exe", image);
    const std::wstring target = folder / L"target";
    DeleteFileW(target.c_str());
    std::string message;
    try {
      ExecutableImage loaded(folder.path(), L"image.exe");
      loaded.ExtractResource(id, target);
    } catch (const std::runtime_error& error) {
      message = error.what();
    }
    const std::optional<std::string> expected = Expected(image, L"BIN", id);
    if (message.empty()) {
      ++succeeded;
      ASSERT_TRUE(expected.has_value()) << "variant " << n << " extracted what it should not";
      ASSERT_EQ(ReadBytes(target), *expected) << "variant " << n;
      ASSERT_EQ(*expected, payload.at(id)) << "variant " << n << " passed a changed resource";
    } else {
      ++failed;
      ASSERT_EQ(allowed.count(message), 1u) << "variant " << n << ": " << message;
      ASSERT_FALSE(Exists(target)) << "variant " << n << " left a target after " << message;
      // The loader may reject what the reader would take, and the table what
      // the tree leads to; a damaged tree fails only where the resource or
      // the table cannot be reached.
      if (message != "Image loading failed" && message != "Payload check failed") {
        ASSERT_FALSE(expected && Expected(image, kChecksumType, kChecksumTableId))
            << "variant " << n << " failed with " << message;
      }
    }
  }
  std::printf("%u variants: %u extracted, %u rejected\n", count, succeeded, failed);
  EXPECT_GT(succeeded, count / 20);
  EXPECT_GT(failed, count / 4);
}

}  // namespace
}  // namespace ulverane::testing
