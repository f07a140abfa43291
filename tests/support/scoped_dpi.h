#ifndef ULVERANE_TESTS_SUPPORT_SCOPED_DPI_H_
#define ULVERANE_TESTS_SUPPORT_SCOPED_DPI_H_

#include <windows.h>

namespace ulverane::testing {

// The screen's DPI for every program started from now on (the platform's
// LogPixels settings, of the user and of the fonts), put back when the
// object goes away. A setting of the whole prefix: nothing that measures
// windows may run meanwhile.
class ScopedDpi {
 public:
  explicit ScopedDpi(DWORD dpi) {
    for (Setting& setting : settings_) {
      DWORD size = sizeof(setting.saved);
      setting.had = RegGetValueW(setting.root, setting.key, L"LogPixels", RRF_RT_REG_DWORD, nullptr,
                                 &setting.saved, &size) == ERROR_SUCCESS;
      Write(setting, dpi);
    }
  }
  ScopedDpi(const ScopedDpi&) = delete;
  ScopedDpi& operator=(const ScopedDpi&) = delete;
  ~ScopedDpi() {
    for (const Setting& setting : settings_) {
      if (setting.had)
        Write(setting, setting.saved);
      else
        RegDeleteKeyValueW(setting.root, setting.key, L"LogPixels");
    }
  }

 private:
  struct Setting {
    HKEY root;
    const wchar_t* key;
    bool had;
    DWORD saved;
  };

  static void Write(const Setting& setting, DWORD dpi) {
    RegSetKeyValueW(setting.root, setting.key, L"LogPixels", REG_DWORD, &dpi, sizeof(dpi));
  }

  Setting settings_[2] = {{HKEY_CURRENT_USER, L"Control Panel\\Desktop", false, 0},
                          {HKEY_CURRENT_CONFIG, L"Software\\Fonts", false, 0}};
};

}  // namespace ulverane::testing

#endif  // ULVERANE_TESTS_SUPPORT_SCOPED_DPI_H_
