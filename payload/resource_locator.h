#ifndef ULVERANE_PAYLOAD_RESOURCE_LOCATOR_H_
#define ULVERANE_PAYLOAD_RESOURCE_LOCATOR_H_

#include <cstdint>
#include <optional>
#include <string>

#include "payload/resource_section.h"

namespace ulverane {

// Finds where a "BIN" resource lies in the file, from the section table to
// the resource's data entry; ExtractResource copies those bytes. The whole
// lookup builds off Windows too, so that the fuzz target runs this very code.
// Borrows the view; must not outlive it.
class ResourceLocator {
 public:
  // Bytes of the file: `size` of them from `position`.
  struct Range {
    std::uint32_t position = 0;
    std::uint32_t size = 0;
  };

  // Takes the image as the platform's loader mapped it (see ResourceSection).
  // Raises "ResourceSection::ResourceSection" when it has no ".rsrc" section.
  ResourceLocator(const std::uint8_t* view,
                  std::uint64_t viewSize,
                  const std::uint8_t* sectionTable,
                  std::uint32_t numberOfSections);

  // The bytes of "BIN" resource `id` (its only language). Raises the resource
  // reader's class-and-method messages for a missing or malformed resource.
  Range FindBin(std::uint32_t id) const;

  // The bytes of resource `type` `id`, looked up the same way; nothing when
  // the tree has no such type or id. A malformed tree still raises.
  std::optional<Range> Find(const std::wstring& type, std::uint32_t id) const;

 private:
  ResourceSection section_;
};

}  // namespace ulverane

#endif  // ULVERANE_PAYLOAD_RESOURCE_LOCATOR_H_
