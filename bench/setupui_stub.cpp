// Stands in for SetupUI.exe in the setup benchmark: writes the moment it ran
// (a QueryPerformanceCounter count, which is system-wide) as decimal text to
// the file named by ULVERANE_BENCH_STAMP, then exits with 0 at once.
#include <windows.h>

#include <charconv>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  wchar_t path[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(L"ULVERANE_BENCH_STAMP", path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH)
    return 0;
  char text[32];
  const auto end = std::to_chars(text, text + sizeof(text), now.QuadPart).ptr;
  const HANDLE file =
      CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(end - text), &written, nullptr);
    CloseHandle(file);
  }
  return 0;
}
