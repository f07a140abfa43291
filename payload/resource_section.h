#ifndef ULVERANE_PAYLOAD_RESOURCE_SECTION_H_
#define ULVERANE_PAYLOAD_RESOURCE_SECTION_H_

#include <windows.h>
#include <imagehlp.h>

#include <cstddef>
#include <cstdint>

namespace ulverane {

// The ".rsrc" section of a loaded image and the mapping of RVAs to file
// positions. Borrows the image; must not outlive it.
class ResourceSection {
 public:
  // Raises "ResourceSection::ResourceSection" when the image is not loaded,
  // its section table is empty or lies outside the view, or no section is
  // named exactly ".rsrc". With several, the last one wins.
  ResourceSection(const LOADED_IMAGE* image, std::uint64_t viewSize);

  // First byte of the section's raw data in the view; null when the image
  // has no view. May point past the view: Span() is then 0.
  const std::uint8_t* Start() const { return start_; }
  // Bytes of the view from Start() to its end: the limit of every section
  // offset.
  std::size_t Span() const { return span_; }

  // Maps an RVA within [VirtualAddress, VirtualAddress + SizeOfRawData) to
  // PointerToRawData + (rva - VirtualAddress). Raises
  // "ResourceSection::RvaToFilePosition" for an RVA outside that range or a
  // position that does not fit 32 bits.
  std::uint32_t RvaToFilePosition(std::uint32_t rva) const;

 private:
  IMAGE_SECTION_HEADER header_{};
  const std::uint8_t* start_ = nullptr;
  std::size_t span_ = 0;
};

}  // namespace ulverane

#endif  // ULVERANE_PAYLOAD_RESOURCE_SECTION_H_
