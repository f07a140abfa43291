#include "base/temp_file.h"

#include "base/busy_file.h"

namespace ulverane {

TempFile& TempFile::operator=(TempFile&& other) noexcept {
  if (this != &other) {
    if (deleteOnDestroy_ && !path_.empty())
      DeleteWhenFree(path_);
    deleteOnDestroy_ = other.deleteOnDestroy_;
    path_ = std::exchange(other.path_, {});
  }
  return *this;
}

TempFile::~TempFile() {
  if (deleteOnDestroy_ && !path_.empty())
    DeleteWhenFree(path_);
}

}  // namespace ulverane
