#include "tests/support/pe_writer.h"

#include <algorithm>
#include <stdexcept>

#include "payload/checksum_table.h"

namespace ulverane::testing {
namespace {

constexpr std::uint32_t kSectionAlignment = 0x1000;
constexpr std::uint32_t kFileAlignment = 0x200;
constexpr std::size_t kPeOffset = 0x40;
constexpr std::size_t kOptionalHeaderSize = 224;

std::size_t AlignUp(std::size_t value, std::size_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

bool SameKey(const ResourceKey& a, const ResourceKey& b) {
  return a.name == b.name && (a.name.empty() ? a.id == b.id : true);
}

// Keys of one level in order: named ones first, each kept in first-seen order.
std::vector<ResourceKey> Keys(const std::vector<const Resource*>& items,
                              ResourceKey Resource::*member) {
  std::vector<ResourceKey> named, ids;
  for (const Resource* item : items) {
    const ResourceKey& key = item->*member;
    auto& list = key.name.empty() ? ids : named;
    if (std::none_of(list.begin(), list.end(),
                     [&](const ResourceKey& k) { return SameKey(k, key); }))
      list.push_back(key);
  }
  named.insert(named.end(), ids.begin(), ids.end());
  return named;
}

}  // namespace

std::string KeyLabel(const ResourceKey& key) {
  if (!key.name.empty())
    return std::string(key.name.begin(), key.name.end());
  return "#" + std::to_string(key.id);
}

void Put16(std::string& bytes, std::size_t offset, std::uint16_t value) {
  bytes.at(offset) = static_cast<char>(value & 0xFF);
  bytes.at(offset + 1) = static_cast<char>(value >> 8);
}

void Put32(std::string& bytes, std::size_t offset, std::uint32_t value) {
  Put16(bytes, offset, static_cast<std::uint16_t>(value & 0xFFFF));
  Put16(bytes, offset + 2, static_cast<std::uint16_t>(value >> 16));
}

std::uint16_t Get16(const std::string& bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes.at(offset)) |
                                    static_cast<unsigned char>(bytes.at(offset + 1)) << 8);
}

std::uint32_t Get32(const std::string& bytes, std::size_t offset) {
  return Get16(bytes, offset) | static_cast<std::uint32_t>(Get16(bytes, offset + 2)) << 16;
}

std::uint32_t ReferenceCrc32c(const std::string& bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (const char c : bytes) {
    crc ^= static_cast<unsigned char>(c);
    for (int bit = 0; bit < 8; ++bit)
      crc = crc & 1u ? (crc >> 1) ^ 0x82F63B78u : crc >> 1;
  }
  return ~crc;
}

PeWriter& PeWriter::AddResources(const std::vector<Resource>& resources,
                                 const std::string& name,
                                 bool checksums) {
  std::vector<Resource> all = resources;
  if (checksums) {
    std::string table = "C32C";
    table.resize(8);
    std::uint32_t count = 0;
    for (const Resource& r : resources) {
      if (r.type.name != L"BIN")
        continue;
      table.resize(table.size() + 12);
      Put32(table, table.size() - 12, r.name.id);
      Put32(table, table.size() - 8, static_cast<std::uint32_t>(r.data.size()));
      Put32(table, table.size() - 4, ReferenceCrc32c(r.data));
      ++count;
    }
    Put32(table, 4, count);
    all.push_back(Resource{{kChecksumType}, {L"", kChecksumTableId}, 2057, table});
  }
  sections_.push_back(Section{name, std::string(), all, true});
  return *this;
}

void PeWriter::Reseal(std::string& image, std::uint32_t id, const std::string& bytes) const {
  const std::string label =
      "blob:" + KeyLabel({kChecksumType}) + "/#" + std::to_string(kChecksumTableId) + "/2057";
  const std::size_t table = sectionOffsets[resourceSection] + labels.at(label);
  for (std::uint32_t i = 0; i < Get32(image, table + 4); ++i) {
    const std::size_t entry = table + 8 + 12 * i;
    if (Get32(image, entry) == id) {
      Put32(image, entry + 4, static_cast<std::uint32_t>(bytes.size()));
      Put32(image, entry + 8, ReferenceCrc32c(bytes));
    }
  }
}

PeWriter& PeWriter::AddSection(const std::string& name, const std::string& raw) {
  sections_.push_back(Section{name, raw, {}, false});
  return *this;
}

