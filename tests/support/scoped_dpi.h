#ifndef ULVERANE_TESTS_SUPPORT_SCOPED_DPI_H_
#define ULVERANE_TESTS_SUPPORT_SCOPED_DPI_H_

#include <windows.h>

namespace ulverane::testing {

// The screen's DPI for every program started from now on (the platform's
// LogPixels setting), put back when the object goes away. A setting of the
// whole prefix: nothing that measures windows may run meanwhile.
class ScopedDpi {
 public:
  explicit ScopedDpi(DWORD dpi) {
    DWORD size = sizeof(saved_);
    if (RegGetValueW(HKEY_CURRENT_USER, kKey, kValue, RRF_RT_REG_DWORD, nullptr, &saved_, &size) !=
        ERROR_SUCCESS)
      saved_ = 96;
    Set(dpi);
  }
  ScopedDpi(const ScopedDpi&) = delete;
  ScopedDpi& operator=(const ScopedDpi&) = delete;
  ~ScopedDpi() { Set(saved_); }

 private:
  static constexpr const wchar_t* kKey = L"Control Panel\\Desktop";
  static constexpr const wchar_t* kValue = L"LogPixels";

  static void Set(DWORD dpi) {
    RegSetKeyValueW(HKEY_CURRENT_USER, kKey, kValue, REG_DWORD, &dpi, sizeof(dpi));
  }

  DWORD saved_ = 96;
};

}  // namespace ulverane::testing

#endif  // ULVERANE_TESTS_SUPPORT_SCOPED_DPI_H_
