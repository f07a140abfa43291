#include "tests/support/planted_dlls.h"

#include <windows.h>

#include "tests/support/environment.h"
#include "tests/support/setup_process.h"
#include "tests/support/temp_folder.h"
#include "tests/test_paths.h"

namespace ulverane::testing {

PlantedDlls::PlantedDlls(const std::vector<std::wstring>& folders,
                         const std::vector<std::wstring>& dlls)
    : folders_(folders), dlls_(dlls) {
  for (const std::wstring& folder : folders_)
    for (const std::wstring& dll : dlls_)
      CopyFileW(ULVERANE_TEST_BINARY_DIR L"\\app\\planted.dll", (folder + L"\\" + dll).c_str(),
                FALSE);
  programDefaults_.NativeDlls(dlls_);
  probeDefaults_.NativeDlls(dlls_);
}

bool PlantedDlls::ProbeLoads(const std::wstring& folder, const std::wstring& dll) const {
  const std::wstring probe = folder + L"\\" + probe_;
  CopyFileW(ULVERANE_TEST_BINARY_DIR L"\\stand_in.exe", probe.c_str(), FALSE);
  {
    ScopedEnvironment load(L"ULVERANE_STANDIN_LOAD", dll);
    ScopedEnvironment report(L"ULVERANE_STANDIN_REPORT", L"");
    SetupProcess run(probe, L"", folder);
    run.Wait();
  }
  DeleteFileW(probe.c_str());
  const std::wstring marker = folder + L"\\" + dll + L".loaded";
  const bool loaded = Exists(marker);
  DeleteFileW(marker.c_str());
  return loaded;
}

std::vector<std::wstring> PlantedDlls::Loaded() const {
  std::vector<std::wstring> loaded;
  for (const std::wstring& folder : folders_)
    for (const std::wstring& dll : dlls_)
      if (Exists(folder + L"\\" + dll + L".loaded"))
        loaded.push_back(folder + L"\\" + dll);
  return loaded;
}

}  // namespace ulverane::testing
