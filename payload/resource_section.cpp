#include "payload/resource_section.h"

#include <cstring>
#include <stdexcept>

namespace ulverane {
namespace {

[[noreturn]] void Fail() {
  throw std::runtime_error("ResourceSection::ResourceSection");
}

bool IsResourceSectionName(const BYTE (&name)[IMAGE_SIZEOF_SHORT_NAME]) {
  static constexpr char kName[] = ".rsrc";
  // The name runs up to its first zero byte, or all eight bytes.
  const size_t length = strnlen(reinterpret_cast<const char*>(name), IMAGE_SIZEOF_SHORT_NAME);
  return length == sizeof(kName) - 1 && std::memcmp(name, kName, length) == 0;
}

}  // namespace

ResourceSection::ResourceSection(const LOADED_IMAGE* image, std::uint64_t viewSize) {
  if (image == nullptr || image->NumberOfSections == 0 || image->Sections == nullptr)
    Fail();
  const auto* view = reinterpret_cast<const std::uint8_t*>(image->MappedAddress);
  const auto* table = reinterpret_cast<const std::uint8_t*>(image->Sections);
  if (view == nullptr)
    Fail();
  // The platform located the table from the headers; it may still lie
  // partly or wholly outside a malformed file.
  const auto viewAddress = reinterpret_cast<std::uintptr_t>(view);
  const auto tableAddress = reinterpret_cast<std::uintptr_t>(table);
  const std::uint64_t tableSize =
      static_cast<std::uint64_t>(image->NumberOfSections) * sizeof(IMAGE_SECTION_HEADER);
  if (tableAddress < viewAddress || tableAddress - viewAddress > viewSize ||
      tableSize > viewSize - (tableAddress - viewAddress))
    Fail();

  bool found = false;
  for (ULONG i = 0; i < image->NumberOfSections; ++i) {
    IMAGE_SECTION_HEADER header;
    std::memcpy(&header, table + i * sizeof(header), sizeof(header));
    if (IsResourceSectionName(header.Name)) {
      header_ = header;
      found = true;
    }
  }
  if (!found)
    Fail();

  start_ = view + header_.PointerToRawData;
  span_ = header_.PointerToRawData < viewSize
              ? static_cast<std::size_t>(viewSize - header_.PointerToRawData)
              : 0;
  if (span_ == 0)
    start_ = view;  // never form a pointer past the view
}

std::uint32_t ResourceSection::RvaToFilePosition(std::uint32_t rva) const {
  const std::uint32_t virtualAddress = header_.VirtualAddress;
  if (rva < virtualAddress || rva - virtualAddress >= header_.SizeOfRawData)
    throw std::runtime_error("ResourceSection::RvaToFilePosition");
  // Wrapping past 4 GiB would silently point at the wrong bytes.
  const std::uint64_t position =
      static_cast<std::uint64_t>(header_.PointerToRawData) + (rva - virtualAddress);
  if (position > 0xFFFFFFFFu)
    throw std::runtime_error("ResourceSection::RvaToFilePosition");
  return static_cast<std::uint32_t>(position);
}

}  // namespace ulverane
