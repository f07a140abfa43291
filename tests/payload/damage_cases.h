#ifndef ULVERANE_TESTS_PAYLOAD_DAMAGE_CASES_H_
#define ULVERANE_TESTS_PAYLOAD_DAMAGE_CASES_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/pe_writer.h"

// Ways to damage a small image, each with what the resource reader must make
// of it. The Windows tests run them; the fuzz target's seed corpus holds them.
// Builds off Windows too.

namespace ulverane::testing {

struct Damage {
  const char* what;
  std::function<void(std::string& image, PeWriter& layout)> apply;
  std::uint32_t id;
  const char* message;  // "" for a successful extraction of `expected`
  std::string expected;
};

inline std::size_t At(PeWriter& w, const std::string& label) {
  return w.sectionOffsets[w.resourceSection] + w.labels.at(label);
}
inline std::size_t SectionField(PeWriter& w, std::size_t field) {
  return w.sectionTableOffset + 40 * w.resourceSection + field;
}
// A damage that writes `value` at `offset` into the tree's part `label`.
inline auto Put16At(const char* label, std::size_t offset, std::uint16_t value) {
  return [=](std::string& i, PeWriter& w) { Put16(i, At(w, label) + offset, value); };
}
inline auto Put32At(const char* label, std::size_t offset, std::uint32_t value) {
  return [=](std::string& i, PeWriter& w) { Put32(i, At(w, label) + offset, value); };
}

// The image that every case starts from. Another section follows the
// resources, as relocations or a signature do, so that the bounds of the
// section and of the file can be told apart.
inline PeWriter DamageLayout() {
  PeWriter writer;
  writer.AddSection(".text", "code")
      .AddResources({Resource{{L"BIN"}, {L"", 134}, 2057, "the config"},
                     Resource{{L"BIN"}, {L"", 135}, 2057, "the package"},
                     Resource{{L"TXT"}, {L"", 157}, 2057, "text"},
                     Resource{{L"", 16}, {L"", 1}, 2057, "version"}})
      .AddSection(".reloc", std::string(700, 'r'));
  return writer;
}

inline std::vector<Damage> DamageCases() {
  PeWriter layout = DamageLayout();
  const std::string intact = layout.Build();
  const std::uint32_t sectionSize = Get32(intact, SectionField(layout, 16));
  const std::uint32_t blob = static_cast<std::uint32_t>(layout.labels.at("blob:BIN/#135/2057"));
  // Bytes that end exactly at a bound are the resource's; one more is not.
  auto size = [](std::uint32_t value) { return Put32At("data:BIN/#135/2057", 4, value); };
  auto moveDataEntry = [](std::uint32_t to) {
    return [to](std::string& i, PeWriter& w) {
      i.replace(w.sectionOffsets[w.resourceSection] + to, 16,
                i.substr(At(w, "data:BIN/#135/2057"), 16));
      Put32(i, At(w, "dir:BIN/#135") + 20, to);
    };
  };
  return {
      {"data ending at the section's end", size(sectionSize - blob), 135, "",
       intact.substr(At(layout, "blob:BIN/#135/2057"), sectionSize - blob)},
      {"data ending one byte past the section", size(sectionSize - blob + 1), 135,
       "ResourceSection::RvaToFilePosition"},
      {"data entry ending at the section's end", moveDataEntry(sectionSize - 16), 135, "",
       "the package"},
      {"data entry ending one byte past the section", moveDataEntry(sectionSize - 15), 135,
       "ResourceDir::GetResourceData"},
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
      {"empty root", Put32At("root", 12, 0), 135, "ResourceDir::GetFirstEntry"},
      {"root entries past the end", Put16At("root", 14, 0xFFFF), 135, "ResourceDir::GetFirstEntry"},
      {"type name in lower case", Put16At("string:BIN", 2, 'b'), 135,
       "ResourceDir::GetChildWithName"},
      {"type name longer than BIN", Put16At("string:BIN", 0, 4), 135,
       "ResourceDir::GetChildWithName"},
      {"type name a prefix of BIN", Put16At("string:BIN", 0, 2), 135, "", "the package"},
      // A stored name of length 0 matches any wanted name: the checksum
      // table's type too, which then leads into "BIN".
      {"type name of length 0", Put16At("string:BIN", 0, 0), 135, "Payload check failed"},
      {"type name past the end", Put32At("root", 16, 0xFFFFFFF0), 135,
       "ResourceDir::GetChildWithName"},
      {"named entry without its name bit",
       [](std::string& i, PeWriter& w) { Put32(i, At(w, "root") + 16, w.labels.at("string:BIN")); },
       135, "ResourceDir::GetChildWithName"},
      {"no named types", Put16At("root", 12, 0), 135, "ResourceDir::GetChildWithName"},
      {"type points at a data entry",
       [](std::string& i, PeWriter& w) {
         Put32(i, At(w, "root") + 20, w.labels.at("data:BIN/#135/2057"));
       },
       135, "ResourceDir::ResourceDir"},
      {"type directory past the end", Put32At("root", 20, 0xFFFFFFF0), 135,
       "ResourceDir::ResourceDir"},
      {"empty BIN directory", Put32At("dir:BIN", 12, 0), 135, "ResourceDir::GetFirstEntry"},
      {"id entry with its name bit", Put32At("dir:BIN", 24, 0x80000000u | 135), 135,
       "ResourceDir::GetChildWithId"},
      {"first of two equal ids wins", Put16At("dir:BIN", 16, 135), 135, "", "the config"},
      {"id points at a data entry",
       [](std::string& i, PeWriter& w) {
         Put32(i, At(w, "dir:BIN") + 28, w.labels.at("data:BIN/#135/2057"));
       },
       135, "ResourceDir::ResourceDir"},
      {"two languages", Put16At("dir:BIN/#135", 12, 1), 135, "ResourceDir::GetResourceData"},
      {"no language", Put16At("dir:BIN/#135", 14, 0), 135, "ResourceDir::GetResourceData"},
      {"language is a directory", Put32At("dir:BIN/#135", 20, 0x80000000u), 135,
       "ResourceDir::GetResourceData"},
      {"data entry past the end", Put32At("dir:BIN/#135", 20, 0x7FFFFFF8), 135,
       "ResourceDir::GetResourceData"},
      {"any language will do", Put32At("dir:BIN/#135", 16, 1033), 135, "", "the package"},
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
      // Every byte of the range must lie in the file, checked before the copy.
      {"data running past the end of the file", Put32At("data:BIN/#135/2057", 4, 0x100000), 135,
       "ResourceSection::RvaToFilePosition"},
      {"data size of 4 GiB - 1", Put32At("data:BIN/#135/2057", 4, 0xFFFFFFFFu), 135,
       "ResourceSection::RvaToFilePosition"},
      {"file cut one byte inside the data",
       [](std::string& i, PeWriter& w) { i.resize(At(w, "blob:BIN/#135/2057") + 10); }, 135,
       "ResourceSection::RvaToFilePosition"},
      {"file cut right after the data",
       [](std::string& i, PeWriter& w) { i.resize(At(w, "blob:BIN/#135/2057") + 11); }, 135, "",
       "the package"},
      {"empty data at the end of the file",
       [](std::string& i, PeWriter& w) {
         Put32(i, At(w, "data:BIN/#135/2057") + 4, 0);
         i.resize(At(w, "blob:BIN/#135/2057"));
       },
       135, "", ""},
      {"empty data past the end of the file",
       [](std::string& i, PeWriter& w) {
         Put32(i, At(w, "data:BIN/#135/2057") + 4, 0);
         i.resize(At(w, "blob:BIN/#135/2057") - 1);
       },
       135, "ResourceSection::RvaToFilePosition"},
  };
}

// The image of `damage`: the intact one, damaged. These cases are about the
// tree, so the checksum table records what a case that succeeds extracts.
inline std::string DamagedImage(const Damage& damage) {
  PeWriter writer = DamageLayout();
  std::string image = writer.Build();
  damage.apply(image, writer);
  if (*damage.message == '\0')
    writer.Reseal(image, damage.id, damage.expected);
  return image;
}

}  // namespace ulverane::testing

#endif  // ULVERANE_TESTS_PAYLOAD_DAMAGE_CASES_H_
