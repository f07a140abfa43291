#ifndef ULVERANE_BASE_SYSTEM_LIBRARY_H_
#define ULVERANE_BASE_SYSTEM_LIBRARY_H_

#include <windows.h>

#include "base/unique_resource.h"

namespace ulverane {

// Loads the DLL `name`, a bare file name, from the system folder by its full
// path, never from the application's folder or the current directory, so
// that a planted copy is never used; where the loader allows it, the DLL's
// own imports come from the system folder only, too. The caller owns the
// module; null when it cannot be loaded. Allocates nothing and never throws,
// so that the delay-load helper may call it.
HMODULE LoadSystemLibrary(const wchar_t* name) noexcept;

// A DLL loaded with LoadSystemLibrary, freed with the object.
class SystemLibrary {
 public:
  // Loading failures are not raised: Get then returns null.
  explicit SystemLibrary(const wchar_t* name) : module_(LoadSystemLibrary(name)) {}

  // The export `name` as a function pointer of type Function, or null.
  template <typename Function>
  Function Get(const char* name) const {
    if (!module_.valid())
      return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module_.get(), name)));
  }

 private:
  UniqueModule module_;
};

}  // namespace ulverane

#endif  // ULVERANE_BASE_SYSTEM_LIBRARY_H_
