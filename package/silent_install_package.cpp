#include "package/silent_install_package.h"

#include <aclapi.h>
#include <msiquery.h>
#include <shellapi.h>

#include <cstdint>
#include <stdexcept>
#include <string>

#include "base/busy_file.h"
#include "base/free_space.h"
#include "base/temp_file.h"
#include "base/unique_resource.h"
#include "package/msi_handle.h"
#include "package/property_table.h"
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

// An existing target must be one we may replace: not a folder, not
// read-only, not held open by anyone. Told before any work is done. The
// attributes are asked too, since an administrator's write access may
// override them.
void CheckTarget(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return;
  if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))
    RaiseImageLoadingError("CreateFile failed");
  const UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid())
    RaiseImageLoadingError("CreateFile failed");
}

// A new, empty file of our own in the target's folder, so that the final
// rename stays on one volume. A folder that cannot be written fails here.
std::wstring NewFileBeside(const std::wstring& target) {
  const size_t separator = target.rfind(L'\\');
  if (separator == std::wstring::npos)
    RaiseImageLoadingError("GetTempFileName failed");
  wchar_t path[MAX_PATH];
  if (GetTempFileNameW(target.substr(0, separator + 1).c_str(), L"ulv", 0, path) == 0)
    RaiseImageLoadingError("GetTempFileName failed");
  return path;
}

// Makes the new package's data durable before it takes the target's place,
// so that a power cut after the move cannot leave the target holding data
// that never reached the disk: the rename alone flushes nothing. Where a
// file is replaced, the package takes over its attributes and permissions,
// as Windows applications keep them when they save over a file; that
// happens on the new file before the move, so that a failure leaves the
// chosen file as it was. The attributes are best effort; permissions that
// could not be copied end the save, since the package would be readable by
// more than the file it replaces.
void PrepareToReplace(const std::wstring& package, const std::wstring& target) {
  const DWORD attributes = GetFileAttributesW(target.c_str());
  constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                          FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & kKept) != 0)
    SetFileAttributesW(package.c_str(), attributes & kKept);
  // A scanner or indexer may have the fresh file open for a moment.
  const UniqueFile file = OpenAloneWhenFree(package, GENERIC_WRITE | WRITE_DAC);
  if (!file.valid())
    throw std::runtime_error("CreateFile failed");
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    PACL permissions = nullptr;
    UniqueLocalMemory descriptor;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!descriptor.Received(GetNamedSecurityInfoW(target.c_str(), SE_FILE_OBJECT,
                                                   DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                                   &permissions, nullptr,
                                                   descriptor.put()) == ERROR_SUCCESS))
      throw std::runtime_error("GetNamedSecurityInfo failed");
    if (!GetSecurityDescriptorControl(descriptor.get(), &control, &revision))
      throw std::runtime_error("GetSecurityDescriptorControl failed");
    // A null DACL lets everyone write: the package, to be installed with
    // the highest rights, keeps what it inherited from its folder instead.
    // Inherited entries come from the folder, which both files share.
    if (permissions != nullptr &&
        SetSecurityInfo(file.get(), SE_FILE_OBJECT,
                        DACL_SECURITY_INFORMATION |
                            (control & SE_DACL_PROTECTED ? PROTECTED_DACL_SECURITY_INFORMATION
                                                         : UNPROTECTED_DACL_SECURITY_INFORMATION),
                        nullptr, nullptr, permissions, nullptr) != ERROR_SUCCESS)
      throw std::runtime_error("SetSecurityInfo failed");
  }
  if (!FlushFileBuffers(file.get()))
    throw std::runtime_error("FlushFileBuffers failed");
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

  CheckTarget(packagePath);
  // Released in reverse: view, database, the unfinished file, the image.
  TempFile package;
  package.SetPath(NewFileBeside(packagePath));
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
  PrepareToReplace(package.path(), packagePath);
  if (!ReplaceWhenFree(package.path(), packagePath))
    throw std::runtime_error("MoveFileEx failed");
  package.Keep();

  ExtractResultDialog result(instance, packagePath);
  if (result.RunModal() == 1 && result.openExplorer())
    ShowInExplorer(packagePath);
  return 0;
}

}  // namespace ulverane
