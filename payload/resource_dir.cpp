#include "payload/resource_dir.h"

#include <cstring>
#include <stdexcept>

namespace ulverane {
namespace {

constexpr std::uint32_t kHighBit = 0x80000000u;

template <typename T>
T ReadAt(const std::uint8_t* base, std::uint64_t offset) {
  T value;
  std::memcpy(&value, base + offset, sizeof(T));
  return value;
}

}  // namespace

ResourceDir::ResourceDir(const std::uint8_t* sectionStart, std::size_t span)
    : sectionStart_(sectionStart), span_(span), offset_(0) {
  if (sectionStart_ == nullptr || !Fits(offset_, sizeof(pe::ResourceDirectory)))
    throw std::runtime_error("ResourceDir::ResourceDir");
}

ResourceDir::ResourceDir(const std::uint8_t* sectionStart,
                         std::size_t span,
                         const pe::ResourceDirectoryEntry& entry)
    : sectionStart_(sectionStart), span_(span), offset_(entry.OffsetToData & ~kHighBit) {
  if (sectionStart_ == nullptr || (entry.OffsetToData & kHighBit) == 0 ||
      !Fits(offset_, sizeof(pe::ResourceDirectory)))
    throw std::runtime_error("ResourceDir::ResourceDir");
}

bool ResourceDir::Fits(std::uint64_t offset, std::uint64_t length) const {
  return offset <= span_ && length <= span_ - offset;
}

pe::ResourceDirectory ResourceDir::Header() const {
  return ReadAt<pe::ResourceDirectory>(sectionStart_, offset_);
}

pe::ResourceDirectoryEntry ResourceDir::EntryAt(std::size_t index) const {
  return ReadAt<pe::ResourceDirectoryEntry>(
      sectionStart_,
      offset_ + sizeof(pe::ResourceDirectory) + index * sizeof(pe::ResourceDirectoryEntry));
}

const std::uint8_t* ResourceDir::GetFirstEntry() const {
  const pe::ResourceDirectory header = Header();
  const std::uint64_t count =
      static_cast<std::uint64_t>(header.NumberOfNamedEntries) + header.NumberOfIdEntries;
  if (count == 0 ||
      !Fits(offset_ + sizeof(pe::ResourceDirectory), count * sizeof(pe::ResourceDirectoryEntry)))
    throw std::runtime_error("ResourceDir::GetFirstEntry");
  return sectionStart_ + offset_ + sizeof(pe::ResourceDirectory);
}

bool ResourceDir::NameMatches(std::uint32_t offset, const std::wstring& name) const {
  // Stored names are UTF-16 units, whatever the width of wchar_t.
  if (!Fits(offset, sizeof(std::uint16_t)))
    throw std::runtime_error("ResourceDir::GetChildWithName");
  const auto length = ReadAt<std::uint16_t>(sectionStart_, offset);
  for (std::uint32_t i = 0; i < length; ++i) {
    const std::uint64_t unitOffset =
        static_cast<std::uint64_t>(offset) + sizeof(std::uint16_t) + i * 2u;
    if (!Fits(unitOffset, sizeof(std::uint16_t)))
      throw std::runtime_error("ResourceDir::GetChildWithName");
    const std::uint32_t stored = ReadAt<std::uint16_t>(sectionStart_, unitOffset);
    const std::uint32_t wanted = i < name.size() ? static_cast<std::uint32_t>(name[i]) : 0;
    if (stored != wanted)
      return false;
    if (stored == 0)
      return true;
  }
  return true;
}

std::unique_ptr<ResourceDir> ResourceDir::GetChildWithName(const std::wstring& name) const {
  auto child = FindChildWithName(name);
  if (!child)
    throw std::runtime_error("ResourceDir::GetChildWithName");
  return child;
}

std::unique_ptr<ResourceDir> ResourceDir::FindChildWithName(const std::wstring& name) const {
  GetFirstEntry();
  const pe::ResourceDirectory header = Header();
  for (std::size_t i = 0; i < header.NumberOfNamedEntries; ++i) {
    const pe::ResourceDirectoryEntry entry = EntryAt(i);
    if ((entry.Name & kHighBit) == 0)
      continue;
    if (NameMatches(entry.Name & ~kHighBit, name))
      return std::make_unique<ResourceDir>(sectionStart_, span_, entry);
  }
  return nullptr;
}

std::unique_ptr<ResourceDir> ResourceDir::GetChildWithId(std::uint32_t id) const {
  auto child = FindChildWithId(id);
  if (!child)
    throw std::runtime_error("ResourceDir::GetChildWithId");
  return child;
}

std::unique_ptr<ResourceDir> ResourceDir::FindChildWithId(std::uint32_t id) const {
  GetFirstEntry();
  const pe::ResourceDirectory header = Header();
  const std::size_t end =
      static_cast<std::size_t>(header.NumberOfNamedEntries) + header.NumberOfIdEntries;
  for (std::size_t i = header.NumberOfNamedEntries; i < end; ++i) {
    const pe::ResourceDirectoryEntry entry = EntryAt(i);
    if ((entry.Name & kHighBit) != 0)
      continue;
    if ((entry.Name & 0xFFFFu) == id)
      return std::make_unique<ResourceDir>(sectionStart_, span_, entry);
  }
  return nullptr;
}

pe::ResourceDataEntry ResourceDir::GetResourceData() const {
  const pe::ResourceDirectory header = Header();
  if (header.NumberOfNamedEntries + header.NumberOfIdEntries != 1 ||
      !Fits(offset_ + sizeof(pe::ResourceDirectory), sizeof(pe::ResourceDirectoryEntry)))
    throw std::runtime_error("ResourceDir::GetResourceData");
  const pe::ResourceDirectoryEntry entry = EntryAt(0);
  if ((entry.OffsetToData & kHighBit) != 0 ||
      !Fits(entry.OffsetToData, sizeof(pe::ResourceDataEntry)))
    throw std::runtime_error("ResourceDir::GetResourceData");
  return ReadAt<pe::ResourceDataEntry>(sectionStart_, entry.OffsetToData);
}

}  // namespace ulverane
