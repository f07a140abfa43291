// Writes the checksum table that a setup image carries beside its payload:
// the CRC-32C of every payload file, read back by payload/checksum_table.h.
// Built for the build machine by cmake/payload.cmake.
//
//   payload_checksums <table> <id>=<file>...
//
// The table is "C32C", the number of entries, then per file its resource id,
// size and CRC-32C, each a little-endian 32-bit number, in the order given.
// Kept apart from the product's own CRC code on purpose: a fault in either
// shows as a mismatch in every test run.

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::array<std::uint32_t, 256> MakeTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t crc = n;
    for (int bit = 0; bit < 8; ++bit)
      crc = crc & 1u ? (crc >> 1) ^ 0x82F63B78u : crc >> 1;
    table[n] = crc;
  }
  return table;
}

void Put32(std::string& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8)
    out += static_cast<char>((value >> shift) & 0xFFu);
}

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "payload_checksums: %s\n", what.c_str());
  std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2)
    Fail("usage: payload_checksums <table> <id>=<file>...");
  const std::array<std::uint32_t, 256> table = MakeTable();
  std::string out = "C32C";
  Put32(out, static_cast<std::uint32_t>(argc - 2));
  std::vector<char> buffer(1 << 20);
  for (int i = 2; i < argc; ++i) {
    const std::string argument = argv[i];
    const size_t equals = argument.find('=');
    if (equals == std::string::npos)
      Fail("not <id>=<file>: " + argument);
    const unsigned long id = std::strtoul(argument.substr(0, equals).c_str(), nullptr, 10);
    std::ifstream file(argument.substr(equals + 1), std::ios::binary);
    if (!file)
      Fail("cannot read " + argument.substr(equals + 1));
    std::uint64_t size = 0;
    std::uint32_t crc = 0xFFFFFFFFu;
    while (file.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) ||
           file.gcount() > 0) {
      const auto count = static_cast<size_t>(file.gcount());
      for (size_t k = 0; k < count; ++k)
        crc = table[(crc ^ static_cast<unsigned char>(buffer[k])) & 0xFFu] ^ (crc >> 8);
      size += count;
    }
    if (size > 0xFFFFFFFFu || id > 0xFFFFu)
      Fail("too large for the table: " + argument);
    Put32(out, static_cast<std::uint32_t>(id));
    Put32(out, static_cast<std::uint32_t>(size));
    Put32(out, ~crc);
  }
  std::ofstream result(argv[1], std::ios::binary | std::ios::trunc);
  result.write(out.data(), static_cast<std::streamsize>(out.size()));
  if (!result)
    Fail(std::string("cannot write ") + argv[1]);
  return 0;
}
