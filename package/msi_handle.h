#ifndef ULVERANE_PACKAGE_MSI_HANDLE_H_
#define ULVERANE_PACKAGE_MSI_HANDLE_H_

#include <windows.h>
#include <msi.h>

#include "base/unique_resource.h"

namespace ulverane {

struct MsiHandleTraits {
  using Type = MSIHANDLE;
  static Type Invalid() noexcept { return 0; }
  static void Close(Type handle) noexcept { MsiCloseHandle(handle); }
};

// Sole owner of one Windows Installer handle (database, view or record);
// 0 means none.
using MsiHandle = UniqueResource<MsiHandleTraits>;

}  // namespace ulverane

#endif  // ULVERANE_PACKAGE_MSI_HANDLE_H_
