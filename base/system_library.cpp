#include "base/system_library.h"

#include <cwchar>

#include "base/kernel32_export.h"

namespace ulverane {
namespace {

using FolderFunction = UINT(WINAPI*)(LPWSTR, UINT);

// A 32-bit process on 64-bit Windows names its own system folder directly:
// "system32" would mean the 64-bit one while file-system redirection is off
// (around the start of Windows Features), and a DLL first used there would
// not load. 32-bit Windows has no such folder and fails the call.
UINT SystemDllFolder(wchar_t* folder, UINT size) {
#if !defined(_WIN64)
  if (const auto wow64 = Kernel32Export<FolderFunction>("GetSystemWow64DirectoryW")) {
    const UINT length = wow64(folder, size);
    if (length != 0 && length < size)
      return length;
  }
#endif
  return GetSystemDirectoryW(folder, size);
}

}  // namespace

HMODULE LoadSystemLibrary(const wchar_t* name) noexcept {
  // A name that reaches into another folder is no system DLL's.
  size_t nameLength = 0;
  for (; name[nameLength] != L'\0'; ++nameLength) {
    const wchar_t c = name[nameLength];
    if (c == L'\\' || c == L'/' || c == L':')
      return nullptr;
  }
  wchar_t path[MAX_PATH];
  const UINT length = SystemDllFolder(path, MAX_PATH);
  if (length == 0 || length + 1 + nameLength >= MAX_PATH)
    return nullptr;
  path[length] = L'\\';
  std::wmemcpy(path + length + 1, name, nameLength + 1);
  if (const HMODULE module = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32))
    return module;
  // Loaders without the search flags refuse them; the full path alone keeps
  // the DLL itself from anywhere else.
  return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace ulverane
