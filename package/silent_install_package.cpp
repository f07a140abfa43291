#include "package/silent_install_package.h"

namespace ulverane {

int CreateSilentInstallPackage(HINSTANCE, bool) {
  return 0;
}

}  // namespace ulverane
