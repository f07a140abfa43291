// The hook table of fault_injection.dll (see injector.h): how each function
// fails, and what its trace line gives after the calling place.
//
// Environment, read when the DLL is loaded:
//   ULVERANE_FAULT_HIDE with SetDefaultDllDirectories among its names:
//       LoadLibraryExW with any LOAD_LIBRARY_SEARCH_* flag fails with
//       ERROR_INVALID_PARAMETER, as on a system without that loader update.
//   ULVERANE_FAULT_SLOW=<ms>  each WriteFile of the program's own code first
//       waits that long: a slow drive, or a scanner looking at each write.
// The trace gives the access that CreateFileW asks for (hex, after the
// path), the security descriptor that CreateDirectoryW is handed,
// and the DACL that SetSecurityInfo is, in SDDL ("-" for none), and for calls
// about an open file its path, as the program opened it with CreateFileW.
// ShellExecuteW and ShellExecuteExW give lpFile and lpParameters.
//
// Release functions (CloseHandle, FreeLibrary, RegCloseKey,
// MsiCloseHandle, RpcStringFreeW, ImageUnload, DestroyIcon, DestroyWindow and
// Wow64RevertWow64FsRedirection) are left alone: they cannot fail in a way
// that leaves the program anything to do; so are those that cannot fail at
// all (GetTickCount, TranslateMessage, DispatchMessageW).
#include <windows.h>
#include <aclapi.h>
#include <commdlg.h>
#include <imagehlp.h>
#include <msi.h>
#include <msiquery.h>
#include <rpc.h>
#include <sddl.h>
#include <shellapi.h>

#include <cstdlib>

#include "injector.h"