std::string PeWriter::BuildResources(const std::vector<Resource>& resources, std::uint32_t rva) {
  labels.clear();
  std::vector<const Resource*> all;
  for (const Resource& r : resources)
    all.push_back(&r);

  // Directories: root, then one per type, one per (type, name); languages are
  // the entries of the name directories.
  const std::vector<ResourceKey> types = Keys(all, &Resource::type);
  struct NameDir {
    std::string label;
    std::vector<const Resource*> languages;
  };
  std::vector<std::vector<ResourceKey>> namesByType;
  std::vector<NameDir> nameDirs;
  for (const ResourceKey& type : types) {
    std::vector<const Resource*> ofType;
    for (const Resource* r : all)
      if (SameKey(r->type, type))
        ofType.push_back(r);
    namesByType.push_back(Keys(ofType, &Resource::name));
    for (const ResourceKey& name : namesByType.back()) {
      NameDir dir{KeyLabel(type) + "/" + KeyLabel(name), {}};
      for (const Resource* r : ofType)
        if (SameKey(r->name, name))
          dir.languages.push_back(r);
      nameDirs.push_back(dir);
    }
  }

  auto dirSize = [](std::size_t entries) { return 16 + 8 * entries; };
  std::size_t offset = 0;
  labels["root"] = offset;
  offset += dirSize(types.size());
  for (std::size_t t = 0; t < types.size(); ++t) {
    labels["dir:" + KeyLabel(types[t])] = offset;
    offset += dirSize(namesByType[t].size());
  }
  for (const NameDir& dir : nameDirs) {
    labels["dir:" + dir.label] = offset;
    offset += dirSize(dir.languages.size());
  }
  for (const NameDir& dir : nameDirs)
    for (const Resource* r : dir.languages) {
      labels["data:" + dir.label + "/" + std::to_string(r->language)] = offset;
      offset += 16;
    }
  std::vector<ResourceKey> strings;
  for (const ResourceKey& type : types)
    if (!type.name.empty())
      strings.push_back(type);
  for (const auto& names : namesByType)
    for (const ResourceKey& name : names)
      if (!name.name.empty() && labels.count("string:" + KeyLabel(name)) == 0)
        strings.push_back(name);
  for (const ResourceKey& key : strings) {
    if (labels.count("string:" + KeyLabel(key)))
      continue;
    labels["string:" + KeyLabel(key)] = offset;
    offset += 2 + 2 * key.name.size();
  }
  // The checksum table's bytes first, so that damage to the end of the file
  // reaches the payload before it.
  const std::string tableLabel = KeyLabel({kChecksumType}) + "/";
  std::vector<const NameDir*> blobOrder;
  for (const NameDir& dir : nameDirs)
    blobOrder.push_back(&dir);
  std::stable_partition(blobOrder.begin(), blobOrder.end(), [&](const NameDir* dir) {
    return dir->label.compare(0, tableLabel.size(), tableLabel) == 0;
  });
  for (const NameDir* dir : blobOrder)
    for (const Resource* r : dir->languages) {
      offset = AlignUp(offset, 8);
      labels["blob:" + dir->label + "/" + std::to_string(r->language)] = offset;
      offset += r->data.size();
    }

  std::string raw(offset, '\0');
  auto writeDir = [&](std::size_t at, const std::vector<ResourceKey>& keys) {
    std::size_t named = 0;
    for (const ResourceKey& k : keys)
      named += k.name.empty() ? 0 : 1;
    Put16(raw, at + 12, static_cast<std::uint16_t>(named));
    Put16(raw, at + 14, static_cast<std::uint16_t>(keys.size() - named));
  };
  auto writeEntry = [&](std::size_t at, const ResourceKey& key, std::uint32_t target) {
    Put32(raw, at,
          key.name.empty() ? key.id : (0x80000000u | labels.at("string:" + KeyLabel(key))));
    Put32(raw, at + 4, target);
  };

  writeDir(0, types);
  for (std::size_t t = 0; t < types.size(); ++t) {
    const std::string typeLabel = KeyLabel(types[t]);
    writeEntry(16 + 8 * t, types[t], 0x80000000u | labels.at("dir:" + typeLabel));
    const std::size_t typeDir = labels.at("dir:" + typeLabel);
    writeDir(typeDir, namesByType[t]);
    for (std::size_t n = 0; n < namesByType[t].size(); ++n) {
      const std::string nameLabel = typeLabel + "/" + KeyLabel(namesByType[t][n]);
      writeEntry(typeDir + 16 + 8 * n, namesByType[t][n],
                 0x80000000u | labels.at("dir:" + nameLabel));
    }
  }
  for (const NameDir& dir : nameDirs) {
    const std::size_t at = labels.at("dir:" + dir.label);
    Put16(raw, at + 14, static_cast<std::uint16_t>(dir.languages.size()));
    for (std::size_t l = 0; l < dir.languages.size(); ++l) {
      const Resource* r = dir.languages[l];
      const std::string suffix = dir.label + "/" + std::to_string(r->language);
      Put32(raw, at + 16 + 8 * l, r->language);
      Put32(raw, at + 20 + 8 * l, static_cast<std::uint32_t>(labels.at("data:" + suffix)));
      const std::size_t data = labels.at("data:" + suffix);
      const std::size_t blob = labels.at("blob:" + suffix);
      Put32(raw, data, rva + static_cast<std::uint32_t>(blob));
      Put32(raw, data + 4, static_cast<std::uint32_t>(r->data.size()));
      raw.replace(blob, r->data.size(), r->data);
    }
  }
  for (const ResourceKey& key : strings) {
    const std::size_t at = labels.at("string:" + KeyLabel(key));
    Put16(raw, at, static_cast<std::uint16_t>(key.name.size()));
    for (std::size_t i = 0; i < key.name.size(); ++i)
      Put16(raw, at + 2 + 2 * i, static_cast<std::uint16_t>(key.name[i]));
  }
  return raw;
}

