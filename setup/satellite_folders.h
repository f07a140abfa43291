#ifndef ULVERANE_SETUP_SATELLITE_FOLDERS_H_
#define ULVERANE_SETUP_SATELLITE_FOLDERS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "base/temp_file.h"
#include "payload/executable_image.h"

namespace ulverane {

// The language sub-folders of the working folder, each holding a copied
// "SetupUI.resources.dll". On destruction each file is deleted and its
// sub-folder removed, in the order of the Add calls; a sub-folder that cannot
// be removed is written to the setup log. Never raises on destruction.
class SatelliteFolders {
 public:
  // `folder` ends in a backslash; `image` must outlive this object.
  SatelliteFolders(std::wstring folder, ExecutableImage& image);
  SatelliteFolders(const SatelliteFolders&) = delete;
  SatelliteFolders& operator=(const SatelliteFolders&) = delete;
  ~SatelliteFolders();

  // Makes <folder><language> and copies resource "BIN" `id` into it, telling
  // `observer` as ExtractResource does. Raises what ExtractResource raises;
  // the failed language's sub-folder, empty by then, is removed again, while
  // earlier ones stay owned.
  void Add(const std::wstring& language, std::uint32_t id, CopyObserver* observer = nullptr);

 private:
  struct LanguageFolder {
    std::wstring path;  // no trailing backslash
    TempFile file;
  };

  std::wstring folder_;
  ExecutableImage& image_;
  std::vector<LanguageFolder> entries_;
};

}  // namespace ulverane

#endif  // ULVERANE_SETUP_SATELLITE_FOLDERS_H_
