#ifndef ULVERANE_BASE_SYSTEM_LIBRARY_H_
#define ULVERANE_BASE_SYSTEM_LIBRARY_H_

#include <windows.h>

#include "base/unique_resource.h"

namespace ulverane {

// A DLL loaded from the system folder only, never from the application's
// folder or the current directory, so that a planted copy is never used.
class SystemLibrary {
 public:
  // Loading failures are not raised: Get then returns null.
  explicit SystemLibrary(const wchar_t* name);

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