std::string PeWriter::Build() {
  const std::size_t headersEnd = kPeOffset + 4 + 20 + kOptionalHeaderSize + 40 * sections_.size();
  std::size_t fileOffset = AlignUp(headersEnd, kFileAlignment);
  std::uint32_t rva = kSectionAlignment;
  sectionOffsets.clear();
  sectionRvas.clear();
  std::vector<std::string> raws;
  for (std::size_t i = 0; i < sections_.size(); ++i) {
    Section& s = sections_[i];
    if (s.isResource) {
      s.raw = BuildResources(s.resources, rva);
      resourceSection = i;
    }
    sectionOffsets.push_back(fileOffset);
    sectionRvas.push_back(rva);
    raws.push_back(s.raw);
    raws.back().resize(AlignUp(s.raw.size(), kFileAlignment), '\0');
    fileOffset += raws.back().size();
    rva += static_cast<std::uint32_t>(
        AlignUp(std::max<std::size_t>(s.raw.size(), 1), kSectionAlignment));
  }

  std::string image(
      sectionOffsets.empty() ? AlignUp(headersEnd, kFileAlignment) : sectionOffsets[0], '\0');
  image[0] = 'M';
  image[1] = 'Z';
  Put32(image, 0x3C, kPeOffset);
  image.replace(kPeOffset, 4, std::string("PE\0\0", 4));
  const std::size_t fileHeader = kPeOffset + 4;
  Put16(image, fileHeader, 0x014C);  // i386
  Put16(image, fileHeader + 2, static_cast<std::uint16_t>(sections_.size()));
  Put16(image, fileHeader + 16, kOptionalHeaderSize);
  Put16(image, fileHeader + 18, 0x0102);  // executable, 32-bit
  const std::size_t optional = fileHeader + 20;
  Put16(image, optional, 0x010B);
  Put32(image, optional + 28, 0x400000);  // ImageBase
  Put32(image, optional + 32, kSectionAlignment);
  Put32(image, optional + 36, kFileAlignment);
  Put16(image, optional + 40, 6);    // OS version
  Put16(image, optional + 48, 6);    // subsystem version
  Put32(image, optional + 56, rva);  // SizeOfImage
  Put32(image, optional + 60, static_cast<std::uint32_t>(AlignUp(headersEnd, kFileAlignment)));
  Put16(image, optional + 68, 2);   // GUI
  Put32(image, optional + 92, 16);  // NumberOfRvaAndSizes
  if (!sections_.empty() && sections_[resourceSection].isResource) {
    Put32(image, optional + 96 + 2 * 8, sectionRvas[resourceSection]);
    Put32(image, optional + 100 + 2 * 8,
          static_cast<std::uint32_t>(sections_[resourceSection].raw.size()));
  }
  sectionTableOffset = optional + kOptionalHeaderSize;
  for (std::size_t i = 0; i < sections_.size(); ++i) {
    const std::size_t at = sectionTableOffset + 40 * i;
    image.replace(at, std::min<std::size_t>(8, sections_[i].name.size()),
                  sections_[i].name.substr(0, 8));
    Put32(image, at + 8, static_cast<std::uint32_t>(sections_[i].raw.size()));  // VirtualSize
    Put32(image, at + 12, sectionRvas[i]);
    Put32(image, at + 16, static_cast<std::uint32_t>(raws[i].size()));
    Put32(image, at + 20, static_cast<std::uint32_t>(sectionOffsets[i]));
    Put32(image, at + 36, 0x40000040);  // initialised data, readable
  }
  for (const std::string& raw : raws)
    image += raw;
  return image;
}

}  // namespace ulverane::testing
