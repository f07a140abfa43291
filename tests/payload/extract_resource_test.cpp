#include <windows.h>

#include <gtest/gtest.h>

#include <functional>

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

struct Damage {
  const char* what;
  std::function<void(std::string& image, PeWriter& layout)> apply;
  std::uint32_t id;
  const char* message;  // "" for a successful extraction of `expected`
  std::string expected;
};

std::size_t At(PeWriter& w, const std::string& label) {
  return w.sectionOffsets[w.resourceSection] + w.labels.at(label);
}
std::size_t SectionField(PeWriter& w, std::size_t field) {
  return w.sectionTableOffset + 40 * w.resourceSection + field;
}

TEST_F(ExtractResourceTest, MalformedImagesRaiseTheReadersMessages) {
  const std::vector<Resource> tree = {Bin(134, "the config"), Bin(135, "the package"),
                                      Resource{{L"TXT"}, {L"", 157}, 2057, "text"},
                                      Resource{{L"", 16}, {L"", 1}, 2057, "version"}};
  const Damage cases[] = {
      {"intact", [](std::string&, PeWriter&) {}, 135, "", "the package"},
      {"no such id", [](std::string&, PeWriter&) {}, 157, "ResourceDir::GetChildWithId"},
      {"id above 16 bits", [](std::string&, PeWriter&) {}, 0x10000 + 135,
       "ResourceDir::GetChildWithId"},
      {"no sections", [](std::string& i, PeWriter&) { Put16(i, 0x46, 0); }, 135,
       "ResourceSection::ResourceSection"},
      {"section renamed .rsrc2", [](std::string& i, PeWriter& w) { i[SectionField(w, 5)] = '2'; },
       135, "ResourceSection::ResourceSection"},
      {"section renamed .rsr", [](std::string& i, PeWriter& w) { i[SectionField(w, 4)] = '\0'; },
       135, "ResourceSection::ResourceSection"},
      {"section renamed .RSRC",
       [](std::string& i, PeWriter& w) { i.replace(SectionField(w, 0), 5, ".RSRC"); }, 135,
       "ResourceSection::ResourceSection"},
      {"section table past the end", [](std::string& i, PeWriter&) { Put16(i, 0x46, 0xFFFF); }, 135,
       "ResourceSection::ResourceSection"},
      {"raw data past the end",
       [](std::string& i, PeWriter& w) { Put32(i, SectionField(w, 20), 0x7FFFFFF0); }, 135,
       "ResourceDir::ResourceDir"},
      {"empty root", [](std::string& i, PeWriter& w) { Put32(i, At(w, "root") + 12, 0); }, 135,
       "ResourceDir::GetFirstEntry"},
      {"root entries past the end",
       [](std::string& i, PeWriter& w) { Put16(i, At(w, "root") + 14, 0xFFFF); }, 135,
       "ResourceDir::GetFirstEntry"},
      {"type name in lower case",
       [](std::string& i, PeWriter& w) { Put16(i, At(w, "string:BIN") + 2, 'b'); }, 135,
       "ResourceDir::GetChildWithName"},
      {"type name longer than BIN",
       [](std::string& i, PeWriter& w) { Put16(i, At(w, "string:BIN"), 4); }, 135,
       "ResourceDir::GetChildWithName"},
      {"type name a prefix of BIN",
       [](std::string& i, PeWriter& w) { Put16(i, At(w, "string:BIN"), 2); }, 135, "",
       "the package"},
      {"type name of length 0",
       [](std::string& i, PeWriter& w) { Put16(i, At(w, "string:BIN"), 0); }, 135, "",
       "the package"},
      {"type name past the end",
       [](std::string& i, PeWriter& w) { Put32(i, At(w, "root") + 16, 0xFFFFFFF0); }, 135,
       "ResourceDir::GetChildWithName"},
      {"named entry without its name bit",
       [](std::string& i, PeWriter& w) { Put32(i, At(w, "root") + 16, w.labels.at("string:BIN")); },
       135, "ResourceDir::GetChildWithName"},
      {"no named types", [](std::string& i, PeWriter& w) { Put16(i, At(w, "root") + 12, 0); }, 135,
       "ResourceDir::GetChildWithName"},
      {"type points at a data entry",
       [](std::string& i, PeWriter& w) {
         Put32(i, At(w, "root") + 20, w.labels.at("data:BIN/#135/2057"));
       },
       135, "ResourceDir::ResourceDir"},
      {"type directory past the end",
       [](std::string& i, PeWriter& w) { Put32(i, At(w, "root") + 20, 0xFFFFFFF0); }, 135,
       "ResourceDir::ResourceDir"},
      {"empty BIN directory",
       [](std::string& i, PeWriter& w) { Put32(i, At(w, "dir:BIN") + 12, 0); }, 135,
       "ResourceDir::GetFirstEntry"},
      {"id entry with its name bit",
       [](std::string& i, PeWriter& w) { Put32(i, At(w, "dir:BIN") + 24, 0x80000000u | 135); }, 135,
       "ResourceDir::GetChildWithId"},
      {"first of two equal ids wins",
       [](std::string& i, PeWriter& w) { Put16(i, At(w, "dir:BIN") + 16, 135); }, 135, "",
       "the config"},
      {"id points at a data entry",
       [](std::string& i, PeWriter& w) {
         Put32(i, At(w, "dir:BIN") + 28, w.labels.at("data:BIN/#135/2057"));
       },
       135, "ResourceDir::ResourceDir"},
      {"two languages",
       [](std::string& i, PeWriter& w) { Put16(i, At(w, "dir:BIN/#135") + 12, 1); }, 135,
       "ResourceDir::GetResourceData"},
      {"no language", [](std::string& i, PeWriter& w) { Put16(i, At(w, "dir:BIN/#135") + 14, 0); },
       135, "ResourceDir::GetResourceData"},
      {"language is a directory",
       [](std::string& i, PeWriter& w) { Put32(i, At(w, "dir:BIN/#135") + 20, 0x80000000u); }, 135,
       "ResourceDir::GetResourceData"},
      {"data entry past the end",
       [](std::string& i, PeWriter& w) { Put32(i, At(w, "dir:BIN/#135") + 20, 0x7FFFFFF8); }, 135,
       "ResourceDir::GetResourceData"},
      {"any language will do",
       [](std::string& i, PeWriter& w) { Put32(i, At(w, "dir:BIN/#135") + 16, 1033); }, 135, "",
       "the package"},
      {"data below the section",
       [](std::string& i, PeWriter& w) {
         Put32(i, At(w, "data:BIN/#135/2057"), w.sectionRvas[w.resourceSection] - 1);
       },
       135, "ResourceSection::RvaToFilePosition"},
      {"data at the section's end",
       [](std::string& i, PeWriter& w) {
         Put32(i, At(w, "data:BIN/#135/2057"),
               w.sectionRvas[w.resourceSection] + Get32(i, SectionField(w, 16)));
       },
       135, "ResourceSection::RvaToFilePosition"},
      {"data running past the end of the file",
       [](std::string& i, PeWriter& w) { Put32(i, At(w, "data:BIN/#135/2057") + 4, 0x100000); },
       135, "ReadFile failed"},
      {"file cut inside the data",
       [](std::string& i, PeWriter& w) { i.resize(At(w, "blob:BIN/#135/2057") + 4); }, 135,
       "ReadFile failed"},
  };
  const std::wstring target = folder_ / L"target";
  std::string expectedLog;
  for (const Damage& c : cases) {
    PeWriter writer;
    writer.AddSection(".text", "code").AddResources(tree);
    std::string image = writer.Build();
    c.apply(image, writer);
    const std::wstring name = WriteImage(image);
    DeleteFileW(target.c_str());
    EXPECT_EQ(Extract(name, c.id, target), c.message) << c.what;
    if (*c.message == '\0') {
      EXPECT_EQ(ReadBytes(target), c.expected) << c.what;
    } else {
      EXPECT_FALSE(Exists(target)) << c.what << ": no target, whole or partial";
    }
  }
  EXPECT_EQ(Log(), "");
}

TEST_F(ExtractResourceTest, LastResourceSectionWins) {
  PeWriter writer;
  writer.AddResources({Bin(135, "first")}).AddResources({Bin(135, "second")});
  EXPECT_EQ(Extract(WriteImage(writer.Build()), 135, folder_ / L"t"), "");
  EXPECT_EQ(ReadBytes(folder_ / L"t"), "second");
}

TEST_F(ExtractResourceTest, FailureBeforeTheCopyLeavesAnExistingTargetAlone) {
  const std::wstring name = WriteImage(PeWriter().AddResources({Bin(135, "package")}).Build());
  const std::wstring target = folder_ / L"target";
  WriteBytes(target, "precious");
  EXPECT_EQ(Extract(name, 136, target), "ResourceDir::GetChildWithId");
  EXPECT_EQ(ReadBytes(target), "precious");
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
