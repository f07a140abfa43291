// Stands in for a program that a test starts (SetupUI.exe, OptionalFeatures.exe
// or any child): records what it got and exits with a chosen code.
//
// Environment:
//   ULVERANE_STANDIN_REPORT  file to append the record to (UTF-8 lines)
//   ULVERANE_STANDIN_EXIT    exit code, decimal or 0x-hex (default 0)
//   ULVERANE_STANDIN_READ    a file whose content at start-up is recorded
//   ULVERANE_STANDIN_LOAD    a DLL to load by bare name, the default search way
//   ULVERANE_STANDIN_WAIT    milliseconds to keep running before it exits
//
// Record: program=, args= (the command-line tail), cwd=, show= (the show
// command it was started with), read= (hex of the file's bytes), then one
// file= line per file in its folder tree (not in the system folder): relative
// path, size, FNV-1a hash.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "log/utf8.h"
#include "tests/support/temp_folder.h"

namespace {

using ulverane::ToUtf8;

std::wstring Env(const wchar_t* name) {
  wchar_t buffer[32768];
  const DWORD length = GetEnvironmentVariableW(name, buffer, 32768);
  return length == 0 || length >= 32768 ? std::wstring() : std::wstring(buffer, length);
}

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (const unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

// The tail of the command line, split the way the C runtime would skip the
// program's own name.
std::wstring Tail() {
  const wchar_t* p = GetCommandLineW();
  if (*p == L'"') {
    for (++p; *p && *p != L'"'; ++p) {
    }
    if (*p)
      ++p;
  } else {
    while (*p > L' ')
      ++p;
  }
  while (*p && *p <= L' ')
    ++p;
  return p;
}

}  // namespace

int wmain() {
  wchar_t path[MAX_PATH];
  const std::wstring program(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
  const std::wstring folder = program.substr(0, program.rfind(L'\\'));
  wchar_t cwd[MAX_PATH];
  const std::wstring current(cwd, GetCurrentDirectoryW(MAX_PATH, cwd));
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  GetStartupInfoW(&startup);

  std::string record =
      "program=" + ToUtf8(program) + "\nargs=" + ToUtf8(Tail()) + "\ncwd=" + ToUtf8(current) +
      "\nshow=" +
      std::to_string((startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1) + "\n";
  const std::wstring read = Env(L"ULVERANE_STANDIN_READ");
  if (!read.empty() && ulverane::testing::Exists(read))
    record += "read=" + Hex(ulverane::testing::ReadBytes(read)) + "\n";
  wchar_t system[MAX_PATH];
  const std::wstring systemFolder(system, GetSystemDirectoryW(system, MAX_PATH));
  // Beside a stand-in in the system folder lie thousands of files of no interest.
  const bool list = lstrcmpiW(folder.c_str(), systemFolder.c_str()) != 0;
  for (const std::wstring& entry :
       list ? ulverane::testing::ListTree(folder) : std::vector<std::wstring>()) {
    if (entry.back() == L'\\')
      continue;
    record += "file=" + ToUtf8(entry) + " " +
              ulverane::testing::FileDigest(folder + L"\\" + entry) + "\n";
  }
  const std::wstring load = Env(L"ULVERANE_STANDIN_LOAD");
  if (!load.empty())
    record += "loaded=" + std::to_string(LoadLibraryW(load.c_str()) != nullptr) + "\n";
  const std::wstring report = Env(L"ULVERANE_STANDIN_REPORT");
  if (!report.empty()) {
    std::ofstream out(report.c_str(), std::ios::binary | std::ios::app);
    out << record;
  }
  const std::wstring wait = Env(L"ULVERANE_STANDIN_WAIT");
  if (!wait.empty())
    Sleep(static_cast<DWORD>(std::wcstoul(wait.c_str(), nullptr, 0)));
  const std::wstring code = Env(L"ULVERANE_STANDIN_EXIT");
  return code.empty() ? 0 : static_cast<int>(std::wcstoul(code.c_str(), nullptr, 0));
}
