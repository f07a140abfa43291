#ifndef ULVERANE_PACKAGE_SILENT_INSTALL_PACKAGE_H_
#define ULVERANE_PACKAGE_SILENT_INSTALL_PACKAGE_H_

#include <windows.h>

namespace ulverane {

// The "/extract" and "/defaults" modes: asks for the options and the target
// file, writes the product's installer package (resource "BIN" 135) there
// with the options as rows of its Property table, and offers to show it in
// Explorer. Returns 0, also when the administrator cancels the dialog. A
// place without room for the package is refused in the dialog, which stays
// open; a long copy shows a progress window, whose Cancel raises Cancelled
// with the target as it was.
//
// The package is built in a new temporary file beside the target and takes
// the target's place only once it is complete, so a failure never leaves a
// half-made package and never costs an existing file. Raises the runtime
// errors "Image loading failed" (the image cannot be read, or the target
// cannot be written), the resource reader's messages, "MsiOpenDatabase
// failed", "MsiDatabaseOpenView failed", "MsiViewExecute failed", "MsiViewModify
// failed", "MsiDatabaseCommit failed", "MoveFileEx failed", "GetWindowText
// failed" (the typed folder cannot be read) and "Dialog: Reentrance not
// allowed".
int CreateSilentInstallPackage(HINSTANCE instance, bool defaultsMode);

}  // namespace ulverane

#endif  // ULVERANE_PACKAGE_SILENT_INSTALL_PACKAGE_H_
