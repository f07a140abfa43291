#ifndef ULVERANE_PACKAGE_SILENT_INSTALL_PACKAGE_H_
#define ULVERANE_PACKAGE_SILENT_INSTALL_PACKAGE_H_

#include <windows.h>

namespace ulverane {

// The "/extract" and "/defaults" modes. Not built yet: returns 0 and does
// nothing.
int CreateSilentInstallPackage(HINSTANCE instance, bool defaultsMode);

}  // namespace ulverane

#endif  // ULVERANE_PACKAGE_SILENT_INSTALL_PACKAGE_H_
