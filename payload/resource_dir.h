#ifndef ULVERANE_PAYLOAD_RESOURCE_DIR_H_
#define ULVERANE_PAYLOAD_RESOURCE_DIR_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "payload/pe_structures.h"

namespace ulverane {

// One node of the resource directory tree, read in place from the view.
// Section offsets count from the section start and are checked against the
// span (the section's bytes that lie in the view) before anything is read,
// so a malformed tree raises instead of reading outside the section. Builds
// off Windows too.
class ResourceDir {
 public:
  // The root: its directory is the section start itself. Raises
  // "ResourceDir::ResourceDir" for a null start or a header outside the span.
  ResourceDir(const std::uint8_t* sectionStart, std::size_t span);
  // The subdirectory that `entry` points at. Raises "ResourceDir::ResourceDir"
  // when the entry points at a data entry or the header lies outside the span.
  ResourceDir(const std::uint8_t* sectionStart,
              std::size_t span,
              const pe::ResourceDirectoryEntry& entry);

  // The first entry of the entry array (named entries first, then ids).
  // Raises "ResourceDir::GetFirstEntry" for an empty directory or an array
  // outside the span.
  const std::uint8_t* GetFirstEntry() const;

  // The first named entry whose stored name equals `name` over the stored
  // name's length (a zero unit ends it), case-sensitively. Raises
  // "ResourceDir::GetChildWithName" when none matches.
  std::unique_ptr<ResourceDir> GetChildWithName(const std::wstring& name) const;
  // The same, but null when none matches; a malformed tree still raises.
  std::unique_ptr<ResourceDir> FindChildWithName(const std::wstring& name) const;

  // The first id entry whose 16-bit id equals `id`. Raises
  // "ResourceDir::GetChildWithId" when none matches.
  std::unique_ptr<ResourceDir> GetChildWithId(std::uint32_t id) const;
  // The same, but null when none matches; a malformed tree still raises.
  std::unique_ptr<ResourceDir> FindChildWithId(std::uint32_t id) const;

  // The data entry of a directory holding exactly one entry, which must not be
  // a subdirectory. Raises "ResourceDir::GetResourceData" otherwise.
  pe::ResourceDataEntry GetResourceData() const;

 private:
  pe::ResourceDirectory Header() const;
  pe::ResourceDirectoryEntry EntryAt(std::size_t index) const;
  bool Fits(std::uint64_t offset, std::uint64_t length) const;
  bool NameMatches(std::uint32_t offset, const std::wstring& name) const;

  const std::uint8_t* sectionStart_;
  std::size_t span_;
  std::size_t offset_;  // of this directory's header
};

}  // namespace ulverane

#endif  // ULVERANE_PAYLOAD_RESOURCE_DIR_H_
