#ifndef ULVERANE_PAYLOAD_RESOURCE_SECTION_H_
#define ULVERANE_PAYLOAD_RESOURCE_SECTION_H_

#include <cstddef>
#include <cstdint>

#include "payload/pe_structures.h"

namespace ulverane {

// The ".rsrc" section of a loaded image and the mapping of RVAs to file
// positions. Borrows the view; must not outlive it. Builds off Windows too.
class ResourceSection {
 public:
  // `view` holds the whole file, `viewSize` bytes; `sectionTable` and
  // `numberOfSections` are where the platform's loader found the section
  // table. Raises "ResourceSection::ResourceSection" when there is no view,
  // the table is empty or lies outside the view, or no section is named
  // exactly ".rsrc". With several, the last one wins.
  ResourceSection(const std::uint8_t* view,
                  std::uint64_t viewSize,
                  const std::uint8_t* sectionTable,
                  std::uint32_t numberOfSections);

  // First byte of the section's raw data in the view, or the view itself
  // when the raw data starts past its end (Span() is then 0).
  const std::uint8_t* Start() const { return start_; }
  // Bytes of the section's raw data from Start() that also lie in the view:
  // the limit of every section offset.
  std::size_t Span() const { return span_; }

  // Maps an RVA within [VirtualAddress, VirtualAddress + SizeOfRawData) to
  // PointerToRawData + (rva - VirtualAddress), the first of `size` bytes.
  // Raises "ResourceSection::RvaToFilePosition" for an RVA outside that range
  // or when the bytes do not all lie in the section's raw data and in the
  // view, even none of them past either.
  std::uint32_t RvaToFilePosition(std::uint32_t rva, std::uint32_t size) const;

 private:
  pe::SectionHeader header_{};
  std::uint64_t viewSize_ = 0;
  const std::uint8_t* start_ = nullptr;
  std::size_t span_ = 0;
};

}  // namespace ulverane

#endif  // ULVERANE_PAYLOAD_RESOURCE_SECTION_H_
