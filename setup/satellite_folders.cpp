#include "setup/satellite_folders.h"

#include <windows.h>

#include "base/scope_guard.h"
#include "log/logger.h"

namespace ulverane {

SatelliteFolders::SatelliteFolders(std::wstring folder, ExecutableImage& image)
    : folder_(std::move(folder)), image_(image) {}

SatelliteFolders::~SatelliteFolders() {
  for (LanguageFolder& entry : entries_) {
    entry.file = TempFile();
    if (!RemoveDirectoryW(entry.path.c_str()))
      setupLog << "RemoveDirectory failed: " << entry.path << std::endl;
  }
}

void SatelliteFolders::Add(const std::wstring& language, std::uint32_t id, CopyObserver* observer) {
  LanguageFolder entry{folder_ + language, TempFile()};
  // A failure here shows up as the copy's own failure.
  CreateDirectoryW(entry.path.c_str(), nullptr);

  // A copy that fails has deleted its partial file; the empty sub-folder
  // goes with it, so that nothing of the failed language stays.
  ScopeGuard removeFolder([&] { RemoveDirectoryW(entry.path.c_str()); });
  const std::wstring target = entry.path + L"\\SetupUI.resources.dll";
  image_.ExtractResource(id, target, observer);
  removeFolder.Dismiss();
  entry.file.SetPath(target);
  entries_.push_back(std::move(entry));
}

}  // namespace ulverane
