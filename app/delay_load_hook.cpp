// The delay-load helper loads each DLL by bare name. Where the loader has no
// SetDefaultDllDirectories (Windows 7 SP1 without its loader update, Vista,
// XP), that search starts in the program's folder, and a copy of msi.dll or
// comdlg32.dll planted beside Setup.exe would be loaded. The helper's
// notification hook loads every one from the system folder instead, on
// every Windows. Linked into the executable itself, so that this definition
// is found before the runtime library's empty one.
#include <windows.h>
#include <delayimp.h>

#include "base/system_library.h"

namespace {

FARPROC WINAPI LoadFromSystemFolder(unsigned notification, PDelayLoadInfo info) {
  if (notification != dliNotePreLoadLibrary || info == nullptr || info->szDll == nullptr)
    return nullptr;
  // The names come from our own import table: short and plain ASCII.
  wchar_t name[MAX_PATH];
  size_t i = 0;
  for (; info->szDll[i] != '\0'; ++i) {
    if (i + 1 == MAX_PATH)
      return nullptr;
    name[i] = static_cast<unsigned char>(info->szDll[i]);
  }
  name[i] = L'\0';
  return reinterpret_cast<FARPROC>(ulverane::LoadSystemLibrary(name));
}

}  // namespace

// <delayimp.h> declares it with C linkage, which the definition keeps.
PfnDliHook __pfnDliNotifyHook2 = LoadFromSystemFolder;
