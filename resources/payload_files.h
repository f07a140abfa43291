// The payload: every "BIN" resource the setup carries and where it goes. The
// one list of it: the code includes this table, and the build
// (cmake/payload.cmake) and the host-side scripts (tools/payload.py) read it
// as text, so keep each entry in the form {id, L"culture", L"name"}.
#ifndef ULVERANE_RESOURCES_PAYLOAD_FILES_H_
#define ULVERANE_RESOURCES_PAYLOAD_FILES_H_

#include <cstddef>
#include <cstdint>

namespace ulverane {

struct PayloadFile {
  std::uint32_t id;
  // The sub-folder of a satellite library; empty for the working folder.
  const wchar_t* culture;
  const wchar_t* name;
};

// In the order in which the setup run writes them: the package first, the
// setup program's own files next, then one satellite library per culture.
inline constexpr PayloadFile kPayloadFiles[] = {
    {135, L"", L"Ulverane.msi"},
    {132, L"", L"DotNet.exe"},
    {133, L"", L"SetupUI.exe"},
    {134, L"", L"SetupUI.exe.config"},
    {136, L"de", L"SetupUI.resources.dll"},
    {137, L"en-US", L"SetupUI.resources.dll"},
    {138, L"es", L"SetupUI.resources.dll"},
    {139, L"fr", L"SetupUI.resources.dll"},
    {140, L"it", L"SetupUI.resources.dll"},
    {141, L"ja", L"SetupUI.resources.dll"},
    {142, L"pt-BR", L"SetupUI.resources.dll"},
    {143, L"ru", L"SetupUI.resources.dll"},
    {144, L"zh-Hans", L"SetupUI.resources.dll"},
};

// The program the setup run starts, and the package the package modes write.
inline constexpr std::uint32_t kSetupProgramId = 133;
inline constexpr std::uint32_t kPackageId = 135;

// Files that go to the working folder itself, and the satellite libraries.
inline constexpr std::size_t kRootPayloadCount = [] {
  std::size_t count = 0;
  for (const PayloadFile& file : kPayloadFiles)
    count += *file.culture == L'\0' ? 1 : 0;
  return count;
}();

}  // namespace ulverane

#endif  // ULVERANE_RESOURCES_PAYLOAD_FILES_H_
