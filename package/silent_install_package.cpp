#include "package/silent_install_package.h"

#include <msiquery.h>
#include <shellapi.h>

#include <cstdint>
#include <stdexcept>
#include <string>

#include "base/free_space.h"
#include "package/msi_handle.h"
#include "package/property_table.h"
#include "package/replacing_save.h"
#include "payload/executable_image.h"
#include "resources/payload_files.h"
#include "ui/extract_dialog.h"
#include "ui/extract_result_dialog.h"
#include "ui/no_room_box.h"
#include "ui/progress_window.h"

namespace ulverane {
namespace {

// What the commit may add to the package's file.
constexpr std::uint64_t kCommitRoom = 1024 * 1024;

const wchar_t* Flag(bool set) {
  return set ? L"#1" : L"#0";
}

// Whether the package, in whole clusters and with what the commit adds,
// fits beside `target`, where its new file is made; says so in a box owned
// by `owner` when it does not. A volume that cannot tell is taken to have
// room: the write's own failure still tells.
bool HasRoomBeside(HWND owner, const std::wstring& target, std::uint64_t size) {
  const size_t separator = target.rfind(L'\\');
  if (separator == std::wstring::npos)
    return true;
  const FreeSpace space(target.substr(0, separator + 1));
  const std::uint64_t needed = space.Taken(size) + kCommitRoom;
  if (!space.known() || space.available() >= needed)
    return true;
  ShowNoRoomBox(space, needed, L"to save the installer package", L"Choose another place for it.",
                owner);
  return false;
}

// By full path: a bare "explorer.exe" would find a program of that name in
// the program's folder or the current directory first. The system's Windows
// folder: on a Remote Desktop host the plain one may be a per-user copy
// without Explorer.
void ShowInExplorer(const std::wstring& packagePath) {
  wchar_t folder[MAX_PATH];
  const UINT length = GetSystemWindowsDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH)
    return;
  const std::wstring explorer = std::wstring(folder, length) + L"\\explorer.exe";
  const std::wstring parameters = L"/select,\"" + packagePath + L"\"";
  ShellExecuteW(nullptr, L"open", explorer.c_str(), parameters.c_str(), nullptr, SW_SHOWNORMAL);
}

}  // namespace

int CreateSilentInstallPackage(HINSTANCE instance, bool defaultsMode) {
  // First: the room for the package is checked as soon as its place is
  // chosen.
  ExecutableImage image;
  const std::uint32_t packageSize = image.ResourceSize(kPackageId);
  ExtractDialog options(instance, defaultsMode,
                        [packageSize](HWND owner, const std::wstring& target) {
                          return HasRoomBeside(owner, target, packageSize);
                        });
  if (options.RunModal() != 1)
    return 0;
  const std::wstring installFolder = options.installFolder();
  const std::wstring packagePath = options.packagePath();
  const bool desktopShortcut = options.desktopShortcut();
  const bool noUpdateCheck = options.noUpdateCheck();
  const bool noEula = options.noEula();

  // Released in reverse: view, database, the unfinished file, the image.
  ReplacingSave package(packagePath);
  {
    // Gone before the next window, a box or the completion dialog, shows.
    ProgressWindow progress(instance, L"Saving the installer package...", packageSize);
    image.ExtractResource(kPackageId, package.path(), &progress);
  }

  MsiHandle database;
  if (!database.Received(MsiOpenDatabaseW(package.path().c_str(), MSIDBOPEN_DIRECT,
                                          database.put()) == ERROR_SUCCESS))
    throw std::runtime_error("MsiOpenDatabase failed");
  MsiHandle view;
  if (!view.Received(MsiDatabaseOpenViewW(database.get(), L"SELECT * FROM `Property`",
                                          view.put()) == ERROR_SUCCESS))
    throw std::runtime_error("MsiDatabaseOpenView failed");
  if (MsiViewExecute(view.get(), 0) != ERROR_SUCCESS)
    throw std::runtime_error("MsiViewExecute failed");

  if (!defaultsMode) {
    SetProperty(view.get(), L"NO_UPDATE_CHECK_PROPERTY", Flag(noUpdateCheck));
    SetProperty(view.get(), L"NO_EULA_PROPERTY", Flag(noEula));
  }
  SetProperty(view.get(), L"INSTALL_DESKTOP_SHORTCUT_PROPERTY", Flag(desktopShortcut));
  if (!installFolder.empty())
    SetProperty(view.get(), L"INSTALL_DIR_PROPERTY", installFolder);

  if (MsiDatabaseCommit(database.get()) != ERROR_SUCCESS)
    throw std::runtime_error("MsiDatabaseCommit failed");
  // The file must be closed before it can take the target's place.
  view.reset();
  database.reset();
  package.Commit();

  ExtractResultDialog result(instance, packagePath);
  if (result.RunModal() == 1 && result.openExplorer())
    ShowInExplorer(packagePath);
  return 0;
}

}  // namespace ulverane
