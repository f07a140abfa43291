#include "setup/setup_driver.h"

#include <array>
#include <cstdint>
#include <string>

#include "base/free_space.h"
#include "base/temp_file.h"
#include "log/logger.h"
#include "package/silent_install_package.h"
#include "payload/executable_image.h"
#include "resources/payload_files.h"
#include "setup/process_launcher.h"
#include "setup/satellite_folders.h"
#include "setup/windows_features.h"
#include "setup/working_tree.h"
#include "ui/message_box.h"
#include "ui/no_room_box.h"
#include "ui/progress_window.h"

namespace ulverane {
namespace {

// Setup.log, and the language folders on volumes that give a folder
// clusters of its own.
constexpr std::uint64_t kLogRoom = 1024 * 1024;

// The bytes that the copies write.
std::uint64_t PayloadBytes(const ExecutableImage& image) {
  std::uint64_t total = 0;
  for (const PayloadFile& payload : kPayloadFiles)
    total += image.ResourceSize(payload.id);
  return total;
}

// Whether the payload fits in what is left on the working folder's volume,
// each file in whole clusters; tells the user and the log when it does not.
// A volume that cannot tell is taken to have room: a write that fails still
// tells of itself.
bool HasRoomForPayload(const ExecutableImage& image, const std::wstring& folder) {
  const FreeSpace space(folder);
  if (!space.known())
    return true;
  std::uint64_t needed = kLogRoom;
  for (const PayloadFile& payload : kPayloadFiles)
    needed += space.Taken(image.ResourceSize(payload.id));
  if (space.available() >= needed)
    return true;
  setupLog << "Not enough space: " << needed << " bytes needed on " << space.volume() << ", "
           << space.available() << " free" << std::endl;
  ShowNoRoomBox(space, needed, L"to unpack " + SetupTitle(),
                L"Free some space there, then start Setup again.");
  return false;
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

  // Held until the run ends; the last objects to go.
  const WorkingTree tree;
  const WorkingFolder working = tree.CreateWorkingFolder();
  const std::wstring& folder = working.path();
  OpenSetupLog(folder);
  if (!tree.shared()) {
    setupLog << "Not trusted: " << tree.sharedParent() << "; working in " << folder << std::endl;
  }
  if (!IsSupportedWindowsVersion()) {
    ShowMessageBox(L"This product can only be installed on Windows 7 Service Pack 1 or higher",
                   MB_OK | MB_ICONERROR);
    return 1;
  }
  tree.CleanUpInterruptedRuns(working);

  // Destroyed in reverse: launcher, satellites, the files (the last written
  // first), the progress window, the image.
  ExecutableImage image;
  const std::uint64_t total = PayloadBytes(image);
  // Before the first byte: a full disk would cost the user hundreds of MB
  // and end in a write error.
  if (!HasRoomForPayload(image, folder))
    return 0;
  // The thirteen copies are one job to the user.
  ProgressWindow progress(instance, L"Preparing " + SetupTitle() + L"...", total);
  std::array<TempFile, kRootPayloadCount> files;
  std::wstring setupProgram;
  auto file = files.begin();
  for (const PayloadFile& payload : kPayloadFiles) {
    if (*payload.culture != L'\0')
      continue;
    const std::wstring target = folder + payload.name;
    image.ExtractResource(payload.id, target, &progress);
    // Owned only once its copy has returned.
    (file++)->SetPath(target);
    if (payload.id == kSetupProgramId)
      setupProgram = target;
  }

  SatelliteFolders satellites(folder, image);
  for (const PayloadFile& payload : kPayloadFiles) {
    if (*payload.culture != L'\0')
      satellites.Add(payload.culture, payload.id, &progress);
  }
  progress.Close();

  const ProcessLauncher launcher(setupProgram, L"/log=true", false);
  DWORD exitCode = 0xFFFFFFFF;
  // Nothing may stand between the checked copy and its start.
  if (!working.Resolves() || !launcher.RunAndWait(exitCode))
    ShowMessageBox(L"Failed to start Setup. Please contact Technical Support.",
                   MB_OK | MB_ICONERROR);
  else if (exitCode != 0)
    ReportSetupFailure();
  return 0;
}

}  // namespace ulverane