namespace fault {
namespace {

bool oldLoader = false;
DWORD slowWrites = 0;

// A name, or the number of an integer resource or ordinal.
std::string NameOrId(const wchar_t* name) {
  if (IS_INTRESOURCE(name))
    return "#" + std::to_string(reinterpret_cast<std::uintptr_t>(name));
  return Utf8(name);
}

// SDDL of the parts of `descriptor` that `parts` names, or "-".
std::string Sddl(PSECURITY_DESCRIPTOR descriptor, SECURITY_INFORMATION parts) {
  LPWSTR text = nullptr;
  if (descriptor == nullptr || !ConvertSecurityDescriptorToStringSecurityDescriptorW(
                                   descriptor, SDDL_REVISION_1, parts, &text, nullptr))
    return "-";
  const std::string result = Utf8(text);
  LocalFree(text);
  return result;
}

// clang-format off
// Files and folders.
HOOK(BOOL, SetFilePointerEx, FALSE, ERROR_ACCESS_DENIED,
     (HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER position, DWORD method),
     (file, distance, position, method), std::to_string(distance.QuadPart))
HOOK(BOOL, GetFileSizeEx, FALSE, ERROR_ACCESS_DENIED, (HANDLE file, PLARGE_INTEGER size),
     (file, size))
HOOK(BOOL, DeleteFileW, FALSE, ERROR_ACCESS_DENIED, (LPCWSTR path), (path), Utf8(path))
HOOK(DWORD, GetFileAttributesW, INVALID_FILE_ATTRIBUTES, ERROR_ACCESS_DENIED, (LPCWSTR path),
     (path), Utf8(path))
// Not a sharing violation or access denied: those are worth retrying, a full
// disk is not.
HOOK(BOOL, MoveFileExW, FALSE, ERROR_DISK_FULL, (LPCWSTR from, LPCWSTR to, DWORD flags),
     (from, to, flags), Utf8(from), Utf8(to))
HOOK(UINT, GetTempFileNameW, 0, ERROR_ACCESS_DENIED,
     (LPCWSTR folder, LPCWSTR prefix, UINT unique, LPWSTR name), (folder, prefix, unique, name),
     Utf8(folder), Utf8(prefix))
HOOK(DWORD, GetTempPathW, 0, ERROR_PATH_NOT_FOUND, (DWORD size, LPWSTR path), (size, path))
HOOK(BOOL, CreateDirectoryW, FALSE, ERROR_ACCESS_DENIED,
     (LPCWSTR path, LPSECURITY_ATTRIBUTES security), (path, security), Utf8(path),
     Sddl(security != nullptr ? security->lpSecurityDescriptor : nullptr,
          OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION))
HOOK(BOOL, SetFileAttributesW, FALSE, ERROR_ACCESS_DENIED, (LPCWSTR path, DWORD attributes),
     (path, attributes), Utf8(path), Hex(attributes))
HOOK(BOOL, FlushFileBuffers, FALSE, ERROR_WRITE_FAULT, (HANDLE file), (file), PathOf(file))
HOOK(BOOL, SetFileTime, FALSE, ERROR_ACCESS_DENIED,
     (HANDLE file, const FILETIME* created, const FILETIME* accessed, const FILETIME* written),
     (file, created, accessed, written), PathOf(file))
HOOK(BOOL, GetFileInformationByHandleEx, FALSE, ERROR_ACCESS_DENIED,
     (HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID out, DWORD size),
     (file, kind, out, size), PathOf(file), std::to_string(static_cast<int>(kind)))
HOOK(BOOL, GetVolumePathNameW, FALSE, ERROR_PATH_NOT_FOUND,
     (LPCWSTR path, LPWSTR root, DWORD size), (path, root, size), Utf8(path))
// A network path that does not tell.
HOOK(BOOL, GetDiskFreeSpaceW, FALSE, ERROR_ACCESS_DENIED,
     (LPCWSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector, LPDWORD freeClusters,
      LPDWORD clusters),
     (root, sectorsPerCluster, bytesPerSector, freeClusters, clusters), Utf8(root))
HOOK(BOOL, RemoveDirectoryW, FALSE, ERROR_SHARING_VIOLATION, (LPCWSTR path), (path), Utf8(path))
HOOK(DWORD, GetCurrentDirectoryW, 0, ERROR_PATH_NOT_FOUND, (DWORD size, LPWSTR path),
     (size, path))
HOOK(BOOL, SetCurrentDirectoryW, FALSE, ERROR_PATH_NOT_FOUND, (LPCWSTR path), (path), Utf8(path))
HOOK(DWORD, GetModuleFileNameW, 0, ERROR_ACCESS_DENIED, (HMODULE module, LPWSTR path, DWORD size),
     (module, path, size))
HOOK(DWORD, GetShortPathNameW, 0, ERROR_PATH_NOT_FOUND, (LPCWSTR path, LPWSTR out, DWORD size),
     (path, out, size), Utf8(path))
HOOK(UINT, GetSystemDirectoryW, 0, ERROR_PATH_NOT_FOUND, (LPWSTR path, UINT size), (path, size))
HOOK(UINT, GetSystemWindowsDirectoryW, 0, ERROR_PATH_NOT_FOUND, (LPWSTR path, UINT size),
     (path, size))
HOOK(UINT, GetSystemWow64DirectoryW, 0, ERROR_PATH_NOT_FOUND, (LPWSTR path, UINT size),
     (path, size))
HOOK(HANDLE, FindFirstFileW, INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED,
     (LPCWSTR pattern, LPWIN32_FIND_DATAW data), (pattern, data), Utf8(pattern))
HOOK(BOOL, FindNextFileW, FALSE, ERROR_ACCESS_DENIED, (HANDLE find, LPWIN32_FIND_DATAW data),
     (find, data))

// Strings.
HOOK(int, WideCharToMultiByte, 0, ERROR_INSUFFICIENT_BUFFER,
     (UINT page, DWORD flags, LPCWCH text, int length, LPSTR out, int size, LPCCH fallback,
      LPBOOL used),
     (page, flags, text, length, out, size, fallback, used), std::to_string(page))
HOOK(int, MultiByteToWideChar, 0, ERROR_NO_UNICODE_TRANSLATION,
     (UINT page, DWORD flags, LPCCH text, int length, LPWSTR out, int size),
     (page, flags, text, length, out, size), std::to_string(page))

// Libraries and resources.
HOOK(BOOL, SetDllDirectoryW, FALSE, ERROR_ACCESS_DENIED, (LPCWSTR path), (path), Utf8(path))
HOOK(HRSRC, FindResourceW, nullptr, ERROR_RESOURCE_NAME_NOT_FOUND,
     (HMODULE module, LPCWSTR name, LPCWSTR type), (module, name, type), NameOrId(name),
     NameOrId(type))
HOOK(HGLOBAL, LoadResource, nullptr, ERROR_NOT_ENOUGH_MEMORY, (HMODULE module, HRSRC resource),
     (module, resource))
HOOK(PLOADED_IMAGE, ImageLoad, nullptr, ERROR_SHARING_VIOLATION, (PCSTR name, PCSTR path),
     (name, path), Narrow(name))
HOOK(BOOL, SetDefaultDllDirectories, FALSE, ERROR_INVALID_PARAMETER, (DWORD flags), (flags),
     Hex(flags))
HOOK(BOOL, SetSearchPathMode, FALSE, ERROR_ACCESS_DENIED, (DWORD flags), (flags), Hex(flags))
HOOK(BOOL, Wow64DisableWow64FsRedirection, FALSE, ERROR_ACCESS_DENIED, (PVOID* previous),
     (previous))

// Processes and the system.
HOOK(HINSTANCE, ShellExecuteW, reinterpret_cast<HINSTANCE>(SE_ERR_PNF), ERROR_PATH_NOT_FOUND,
     (HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR folder, INT show),
     (owner, verb, file, parameters, folder, show), Utf8(file), Utf8(parameters))
HOOK(DWORD, WaitForSingleObject, WAIT_FAILED, ERROR_ACCESS_DENIED, (HANDLE object, DWORD time),
     (object, time), std::to_string(time))
HOOK(BOOL, GetExitCodeProcess, FALSE, ERROR_ACCESS_DENIED, (HANDLE process, LPDWORD code),
     (process, code))
HOOK(BOOL, VerifyVersionInfoW, FALSE, ERROR_OLD_WIN_VERSION,
     (LPOSVERSIONINFOEXW version, DWORD type, DWORDLONG mask), (version, type, mask))
HOOK(LSTATUS, RegOpenKeyExW, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED,
     (HKEY parent, LPCWSTR name, DWORD options, REGSAM access, PHKEY key),
     (parent, name, options, access, key), Utf8(name))
HOOK(RPC_STATUS, UuidCreate, RPC_S_OUT_OF_MEMORY, RPC_S_OUT_OF_MEMORY, (UUID* uuid), (uuid))

// Security.
HOOK(BOOL, OpenProcessToken, FALSE, ERROR_ACCESS_DENIED,
     (HANDLE process, DWORD access, PHANDLE token), (process, access, token))
HOOK(BOOL, ConvertSidToStringSidW, FALSE, ERROR_NOT_ENOUGH_MEMORY, (PSID sid, LPWSTR* text),
     (sid, text))
HOOK(BOOL, ConvertStringSecurityDescriptorToSecurityDescriptorW, FALSE, ERROR_NOT_ENOUGH_MEMORY,
     (LPCWSTR text, DWORD revision, PSECURITY_DESCRIPTOR* descriptor, PULONG size),
     (text, revision, descriptor, size), Utf8(text))
HOOK(BOOL, GetSecurityDescriptorControl, FALSE, ERROR_INVALID_SECURITY_DESCR,
     (PSECURITY_DESCRIPTOR descriptor, PSECURITY_DESCRIPTOR_CONTROL control, LPDWORD revision),
     (descriptor, control, revision))
HOOK(RPC_STATUS, UuidToStringW, RPC_S_OUT_OF_MEMORY, RPC_S_OUT_OF_MEMORY,
     (UUID* uuid, RPC_WSTR* text), (uuid, text))

// Windows Installer: an error status.
HOOK(UINT, MsiOpenDatabaseW, ERROR_OPEN_FAILED, ERROR_OPEN_FAILED,
     (LPCWSTR path, LPCWSTR persist, MSIHANDLE* database), (path, persist, database), Utf8(path))
HOOK(UINT, MsiDatabaseOpenViewW, ERROR_FUNCTION_FAILED, ERROR_FUNCTION_FAILED,
     (MSIHANDLE database, LPCWSTR query, MSIHANDLE* view), (database, query, view), Utf8(query))
HOOK(UINT, MsiViewExecute, ERROR_FUNCTION_FAILED, ERROR_FUNCTION_FAILED,
     (MSIHANDLE view, MSIHANDLE record), (view, record))
HOOK(MSIHANDLE, MsiCreateRecord, 0, ERROR_NOT_ENOUGH_MEMORY, (UINT fields), (fields))
HOOK(UINT, MsiRecordSetStringW, ERROR_INVALID_HANDLE, ERROR_INVALID_HANDLE,
     (MSIHANDLE record, UINT field, LPCWSTR value), (record, field, value), Utf8(value))
HOOK(UINT, MsiViewModify, ERROR_FUNCTION_FAILED, ERROR_FUNCTION_FAILED,
     (MSIHANDLE view, MSIMODIFY mode, MSIHANDLE record), (view, mode, record),
     std::to_string(static_cast<int>(mode)))
HOOK(UINT, MsiDatabaseCommit, ERROR_FUNCTION_FAILED, ERROR_FUNCTION_FAILED, (MSIHANDLE database),
     (database))

// Windows and dialogs.
HOOK(INT_PTR, DialogBoxParamW, -1, ERROR_NOT_ENOUGH_MEMORY,
     (HINSTANCE instance, LPCWSTR name, HWND owner, DLGPROC procedure, LPARAM parameter),
     (instance, name, owner, procedure, parameter), NameOrId(name))
HOOK(int, MessageBoxW, 0, ERROR_NOT_ENOUGH_MEMORY,
     (HWND owner, LPCWSTR text, LPCWSTR caption, UINT flags), (owner, text, caption, flags),
     Utf8(text))
HOOK(int, MessageBoxA, 0, ERROR_NOT_ENOUGH_MEMORY,
     (HWND owner, LPCSTR text, LPCSTR caption, UINT flags), (owner, text, caption, flags),
     Narrow(text))
HOOK(BOOL, GetSaveFileNameW, FALSE, ERROR_NOT_ENOUGH_MEMORY, (OPENFILENAMEW* request), (request))
HOOK(HANDLE, LoadImageW, nullptr, ERROR_RESOURCE_NAME_NOT_FOUND,
     (HINSTANCE instance, LPCWSTR name, UINT type, int width, int height, UINT flags),
     (instance, name, type, width, height, flags), NameOrId(name))
HOOK(BOOL, GetWindowRect, FALSE, ERROR_INVALID_WINDOW_HANDLE, (HWND window, LPRECT rect),
     (window, rect))
HOOK(BOOL, ScreenToClient, FALSE, ERROR_INVALID_WINDOW_HANDLE, (HWND window, LPPOINT point),
     (window, point))
HOOK(BOOL, MoveWindow, FALSE, ERROR_INVALID_WINDOW_HANDLE,
     (HWND window, int x, int y, int width, int height, BOOL repaint),
     (window, x, y, width, height, repaint))
HOOK(HWND, CreateDialogParamW, nullptr, ERROR_NOT_ENOUGH_MEMORY,
     (HINSTANCE instance, LPCWSTR name, HWND owner, DLGPROC procedure, LPARAM parameter),
     (instance, name, owner, procedure, parameter), NameOrId(name))
// No message waiting, and one that is not the dialog's.
HOOK(BOOL, PeekMessageW, FALSE, ERROR_INVALID_WINDOW_HANDLE,
     (LPMSG message, HWND window, UINT first, UINT last, UINT remove),
     (message, window, first, last, remove))
HOOK(BOOL, IsDialogMessageW, FALSE, ERROR_INVALID_WINDOW_HANDLE, (HWND dialog, LPMSG message),
     (dialog, message))
HOOK(BOOL, SetWindowPos, FALSE, ERROR_INVALID_WINDOW_HANDLE,
     (HWND window, HWND after, int x, int y, int width, int height, UINT flags),
     (window, after, x, y, width, height, flags))
// Another desktop than the input one.
HOOK(BOOL, GetCursorPos, FALSE, ERROR_ACCESS_DENIED, (LPPOINT point), (point))
HOOK(HMONITOR, MonitorFromPoint, nullptr, ERROR_INVALID_PARAMETER, (POINT point, DWORD flags),
     (point, flags))
HOOK(BOOL, GetMonitorInfoW, FALSE, ERROR_INVALID_MONITOR_HANDLE,
     (HMONITOR monitor, LPMONITORINFO info), (monitor, info))
// clang-format on

// Those that fail in a way of their own.

// Either fails, or moves half the bytes asked for.
decltype(&ReadFile) realReadFile;
BOOL WINAPI HookReadFile(HANDLE file, LPVOID data, DWORD size, LPDWORD done, LPOVERLAPPED at) {
  const Outcome outcome = Count(CALLER, "ReadFile", {std::to_string(size)});
  if (outcome == Outcome::kFail)
    return Failed(FALSE, ERROR_ACCESS_DENIED);
  return realReadFile(file, data, outcome == Outcome::kShort ? size / 2 : size, done, at);
}
REGISTER(ReadFile)

decltype(&WriteFile) realWriteFile;
BOOL WINAPI HookWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD done, LPOVERLAPPED at) {
  if (slowWrites != 0 && !PlaceOf(CALLER).empty())
    Sleep(slowWrites);
  const Outcome outcome = Count(CALLER, "WriteFile", {std::to_string(size)});
  if (outcome == Outcome::kFail)
    return Failed(FALSE, ERROR_DISK_FULL);
  return realWriteFile(file, data, outcome == Outcome::kShort ? size / 2 : size, done, at);
}
REGISTER(WriteFile)

// Also refuses the search flags where the loader update is hidden.
decltype(&LoadLibraryExW) realLoadLibraryExW;
HMODULE WINAPI HookLoadLibraryExW(LPCWSTR name, HANDLE file, DWORD flags) {
  // LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR up to LOAD_LIBRARY_SEARCH_DEFAULT_DIRS.
  constexpr DWORD kSearchFlags = 0x1F00;
  if (Failing(Count(CALLER, "LoadLibraryExW", {Utf8(name), Hex(flags)})))
    return Failed<HMODULE>(nullptr, ERROR_ACCESS_DENIED);
  if (oldLoader && (flags & kSearchFlags) != 0)
    return Failed<HMODULE>(nullptr, ERROR_INVALID_PARAMETER);
  return realLoadLibraryExW(name, file, flags);
}
REGISTER(LoadLibraryExW)

decltype(&ShellExecuteExW) realShellExecuteExW;
BOOL WINAPI HookShellExecuteExW(SHELLEXECUTEINFOW* info) {
  if (Failing(Count(CALLER, "ShellExecuteExW", {Utf8(info->lpFile), Utf8(info->lpParameters)}))) {
    info->hInstApp = reinterpret_cast<HINSTANCE>(SE_ERR_PNF);
    return Failed(FALSE, ERROR_PATH_NOT_FOUND);
  }
  return realShellExecuteExW(info);
}
REGISTER(ShellExecuteExW)

decltype(&GetWindowTextW) realGetWindowTextW;
int WINAPI HookGetWindowTextW(HWND window, LPWSTR text, int size) {
  if (Failing(Count(CALLER, "GetWindowTextW", {}))) {
    if (size > 0)
      text[0] = L'\0';
    return Failed(0, ERROR_INVALID_WINDOW_HANDLE);
  }
  return realGetWindowTextW(window, text, size);
}
REGISTER(GetWindowTextW)

decltype(&CreateFileW) realCreateFileW;
HANDLE WINAPI HookCreateFileW(LPCWSTR path,
                              DWORD access,
                              DWORD share,
                              LPSECURITY_ATTRIBUTES security,
                              DWORD how,
                              DWORD flags,
                              HANDLE model) {
  if (Failing(Count(CALLER, "CreateFileW", {Utf8(path), Hex(access)})))
    return Failed(INVALID_HANDLE_VALUE, ERROR_SHARING_VIOLATION);
  const HANDLE file = realCreateFileW(path, access, share, security, how, flags, model);
  if (file != INVALID_HANDLE_VALUE)
    RememberOpened(file, {Utf8(path), flags});
  return file;
}
REGISTER(CreateFileW)

decltype(&SetSecurityInfo) realSetSecurityInfo;
DWORD WINAPI HookSetSecurityInfo(HANDLE handle,
                                 SE_OBJECT_TYPE type,
                                 SECURITY_INFORMATION parts,
                                 PSID owner,
                                 PSID group,
                                 PACL dacl,
                                 PACL sacl) {
  SECURITY_DESCRIPTOR shown;
  InitializeSecurityDescriptor(&shown, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&shown, dacl != nullptr, dacl, FALSE);
  if (parts & PROTECTED_DACL_SECURITY_INFORMATION)
    SetSecurityDescriptorControl(&shown, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
  if (Failing(Count(CALLER, "SetSecurityInfo",
                    {PathOf(handle), Sddl(&shown, DACL_SECURITY_INFORMATION)})))
    return Failed<DWORD>(ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED);
  return realSetSecurityInfo(handle, type, parts, owner, group, dacl, sacl);
}
REGISTER(SetSecurityInfo)

}  // namespace

void StartHooks() {
  oldLoader = Hidden("SetDefaultDllDirectories");
  slowWrites =
      static_cast<DWORD>(std::wcstoul(Environment(L"ULVERANE_FAULT_SLOW").c_str(), nullptr, 10));
}

}  // namespace fault
