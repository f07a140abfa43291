#include "payload/resource_section.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace ulverane {
namespace {

[[noreturn]] void Fail() {
  throw std::runtime_error("ResourceSection::ResourceSection");
}

bool IsResourceSectionName(const std::uint8_t (&name)[8]) {
  static constexpr char kName[] = ".rsrc";
  // The name runs up to its first zero byte, or all eight bytes.
  const size_t length = strnlen(reinterpret_cast<const char*>(name), sizeof(name));
  return length == sizeof(kName) - 1 && std::memcmp(name, kName, length) == 0;
}

}  // namespace

ResourceSection::ResourceSection(const std::uint8_t* view,
                                 std::uint64_t viewSize,
                                 const std::uint8_t* sectionTable,
                                 std::uint32_t numberOfSections)
    : viewSize_(viewSize) {
  if (view == nullptr || sectionTable == nullptr || numberOfSections == 0)
    Fail();
  // The platform located the table from the headers; it may still lie
  // partly or wholly outside a malformed file.
  const auto viewAddress = reinterpret_cast<std::uintptr_t>(view);
  const auto tableAddress = reinterpret_cast<std::uintptr_t>(sectionTable);
  const std::uint64_t tableSize =
      static_cast<std::uint64_t>(numberOfSections) * sizeof(pe::SectionHeader);
  if (tableAddress < viewAddress || tableAddress - viewAddress > viewSize ||
      tableSize > viewSize - (tableAddress - viewAddress))
    Fail();

  bool found = false;
  for (std::uint32_t i = 0; i < numberOfSections; ++i) {
    pe::SectionHeader header;
    std::memcpy(&header, sectionTable + i * sizeof(header), sizeof(header));
    if (IsResourceSectionName(header.Name)) {
      header_ = header;
      found = true;
    }
  }
  if (!found)
    Fail();

  // Never form a pointer past the view, not even one that is not followed.
  // The tree lies in the section's raw data and in the file: bytes past
  // either belong to something else.
  if (header_.PointerToRawData < viewSize) {
    start_ = view + header_.PointerToRawData;
    const std::uint64_t inFile = viewSize - header_.PointerToRawData;
    span_ = static_cast<std::size_t>(std::min<std::uint64_t>(inFile, header_.SizeOfRawData));
  } else {
    start_ = view;
    span_ = 0;
  }
}

std::uint32_t ResourceSection::RvaToFilePosition(std::uint32_t rva, std::uint32_t size) const {
  const std::uint32_t virtualAddress = header_.VirtualAddress;
  if (rva < virtualAddress || rva - virtualAddress >= header_.SizeOfRawData)
    throw std::runtime_error("ResourceSection::RvaToFilePosition");
  // The resource's bytes are the section's: none may spill into what follows.
  if (size > header_.SizeOfRawData - (rva - virtualAddress))
    throw std::runtime_error("ResourceSection::RvaToFilePosition");
  const std::uint64_t position =
      static_cast<std::uint64_t>(header_.PointerToRawData) + (rva - virtualAddress);
  // Wrapping past 4 GiB would silently point at the wrong bytes.
  if (position > 0xFFFFFFFFu)
    throw std::runtime_error("ResourceSection::RvaToFilePosition");
  // A damaged or cut file fails here, before any target is created, rather
  // than halfway through the copy.
  if (position > viewSize_ || size > viewSize_ - position)
    throw std::runtime_error("ResourceSection::RvaToFilePosition");
  return static_cast<std::uint32_t>(position);
}

}  // namespace ulverane
