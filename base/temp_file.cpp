#include "base/temp_file.h"

#include "base/busy_file.h"

namespace ulverane {

TempFile::~TempFile() {
  if (deleteOnDestroy_ && !path_.empty())
    DeleteWhenFree(path_);
}

}  // namespace ulverane
