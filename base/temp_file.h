#ifndef ULVERANE_BASE_TEMP_FILE_H_
#define ULVERANE_BASE_TEMP_FILE_H_

#include <string>
#include <utility>

namespace ulverane {

// Owns one completely written file and deletes it on destruction, retrying
// for up to 2000 ms while deletion fails; a file still there after that stays.
// Never raises or reports.
class TempFile {
 public:
  TempFile() = default;
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  // The file changes owner; the one moved from owns none.
  TempFile(TempFile&& other) noexcept
      : deleteOnDestroy_(other.deleteOnDestroy_), path_(std::exchange(other.path_, {})) {}
  TempFile& operator=(TempFile&& other) noexcept;
  ~TempFile();

  // Takes ownership of the file at `path`. Call only once the file is
  // complete, so that an unfinished file is never owned.
  void SetPath(std::wstring path) { path_ = std::move(path); }
  const std::wstring& path() const { return path_; }

  // The file survives this object.
  void Keep() { deleteOnDestroy_ = false; }

 private:
  bool deleteOnDestroy_ = true;
  std::wstring path_;
};

}  // namespace ulverane

#endif  // ULVERANE_BASE_TEMP_FILE_H_
