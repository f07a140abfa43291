#ifndef ULVERANE_PAYLOAD_PE_STRUCTURES_H_
#define ULVERANE_PAYLOAD_PE_STRUCTURES_H_

#ifdef _WIN32
#include <windows.h>
#endif

#include <cstddef>
#include <cstdint>
#include <utility>

namespace ulverane {

// Our own layout of the few executable-image structures that the resource
// reader follows, so that the reader also builds on the host (for the fuzz
// target). Field names are the platform's, so the reader compiles against
// either set unchanged. Only the host build uses these; the Windows build
// keeps the platform's and checks below that both agree byte for byte.
namespace host_pe {

struct SectionHeader {
  std::uint8_t Name[8];
  std::uint32_t VirtualSize;
  std::uint32_t VirtualAddress;
  std::uint32_t SizeOfRawData;
  std::uint32_t PointerToRawData;
  std::uint32_t PointerToRelocations;
  std::uint32_t PointerToLinenumbers;
  std::uint16_t NumberOfRelocations;
  std::uint16_t NumberOfLinenumbers;
  std::uint32_t Characteristics;
};

struct ResourceDirectory {
  std::uint32_t Characteristics;
  std::uint32_t TimeDateStamp;
  std::uint16_t MajorVersion;
  std::uint16_t MinorVersion;
  std::uint16_t NumberOfNamedEntries;
  std::uint16_t NumberOfIdEntries;
};

// The platform's unions and bit fields are left out: the reader tests the
// high bits itself.
struct ResourceDirectoryEntry {
  std::uint32_t Name;
  std::uint32_t OffsetToData;
};

struct ResourceDataEntry {
  std::uint32_t OffsetToData;
  std::uint32_t Size;
  std::uint32_t CodePage;
  std::uint32_t Reserved;
};

}  // namespace host_pe

// The structures the reader reads: the platform's on Windows, ours elsewhere.
namespace pe {

#ifdef _WIN32
using SectionHeader = IMAGE_SECTION_HEADER;
using ResourceDirectory = IMAGE_RESOURCE_DIRECTORY;
using ResourceDirectoryEntry = IMAGE_RESOURCE_DIRECTORY_ENTRY;
using ResourceDataEntry = IMAGE_RESOURCE_DATA_ENTRY;
#else
using SectionHeader = host_pe::SectionHeader;
using ResourceDirectory = host_pe::ResourceDirectory;
using ResourceDirectoryEntry = host_pe::ResourceDirectoryEntry;
using ResourceDataEntry = host_pe::ResourceDataEntry;
#endif

}  // namespace pe

#ifdef _WIN32
// The host build is only as good as its layout: any field that moved or
// changed size stops the Windows build here.
#define ULVERANE_SAME_FIELD(ours, platform, field, platformField)                         \
  static_assert(                                                                          \
      offsetof(host_pe::ours, field) == offsetof(platform, platformField) &&              \
          sizeof(host_pe::ours::field) == sizeof(std::declval<platform>().platformField), \
      #ours "::" #field)

static_assert(sizeof(host_pe::SectionHeader) == sizeof(IMAGE_SECTION_HEADER));
ULVERANE_SAME_FIELD(SectionHeader, IMAGE_SECTION_HEADER, Name, Name);
ULVERANE_SAME_FIELD(SectionHeader, IMAGE_SECTION_HEADER, VirtualSize, Misc.VirtualSize);
ULVERANE_SAME_FIELD(SectionHeader, IMAGE_SECTION_HEADER, VirtualAddress, VirtualAddress);
ULVERANE_SAME_FIELD(SectionHeader, IMAGE_SECTION_HEADER, SizeOfRawData, SizeOfRawData);
ULVERANE_SAME_FIELD(SectionHeader, IMAGE_SECTION_HEADER, PointerToRawData, PointerToRawData);
ULVERANE_SAME_FIELD(SectionHeader,
                    IMAGE_SECTION_HEADER,
                    PointerToRelocations,
                    PointerToRelocations);
ULVERANE_SAME_FIELD(SectionHeader,
                    IMAGE_SECTION_HEADER,
                    PointerToLinenumbers,
                    PointerToLinenumbers);
ULVERANE_SAME_FIELD(SectionHeader, IMAGE_SECTION_HEADER, NumberOfRelocations, NumberOfRelocations);
ULVERANE_SAME_FIELD(SectionHeader, IMAGE_SECTION_HEADER, NumberOfLinenumbers, NumberOfLinenumbers);
ULVERANE_SAME_FIELD(SectionHeader, IMAGE_SECTION_HEADER, Characteristics, Characteristics);

static_assert(sizeof(host_pe::ResourceDirectory) == sizeof(IMAGE_RESOURCE_DIRECTORY));
ULVERANE_SAME_FIELD(ResourceDirectory, IMAGE_RESOURCE_DIRECTORY, Characteristics, Characteristics);
ULVERANE_SAME_FIELD(ResourceDirectory, IMAGE_RESOURCE_DIRECTORY, TimeDateStamp, TimeDateStamp);
ULVERANE_SAME_FIELD(ResourceDirectory, IMAGE_RESOURCE_DIRECTORY, MajorVersion, MajorVersion);
ULVERANE_SAME_FIELD(ResourceDirectory, IMAGE_RESOURCE_DIRECTORY, MinorVersion, MinorVersion);
ULVERANE_SAME_FIELD(ResourceDirectory,
                    IMAGE_RESOURCE_DIRECTORY,
                    NumberOfNamedEntries,
                    NumberOfNamedEntries);
ULVERANE_SAME_FIELD(ResourceDirectory,
                    IMAGE_RESOURCE_DIRECTORY,
                    NumberOfIdEntries,
                    NumberOfIdEntries);

static_assert(sizeof(host_pe::ResourceDirectoryEntry) == sizeof(IMAGE_RESOURCE_DIRECTORY_ENTRY));
ULVERANE_SAME_FIELD(ResourceDirectoryEntry, IMAGE_RESOURCE_DIRECTORY_ENTRY, Name, Name);
ULVERANE_SAME_FIELD(ResourceDirectoryEntry,
                    IMAGE_RESOURCE_DIRECTORY_ENTRY,
                    OffsetToData,
                    OffsetToData);

static_assert(sizeof(host_pe::ResourceDataEntry) == sizeof(IMAGE_RESOURCE_DATA_ENTRY));
ULVERANE_SAME_FIELD(ResourceDataEntry, IMAGE_RESOURCE_DATA_ENTRY, OffsetToData, OffsetToData);
ULVERANE_SAME_FIELD(ResourceDataEntry, IMAGE_RESOURCE_DATA_ENTRY, Size, Size);
ULVERANE_SAME_FIELD(ResourceDataEntry, IMAGE_RESOURCE_DATA_ENTRY, CodePage, CodePage);
ULVERANE_SAME_FIELD(ResourceDataEntry, IMAGE_RESOURCE_DATA_ENTRY, Reserved, Reserved);

#undef ULVERANE_SAME_FIELD
#endif  // _WIN32

}  // namespace ulverane

#endif  // ULVERANE_PAYLOAD_PE_STRUCTURES_H_
