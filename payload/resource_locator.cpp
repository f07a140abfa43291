#include "payload/resource_locator.h"

#include "payload/resource_dir.h"

namespace ulverane {

ResourceLocator::ResourceLocator(const std::uint8_t* view,
                                 std::uint64_t viewSize,
                                 const std::uint8_t* sectionTable,
                                 std::uint32_t numberOfSections)
    : section_(view, viewSize, sectionTable, numberOfSections) {}

ResourceLocator::Range ResourceLocator::FindBin(std::uint32_t id) const {
  const ResourceDir root(section_.Start(), section_.Span());
  const auto type = root.GetChildWithName(L"BIN");
  const auto name = type->GetChildWithId(id);
  const pe::ResourceDataEntry data = name->GetResourceData();
  return Range{section_.RvaToFilePosition(data.OffsetToData, data.Size), data.Size};
}

std::optional<ResourceLocator::Range> ResourceLocator::Find(const std::wstring& type,
                                                            std::uint32_t id) const {
  const ResourceDir root(section_.Start(), section_.Span());
  const auto typeDir = root.FindChildWithName(type);
  if (!typeDir)
    return std::nullopt;
  const auto name = typeDir->FindChildWithId(id);
  if (!name)
    return std::nullopt;
  const pe::ResourceDataEntry data = name->GetResourceData();
  return Range{section_.RvaToFilePosition(data.OffsetToData, data.Size), data.Size};
}

}  // namespace ulverane
