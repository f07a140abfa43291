#ifndef ULVERANE_TESTS_SUPPORT_APP_DEFAULTS_H_
#define ULVERANE_TESTS_SUPPORT_APP_DEFAULTS_H_

#include <windows.h>

#include <string>
#include <vector>

namespace ulverane::testing {

// Per-program settings of the platform (Wine's AppDefaults key), for the
// programs named `program` only, removed again when the object goes away.
class AppDefaults {
 public:
  explicit AppDefaults(const std::wstring& program)
      : key_(L"Software\\Wine\\AppDefaults\\" + program) {}
  AppDefaults(const AppDefaults&) = delete;
  AppDefaults& operator=(const AppDefaults&) = delete;
  ~AppDefaults() { RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str()); }

  // Loads these DLLs (names with extension) from a file found by the search
  // path before the platform's own copy, as Windows would load a DLL found
  // beside the program.
  AppDefaults& NativeDlls(const std::vector<std::wstring>& dlls) {
    for (const std::wstring& dll : dlls)
      Set(L"\\DllOverrides", dll.substr(0, dll.find(L'.')), L"native,builtin");
    return *this;
  }

  // The Windows version the program sees ("vista", "win7", ...).
  AppDefaults& Version(const std::wstring& version) {
    Set(L"", L"Version", version);
    return *this;
  }

 private:
  void Set(const std::wstring& subKey, const std::wstring& name, const std::wstring& value) {
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, (key_ + subKey).c_str(), 0, nullptr, 0, KEY_WRITE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
      return;
    RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }

  std::wstring key_;
};

}  // namespace ulverane::testing

#endif  // ULVERANE_TESTS_SUPPORT_APP_DEFAULTS_H_
