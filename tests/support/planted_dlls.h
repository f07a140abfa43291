#ifndef ULVERANE_TESTS_SUPPORT_PLANTED_DLLS_H_
#define ULVERANE_TESTS_SUPPORT_PLANTED_DLLS_H_

#include <string>
#include <vector>

#include "tests/support/app_defaults.h"

namespace ulverane::testing {

// Copies of a marker DLL (tests/app/planted.dll) planted under system DLLs'
// names in some folders, with native loading forced for the program under
// test and the control probe, as Windows would load a DLL found beside a
// program rather than the system's copy. Both names carry this process's id,
// so that tests running side by side never change each other's programs. A
// planted copy that is ever loaded leaves "<name>.loaded" beside itself.
class PlantedDlls {
 public:
  PlantedDlls(const std::vector<std::wstring>& folders, const std::vector<std::wstring>& dlls);

  // The name to run the program under test by, for the native loading.
  const std::wstring& program() const { return program_; }

  // Control: a stand-in started as probe.exe from `folder`, which loads
  // `dll` by bare name, does pick the planted copy up. Cleans up after it.
  bool ProbeLoads(const std::wstring& folder, const std::wstring& dll) const;

  // The planted copies that were loaded, as paths.
  std::vector<std::wstring> Loaded() const;

 private:
  std::vector<std::wstring> folders_;
  std::vector<std::wstring> dlls_;
  const std::wstring program_ = L"Setup-" + std::to_wstring(GetCurrentProcessId()) + L".exe";
  const std::wstring probe_ = L"probe-" + std::to_wstring(GetCurrentProcessId()) + L".exe";
  AppDefaults programDefaults_{program_};
  AppDefaults probeDefaults_{probe_};
};

}  // namespace ulverane::testing

#endif  // ULVERANE_TESTS_SUPPORT_PLANTED_DLLS_H_
