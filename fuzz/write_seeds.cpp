// Writes the fuzz target's seed corpus into a folder: the images of the
// resource reader's tests and, given a built Setup.exe, its resource section
// moved right behind its own headers, so that the seed stays small.
//
//   write_seeds <folder> [Setup.exe]

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "resources/payload_files.h"
#include "tests/payload/damage_cases.h"
#include "tests/support/pe_writer.h"

namespace {

using ulverane::testing::Get16;
using ulverane::testing::Get32;
using ulverane::testing::PeWriter;
using ulverane::testing::Put32;
using ulverane::testing::Resource;

void Write(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out)
    throw std::runtime_error("cannot write " + path);
}

std::string FileName(const std::string& what) {
  std::string name;
  for (const char c : what)
    name += std::isalnum(static_cast<unsigned char>(c)) || c == '.' ? c : '-';
  return name;
}

Resource Bin(std::uint16_t id, std::string data) {
  return Resource{{L"BIN"}, {L"", id}, 2057, std::move(data)};
}

// The product's resource section with its headers and nothing else. Every
// RVA in the section stays as built; only the section's file position moves.
std::string ResourceSectionOf(const std::string& image) {
  const std::size_t nt = Get32(image, 0x3C);
  const std::size_t count = Get16(image, nt + 6);
  const std::size_t table = nt + 24 + Get16(image, nt + 20);
  std::size_t header = 0;
  for (std::size_t i = 0; i < count; ++i)
    if (image.compare(table + 40 * i, 8, std::string(".rsrc\0\0\0", 8)) == 0)
      header = table + 40 * i;
  if (header == 0)
    throw std::runtime_error("no .rsrc section");
  const std::size_t moved = (table + 40 * count + 15) / 16 * 16;
  std::string seed = image.substr(0, moved);
  seed.resize(moved, '\0');
  seed += image.substr(Get32(image, header + 20), Get32(image, header + 16));
  Put32(seed, header + 20, static_cast<std::uint32_t>(moved));
  return seed;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: write_seeds <folder> [Setup.exe]\n");
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/";
  try {
    // Cases that differ only in the id asked for share one image.
    std::set<std::string> written;
    for (const ulverane::testing::Damage& damage : ulverane::testing::DamageCases()) {
      const std::string image = DamagedImage(damage);
      if (written.insert(image).second)
        Write(folder + "pe-writer-" + FileName(damage.what), image);
    }

    std::vector<Resource> all;
    for (const ulverane::PayloadFile& file : ulverane::kPayloadFiles) {
      const auto id = static_cast<std::uint16_t>(file.id);
      all.push_back(Bin(id, std::string(id % 7, static_cast<char>(id))));
    }
    all.push_back(Resource{{L"TXT"}, {L"", 157}, 2057, "agreement"});
    all.push_back(Resource{{L""}, {L"", 1}, 1033, "cursor"});
    all.push_back(Resource{{L"BINARY"}, {L"", 135}, 1033, "not this one"});
    Write(folder + "pe-writer-every-payload-id",
          PeWriter().AddSection(".text", "code").AddResources(all).Build());
    Write(folder + "pe-writer-two-resource-sections",
          PeWriter().AddResources({Bin(135, "first")}).AddResources({Bin(135, "second")}).Build());

    if (argc == 3) {
      std::ifstream in(argv[2], std::ios::binary);
      const std::string image{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      if (!in)
        throw std::runtime_error(std::string("cannot read ") + argv[2]);
      Write(folder + "setup-exe-resource-section", ResourceSectionOf(image));
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "write_seeds: %s\n", error.what());
    return 1;
  }
  return 0;
}
