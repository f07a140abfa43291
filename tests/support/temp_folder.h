#ifndef ULVERANE_TESTS_SUPPORT_TEMP_FOLDER_H_
#define ULVERANE_TESTS_SUPPORT_TEMP_FOLDER_H_

#include <string>
#include <vector>

namespace ulverane::testing {

// A fresh folder under the temporary folder, removed with everything in it
// when the object goes away.
class TempFolder {
 public:
  TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder();

  // No trailing backslash.
  const std::wstring& path() const { return path_; }
  std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

void WriteBytes(const std::wstring& path, const std::string& bytes);
std::string ReadBytes(const std::wstring& path);
bool Exists(const std::wstring& path);
// Removes a file or a folder tree; clears read-only attributes first.
void RemoveTree(const std::wstring& path);
// Paths below `folder`, relative to it, sorted; folders end in a backslash.
std::vector<std::wstring> ListTree(const std::wstring& folder);
std::wstring TempPath();  // GetTempPathW, with its trailing backslash
std::wstring Widen(const std::string& text);
// FNV-1a, to tell files apart in reports.
unsigned Fnv1a(const std::string& bytes);
// "<size> <FNV-1a>" of a file of any size, read in chunks.
std::string FileDigest(const std::wstring& path);

}  // namespace ulverane::testing

#endif  // ULVERANE_TESTS_SUPPORT_TEMP_FOLDER_H_
