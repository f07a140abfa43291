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
  if (sectionStart_ == nullptr || !Fits(offset_, sizeof(IMAGE_RESOURCE_DIRECTORY)))
    throw std::runtime_error("ResourceDir::ResourceDir");
}

ResourceDir::ResourceDir(const std::uint8_t* sectionStart,
                         std::size_t span,
                         const IMAGE_RESOURCE_DIRECTORY_ENTRY& entry)
    : sectionStart_(sectionStart), span_(span), offset_(entry.OffsetToData & ~kHighBit) {
  if (sectionStart_ == nullptr || (entry.OffsetToData & kHighBit) == 0 ||
      !Fits(offset_, sizeof(IMAGE_RESOURCE_DIRECTORY)))
    throw std::runtime_error("ResourceDir::ResourceDir");
}

bool ResourceDir::Fits(std::uint64_t offset, std::uint64_t length) const {
  return offset <= span_ && length <= span_ - offset;
}

IMAGE_RESOURCE_DIRECTORY ResourceDir::Header() const {
  return ReadAt<IMAGE_RESOURCE_DIRECTORY>(sectionStart_, offset_);
}

IMAGE_RESOURCE_DIRECTORY_ENTRY ResourceDir::EntryAt(std::size_t index) const {
  return ReadAt<IMAGE_RESOURCE_DIRECTORY_ENTRY>(
      sectionStart_,
      offset_ + sizeof(IMAGE_RESOURCE_DIRECTORY) + index * sizeof(IMAGE_RESOURCE_DIRECTORY_ENTRY));
}

const std::uint8_t* ResourceDir::GetFirstEntry() const {
  const IMAGE_RESOURCE_DIRECTORY header = Header();
  const std::uint64_t count =
      static_cast<std::uint64_t>(header.NumberOfNamedEntries) + header.NumberOfIdEntries;
  if (count == 0 || !Fits(offset_ + sizeof(IMAGE_RESOURCE_DIRECTORY),
                          count * sizeof(IMAGE_RESOURCE_DIRECTORY_ENTRY)))
    throw std::runtime_error("ResourceDir::GetFirstEntry");
  return sectionStart_ + offset_ + sizeof(IMAGE_RESOURCE_DIRECTORY);
}

bool ResourceDir::NameMatches(std::uint32_t offset, const std::wstring& name) const {
  if (!Fits(offset, sizeof(WORD)))
    throw std::runtime_error("ResourceDir::GetChildWithName");
  const WORD length = ReadAt<WORD>(sectionStart_, offset);
  for (WORD i = 0; i < length; ++i) {
    const std::uint64_t unitOffset = static_cast<std::uint64_t>(offset) + sizeof(WORD) + i * 2u;
    if (!Fits(unitOffset, sizeof(WCHAR)))
      throw std::runtime_error("ResourceDir::GetChildWithName");
    const WCHAR stored = ReadAt<WCHAR>(sectionStart_, unitOffset);
    const WCHAR wanted = i < name.size() ? name[i] : L'\0';
    if (stored != wanted)
      return false;
    if (stored == L'\0')
      return true;
  }
  return true;
}

std::unique_ptr<ResourceDir> ResourceDir::GetChildWithName(const std::wstring& name) const {
  GetFirstEntry();
  const IMAGE_RESOURCE_DIRECTORY header = Header();
  for (std::size_t i = 0; i < header.NumberOfNamedEntries; ++i) {
    const IMAGE_RESOURCE_DIRECTORY_ENTRY entry = EntryAt(i);
    if ((entry.Name & kHighBit) == 0)
      continue;
    if (NameMatches(entry.Name & ~kHighBit, name))
      return std::make_unique<ResourceDir>(sectionStart_, span_, entry);
  }
  throw std::runtime_error("ResourceDir::GetChildWithName");
}

std::unique_ptr<ResourceDir> ResourceDir::GetChildWithId(std::uint32_t id) const {
  GetFirstEntry();
  const IMAGE_RESOURCE_DIRECTORY header = Header();
  const std::size_t end =
      static_cast<std::size_t>(header.NumberOfNamedEntries) + header.NumberOfIdEntries;
  for (std::size_t i = header.NumberOfNamedEntries; i < end; ++i) {
    const IMAGE_RESOURCE_DIRECTORY_ENTRY entry = EntryAt(i);
    if ((entry.Name & kHighBit) != 0)
      continue;
    if ((entry.Name & 0xFFFFu) == id)
      return std::make_unique<ResourceDir>(sectionStart_, span_, entry);
  }
  throw std::runtime_error("ResourceDir::GetChildWithId");
}

IMAGE_RESOURCE_DATA_ENTRY ResourceDir::GetResourceData() const {
  const IMAGE_RESOURCE_DIRECTORY header = Header();
  if (header.NumberOfNamedEntries + header.NumberOfIdEntries != 1 ||
      !Fits(offset_ + sizeof(IMAGE_RESOURCE_DIRECTORY), sizeof(IMAGE_RESOURCE_DIRECTORY_ENTRY)))
    throw std::runtime_error("ResourceDir::GetResourceData");
  const IMAGE_RESOURCE_DIRECTORY_ENTRY entry = EntryAt(0);
  if ((entry.OffsetToData & kHighBit) != 0 ||
      !Fits(entry.OffsetToData, sizeof(IMAGE_RESOURCE_DATA_ENTRY)))
    throw std::runtime_error("ResourceDir::GetResourceData");
  return ReadAt<IMAGE_RESOURCE_DATA_ENTRY>(sectionStart_, entry.OffsetToData);
}

}  // namespace ulverane
