#include "setup/windows_features.h"

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "base/unique_resource.h"
#include "base/wow64_redirection_off.h"

namespace ulverane {

bool IsDotNet35Present() {
  UniqueRegistryKey key;
  return key.Received(RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                                    L"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v3.5", 0,
                                    KEY_READ, key.put()) == ERROR_SUCCESS);
}

void StartWindowsFeatures() {
  // By full path: a bare name would find a planted program of that name in
  // the current directory first, since safe search mode is off.
  wchar_t folder[MAX_PATH];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH)
    return;
  const std::wstring program = std::wstring(folder, length) + L"\\OptionalFeatures.exe";
  // The 32-bit view of the system folder has no OptionalFeatures.exe.
  const Wow64RedirectionOff nativeSystemFolder;
  ShellExecuteW(nullptr, L"open", program.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace ulverane
