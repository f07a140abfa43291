#include "setup/setup_driver.h"

#include <cstdint>
#include <string>

#include "base/temp_file.h"
#include "log/logger.h"
#include "package/silent_install_package.h"
#include "payload/executable_image.h"
#include "setup/process_launcher.h"
#include "setup/satellite_folders.h"
#include "setup/windows_features.h"
#include "setup/working_folder.h"
#include "ui/message_box.h"

namespace ulverane {
namespace {

struct Satellite {
  const wchar_t* language;
  std::uint32_t id;
};

constexpr Satellite kSatellites[] = {
    {L"de", 136}, {L"en-US", 137}, {L"es", 138}, {L"fr", 139},      {L"it", 140},
    {L"ja", 141}, {L"pt-BR", 142}, {L"ru", 143}, {L"zh-Hans", 144},
};

// The file becomes owned only once its copy has returned.
void Unpack(ExecutableImage& image, std::uint32_t id, const std::wstring& target, TempFile& file) {
  image.ExtractResource(id, target);
  file.SetPath(target);
}

void ReportSetupFailure() {
  if (IsDotNet35Present())
    return;
  const int answer = ShowMessageBox(
      L"Failed to start Setup. It looks like Microsoft .NET 3.5 has been turned off on this "
      L"computer.\nOpen the Windows Features app to turn it back on?",
      MB_OKCANCEL | MB_ICONERROR);
  if (answer == IDOK)
    StartWindowsFeatures();
}

}  // namespace

bool IsSupportedWindowsVersion() {
  OSVERSIONINFOEXW version = {};
  version.dwOSVersionInfoSize = sizeof(version);
  version.dwMajorVersion = 6;
  version.dwMinorVersion = 1;
  version.wServicePackMajor = 1;
  ULONGLONG mask = 0;
  mask = VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
  mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
  mask = VerSetConditionMask(mask, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
  return VerifyVersionInfoW(&version, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR,
                            mask) != FALSE;
}

int RunSetup(HINSTANCE instance, RunMode mode) {
  if (mode != RunMode::Setup)
    return CreateSilentInstallPackage(instance, mode == RunMode::Defaults);

  const std::wstring folder = CreateWorkingFolder();
  OpenSetupLog(folder);
  if (!IsSupportedWindowsVersion()) {
    ShowMessageBox(L"This product can only be installed on Windows 7 Service Pack 1 or higher",
                   MB_OK | MB_ICONERROR);
    return 1;
  }

  // Destroyed in reverse: launcher, satellites, the four files, the image.
  ExecutableImage image;
  TempFile package, dotNet, setupUi, setupUiConfig;
  Unpack(image, 135, folder + L"Ulverane.msi", package);
  Unpack(image, 132, folder + L"DotNet.exe", dotNet);
  Unpack(image, 133, folder + L"SetupUI.exe", setupUi);
  Unpack(image, 134, folder + L"SetupUI.exe.config", setupUiConfig);

  SatelliteFolders satellites(folder, image);
  for (const Satellite& satellite : kSatellites)
    satellites.Add(satellite.language, satellite.id);

  const ProcessLauncher launcher(setupUi.path(), L"/log=true", false);
  DWORD exitCode = 0xFFFFFFFF;
  if (!launcher.RunAndWait(exitCode))
    ShowMessageBox(L"Failed to start Setup. Please contact Technical Support.",
                   MB_OK | MB_ICONERROR);
  else if (exitCode != 0)
    ReportSetupFailure();
  return 0;
}

}  // namespace ulverane
