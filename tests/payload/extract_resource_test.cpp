#include <windows.h>

#include <gtest/gtest.h>

#include "damage_cases.h"
#include "image_fixture.h"

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
