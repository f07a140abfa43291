// The yardstick for the whole default run: the least a setup must do, with
// nothing of ours in it. Started the same way as the setup, it copies the
// payload's byte ranges out of the setup executable in 1 MiB steps into a
// fresh folder in %TEMP%, starts the copied SetupUI.exe through the shell as
// the setup does, waits for it, and deletes what it copied. Run by
// setup_bench (anchor mode).
//
//   setup_anchor <source-file> <offset>:<size>:<relative-path>...
//
// Exits with SetupUI.exe's exit code, or 100 + a step number on failure.
#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench.h"

namespace {

using ulverane::bench::ParseRange;
using ulverane::bench::Range;

// The setup's own launch: same verb, flags and window state.
bool RunAndWait(const std::wstring& program, DWORD* exitCode) {
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"open";
  info.lpFile = program.c_str();
  info.lpParameters = L"/log=true";
  info.nShow = SW_SHOWDEFAULT;
  if (!ShellExecuteExW(&info) || info.hProcess == nullptr)
    return false;
  WaitForSingleObject(info.hProcess, INFINITE);
  const BOOL ok = GetExitCodeProcess(info.hProcess, exitCode);
  CloseHandle(info.hProcess);
  return ok != FALSE;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  if (__argc < 3)
    return 100;
  std::vector<Range> ranges(static_cast<size_t>(__argc - 2));
  for (int i = 2; i < __argc; ++i) {
    if (!ParseRange(__wargv[i], &ranges[static_cast<size_t>(i - 2)]))
      return 100;
  }

  wchar_t temp[MAX_PATH];
  const DWORD length = GetTempPathW(MAX_PATH, temp);
  if (length == 0 || length >= MAX_PATH)
    return 101;
  std::wstring folder(temp, length);
  if (folder.back() != L'\\')
    folder += L'\\';
  folder += L"UlveraneBenchAnchor-" + std::to_wstring(GetCurrentProcessId());
  if (!CreateDirectoryW(folder.c_str(), nullptr))
    return 102;

  const HANDLE source = ulverane::bench::OpenSource(__wargv[1]);
  bool ok = source != INVALID_HANDLE_VALUE;
  std::vector<std::wstring> subFolders;
  std::wstring setupUi;
  for (const Range& range : ranges) {
    if (!ok)
      break;
    const size_t separator = range.path.rfind(L'\\');
    if (separator != std::wstring::npos) {
      const std::wstring sub = folder + L"\\" + range.path.substr(0, separator);
      if (CreateDirectoryW(sub.c_str(), nullptr))
        subFolders.push_back(sub);
    }
    const std::wstring target = folder + L"\\" + range.path;
    ok = ulverane::bench::CopyRange(source, range.offset, range.size, target.c_str());
    if (range.path == L"SetupUI.exe")
      setupUi = target;
  }
  if (source != INVALID_HANDLE_VALUE)
    CloseHandle(source);

  DWORD exitCode = 103;
  if (ok && (setupUi.empty() || !RunAndWait(setupUi, &exitCode)))
    exitCode = 104;
  else if (!ok)
    exitCode = 105;

  for (const Range& range : ranges)
    DeleteFileW((folder + L"\\" + range.path).c_str());
  for (const std::wstring& sub : subFolders)
    RemoveDirectoryW(sub.c_str());
  if (!RemoveDirectoryW(folder.c_str()) && exitCode == 0)
    exitCode = 106;
  return static_cast<int>(exitCode);
}
