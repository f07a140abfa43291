// A DLL planted beside Setup.exe under a system DLL's name. If it is ever
// loaded it leaves "<its file name>.loaded" beside itself.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    wchar_t path[MAX_PATH + 8];
    const DWORD length = GetModuleFileNameW(instance, path, MAX_PATH);
    if (length != 0 && length < MAX_PATH) {
      lstrcatW(path, L".loaded");
      const HANDLE mark = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
      if (mark != INVALID_HANDLE_VALUE)
        CloseHandle(mark);
    }
  }
  return TRUE;
}
