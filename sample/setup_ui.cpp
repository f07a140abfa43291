// Sample setup user interface: installs the package lying beside it with the
// basic progress UI and no questions. Exits with 0 on success.
#include <windows.h>
#include <msi.h>

#include <string>

namespace {

std::wstring OwnFolder() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH)
    return std::wstring();
  std::wstring folder(path, length);
  return folder.substr(0, folder.rfind(L'\\') + 1);
}

std::wstring TempFolder() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetTempPathW(MAX_PATH, path);
  return length == 0 || length >= MAX_PATH ? std::wstring() : std::wstring(path, length);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
  const std::wstring arguments = commandLine != nullptr ? commandLine : L"";
  if (arguments.find(L"/log=true") != std::wstring::npos) {
    const std::wstring log = TempFolder() + L"UlveraneSetupUI.log";
    MsiEnableLogW(INSTALLLOGMODE_VERBOSE, log.c_str(), 0);
  }
  MsiSetInternalUI(static_cast<INSTALLUILEVEL>(INSTALLUILEVEL_BASIC | INSTALLUILEVEL_PROGRESSONLY),
                   nullptr);
  const std::wstring package = OwnFolder() + L"Ulverane.msi";
  const UINT result = MsiInstallProductW(package.c_str(), L"REBOOT=ReallySuppress");
  return result == ERROR_SUCCESS || result == ERROR_SUCCESS_REBOOT_REQUIRED
             ? 0
             : static_cast<int>(result);
}
