#include "tests/support/wow64.h"

#include <windows.h>

namespace ulverane::testing {
namespace {

// The platform's calls themselves, not the product's holder under test.
template <typename Action>
auto WithoutRedirection(Action action) {
  PVOID previous = nullptr;
  const BOOL disabled = Wow64DisableWow64FsRedirection(&previous);
  const auto result = action();
  if (disabled)
    Wow64RevertWow64FsRedirection(previous);
  return result;
}

}  // namespace

bool IsWow64() {
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

std::wstring SystemFolder() {
  wchar_t folder[MAX_PATH];
  return std::wstring(folder, GetSystemDirectoryW(folder, MAX_PATH));
}

bool CopyToNativeSystemFolder(const std::wstring& source, const std::wstring& name) {
  const std::wstring target = SystemFolder() + L"\\" + name;
  return WithoutRedirection(
      [&] { return CopyFileW(source.c_str(), target.c_str(), FALSE) != FALSE; });
}

void DeleteFromNativeSystemFolder(const std::wstring& name) {
  const std::wstring target = SystemFolder() + L"\\" + name;
  WithoutRedirection([&] { return DeleteFileW(target.c_str()); });
}

void SetDotNet35Key(bool present, unsigned long view) {
  const wchar_t key[] = L"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v3.5";
  if (!present) {
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key, view, 0);
    return;
  }
  HKEY created;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_WRITE | view, nullptr, &created,
                      nullptr) == ERROR_SUCCESS)
    RegCloseKey(created);
}

}  // namespace ulverane::testing
