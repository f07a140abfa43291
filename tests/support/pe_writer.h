#ifndef ULVERANE_TESTS_SUPPORT_PE_WRITER_H_
#define ULVERANE_TESTS_SUPPORT_PE_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace ulverane::testing {

// A resource directory key: a name when `name` is not empty, else `id`.
struct ResourceKey {
  std::wstring name;
  std::uint16_t id = 0;
};

struct Resource {
  ResourceKey type;
  ResourceKey name;
  std::uint16_t language = 2057;
  std::string data;
};

// Builds small PE32 files with a chosen section table and resource tree, and
// says where each structure landed so that tests can damage it.
class PeWriter {
 public:
  // Adds a section holding a resource tree in the usual layout: directories,
  // then data entries, then name strings, then the data. With `checksums`,
  // the tree also holds the checksum table of its "BIN" resources, as the
  // build makes it, its bytes first.
  PeWriter& AddResources(const std::vector<Resource>& resources,
                         const std::string& name = ".rsrc",
                         bool checksums = true);
  PeWriter& AddSection(const std::string& name, const std::string& raw);

  std::string Build();

  // Rewrites the checksum table's entry for `id` in the built `image` to
  // stand for `bytes`, for damage that changes what a resource holds.
  void Reseal(std::string& image, std::uint32_t id, const std::string& bytes) const;

  // Filled by Build. File offsets of the section table and of each section's
  // raw data, in the order added.
  std::size_t sectionTableOffset = 0;
  std::vector<std::size_t> sectionOffsets;
  std::vector<std::uint32_t> sectionRvas;
  // Section offsets inside the resource section, by label:
  //   "root", "dir:<type>", "dir:<type>/<name>" (directory headers),
  //   "data:<type>/<name>/<lang>" (data entries), "string:<key>" (names),
  //   "blob:<type>/<name>/<lang>" (the bytes).
  // Keys are written as the name or as "#<id>".
  std::map<std::string, std::size_t> labels;
  // Index (into the section lists) of the last section added by AddResources.
  std::size_t resourceSection = 0;

 private:
  struct Section {
    std::string name;
    std::string raw;
    std::vector<Resource> resources;
    bool isResource = false;
  };
  std::string BuildResources(const std::vector<Resource>& resources, std::uint32_t rva);

  std::vector<Section> sections_;
};

std::string KeyLabel(const ResourceKey& key);

// CRC-32C the plainest way, bit by bit: the reference for the product's.
std::uint32_t ReferenceCrc32c(const std::string& bytes);

// Little-endian field access on a byte string.
void Put16(std::string& bytes, std::size_t offset, std::uint16_t value);
void Put32(std::string& bytes, std::size_t offset, std::uint32_t value);
std::uint16_t Get16(const std::string& bytes, std::size_t offset);
std::uint32_t Get32(const std::string& bytes, std::size_t offset);

}  // namespace ulverane::testing

#endif  // ULVERANE_TESTS_SUPPORT_PE_WRITER_H_
