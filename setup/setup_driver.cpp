#include "setup/setup_driver.h"

#include <array>
#include <string>

#include "base/temp_file.h"
#include "log/logger.h"
#include "package/silent_install_package.h"
#include "payload/executable_image.h"
#include "resources/payload_files.h"
#include "setup/interrupted_runs.h"
#include "setup/process_launcher.h"
#include "setup/satellite_folders.h"
#include "setup/windows_features.h"
#include "setup/working_folder.h"
#include "ui/message_box.h"

namespace ulverane {
namespace {

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

  // Held until the run ends; the last object to go.
  const WorkingFolder working = CreateWorkingFolder();
  const std::wstring& folder = working.path();
  OpenSetupLog(folder);
  if (!IsSupportedWindowsVersion()) {
    ShowMessageBox(L"This product can only be installed on Windows 7 Service Pack 1 or higher",
                   MB_OK | MB_ICONERROR);
    return 1;
  }
  CleanUpInterruptedRuns(folder);

  // Destroyed in reverse: launcher, satellites, the files (the last written
  // first), the image.
  ExecutableImage image;
  std::array<TempFile, kRootPayloadCount> files;
  std::wstring setupProgram;
  auto file = files.begin();
  for (const PayloadFile& payload : kPayloadFiles) {
    if (*payload.culture != L'\0')
      continue;
    const std::wstring target = folder + payload.name;
    image.ExtractResource(payload.id, target);
    // Owned only once its copy has returned.
    (file++)->SetPath(target);
    if (payload.id == kSetupProgramId)
      setupProgram = target;
  }

  SatelliteFolders satellites(folder, image);
  for (const PayloadFile& payload : kPayloadFiles) {
    if (*payload.culture != L'\0')
      satellites.Add(payload.culture, payload.id);
  }

  const ProcessLauncher launcher(setupProgram, L"/log=true", false);
  DWORD exitCode = 0xFFFFFFFF;
  if (!launcher.RunAndWait(exitCode))
    ShowMessageBox(L"Failed to start Setup. Please contact Technical Support.",
                   MB_OK | MB_ICONERROR);
  else if (exitCode != 0)
    ReportSetupFailure();
  return 0;
}

}  // namespace ulverane
