#include <windows.h>

#include <gtest/gtest.h>

#include "damage_cases.h"
#include "image_fixture.h"
#include "payload/checksum_table.h"

namespace ulverane::testing {
namespace {

constexpr std::size_t kMiB = 1024 * 1024;

using ExtractResourceTest = ImageFixture;

// A tree like the product's: named types first, standard id types after,
// other languages elsewhere.
std::vector<Resource> TypicalTree() {
  return {
      Bin(132, Pattern(5000, 1)),
      Bin(135, Pattern(3 * kMiB + 17, 2)),
      Bin(136, ""),
      Bin(137, Pattern(kMiB, 3)),
      Bin(138, Pattern(kMiB + 1, 4)),
      Resource{{L"TXT"}, {L"", 157}, 2057, "agreement"},
      Resource{{L""}, {L"", 1}, 1033, Pattern(300, 5)},  // an id type (say, RT_CURSOR)
      Resource{{L"BINARY"}, {L"", 135}, 1033, "not this one"},
  };
}

TEST_F(ExtractResourceTest, CopiesEveryResourceByteForByte) {
  PeWriter writer;
  writer.AddSection(".text", Pattern(700, 9)).AddResources(TypicalTree());
  const std::wstring name = WriteImage(writer.Build());
  ExecutableImage image(folder_.path(), name);
  // Out of order and repeated: each call seeks afresh.
  for (const std::uint16_t id : {138, 132, 135, 136, 137, 132}) {
    const std::wstring target = folder_ / (L"out" + std::to_wstring(id));
    image.ExtractResource(id, target);
    for (const Resource& r : TypicalTree())
      if (r.type.name == L"BIN" && r.name.id == id) {
        EXPECT_EQ(ReadBytes(target), r.data) << id;
      }
  }
}

TEST_F(ExtractResourceTest, ReplacesAnExistingTarget) {
  const std::wstring name = WriteImage(PeWriter().AddResources({Bin(133, "new")}).Build());
  const std::wstring target = folder_ / L"target";
  WriteBytes(target, Pattern(10000, 1));
  EXPECT_EQ(Extract(name, 133, target), "");
  EXPECT_EQ(ReadBytes(target), "new");
}

TEST_F(ExtractResourceTest, MalformedImagesRaiseTheReadersMessages) {
  const std::wstring target = folder_ / L"target";
  for (const Damage& c : DamageCases()) {
    const std::wstring name = WriteImage(DamagedImage(c));
    // Every failure comes before the target is opened, which would empty it.
    WriteBytes(target, "precious");
    EXPECT_EQ(Extract(name, c.id, target), c.message) << c.what;
    const std::string left = Exists(target) ? ReadBytes(target) : "(deleted)";
    EXPECT_EQ(left, *c.message == '\0' ? c.expected : "precious") << c.what;
  }
  EXPECT_EQ(Log(), "CRC-32C table missing\n");
}

std::string Le32(std::uint32_t value) {
  std::string bytes(4, '\0');
  Put32(bytes, 0, value);
  return bytes;
}

// The entry for `data`, its size off by `sizeChange`.
std::string Entry(std::uint32_t id, const std::string& data, int sizeChange = 0) {
  return Le32(id) + Le32(static_cast<std::uint32_t>(static_cast<int>(data.size()) + sizeChange)) +
         Le32(ReferenceCrc32c(data));
}

std::string Table(std::uint32_t count, const std::vector<std::string>& entries) {
  std::string table = "C32C" + Le32(count);
  for (const std::string& entry : entries)
    table += entry;
  return table;
}

// The table that the build writes, and every way in which a table can differ
// from one the build could have written: those are "malformed", whichever
// file is asked for. A wrong CRC alone is a mismatch.
TEST_F(ExtractResourceTest, ChecksumTableIsTakenOnlyAsTheBuildWritesIt) {
  const std::string config = "the config";
  const std::string package = "the package";
  const std::string first = Entry(134, config);
  const std::string second = Entry(135, package);
  const std::string whole = Table(2, {first, second});
  constexpr char kMalformed[] = "CRC-32C table malformed\n";
  struct Case {
    const char* what;
    std::string table;
    const char* log;  // "" for a successful extraction
  };
  const Case cases[] = {
      {"as the build writes it", whole, ""},
      {"in another order", Table(2, {second, first}), ""},
      {"naming a file the image lacks", Table(3, {first, second, Entry(140, "absent")}), ""},
      {"a wrong CRC", Table(2, {first, Entry(135, package + "!", -1)}),
       "CRC-32C mismatch: BIN 135\n"},
      {"a size one more than the resource's", Table(2, {first, Entry(135, package, 1)}),
       kMalformed},
      {"a size one less than the resource's", Table(2, {first, Entry(135, package, -1)}),
       kMalformed},
      {"a size of 0", Table(2, {first, Entry(135, package, -static_cast<int>(package.size()))}),
       kMalformed},
      {"not naming the file", Table(1, {first}), kMalformed},
      {"no entries", Table(0, {}), kMalformed},
      {"a count one more than the entries", Table(3, {first, second}), kMalformed},
      {"a count one less than the entries", Table(1, {first, second}), kMalformed},
      {"a count of 0 before entries", Table(0, {first, second}), kMalformed},
      {"a count of 2^32 - 1", Table(0xFFFFFFFFu, {first, second}), kMalformed},
      // 8 + 12 * count wraps to the length in 32 bits.
      {"a count that wraps to the length", Table(0x40000002u, {first, second}), kMalformed},
      {"a byte appended", whole + '\0', kMalformed},
      {"four bytes appended", whole + Le32(0), kMalformed},
      {"an entry of zeros appended", whole + std::string(12, '\0'), kMalformed},
      {"a copy of an entry appended", whole + first, kMalformed},
      {"a byte cut off", whole.substr(0, whole.size() - 1), kMalformed},
      {"the header cut short", "C32C", kMalformed},
      {"empty", "", kMalformed},
      {"another tag", "C32c" + whole.substr(4), kMalformed},
      {"the file named twice", Table(3, {first, second, second}), kMalformed},
      {"another file named twice", Table(3, {first, second, first}), kMalformed},
      {"an id above 16 bits", Table(3, {first, second, Entry(0x10000 + 134, config)}), kMalformed},
  };
  const std::wstring target = folder_ / L"target";
  for (const Case& c : cases) {
    PeWriter writer;
    writer.AddResources({Bin(134, config), Bin(135, package),
                         Resource{{kChecksumType}, {L"", kChecksumTableId}, 2057, c.table}},
                        ".rsrc", false);
    const std::wstring name = WriteImage(writer.Build());
    const std::string before = Log();
    DeleteFileW(target.c_str());
    EXPECT_EQ(Extract(name, 135, target), *c.log == '\0' ? "" : "Payload check failed") << c.what;
    EXPECT_EQ(Log().substr(before.size()), c.log) << c.what;
    EXPECT_EQ(Exists(target) ? ReadBytes(target) : "(none)", *c.log == '\0' ? package : "(none)")
        << c.what;
  }
}

TEST_F(ExtractResourceTest, LastResourceSectionWins) {
  PeWriter writer;
  writer.AddResources({Bin(135, "first")}).AddResources({Bin(135, "second")});
  EXPECT_EQ(Extract(WriteImage(writer.Build()), 135, folder_ / L"t"), "");
  EXPECT_EQ(ReadBytes(folder_ / L"t"), "second");
}

TEST_F(ExtractResourceTest, TargetThatCannotBeCreatedIsAnImageLoadingError) {
  const std::wstring name = WriteImage(PeWriter().AddResources({Bin(135, "package")}).Build());
  const std::wstring locked = folder_ / L"locked";
  WriteBytes(locked, "held");
  HANDLE holder = CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Extract(name, 135, locked), "Image loading failed");
  CloseHandle(holder);
  EXPECT_EQ(ReadBytes(locked), "held");
  EXPECT_EQ(Extract(name, 135, folder_ / L"no folder\\target"), "Image loading failed");
  EXPECT_EQ(Log(), "CreateFile failed\nCreateFile failed\n");
}

}  // namespace
}  // namespace ulverane::testing
