#include "setup/satellite_folders.h"

#include <windows.h>

#include "base/scope_guard.h"
#include "log/logger.h"

namespace ulverane {

SatelliteFolders::SatelliteFolders(std::wstring folder, ExecutableImage& image)
    : folder_(std::move(folder)), image_(image) {}

SatelliteFolders::~SatelliteFolders() {
  for (auto& entry : entries_) {
    entry->file.reset();
    if (!RemoveDirectoryW(entry->path.c_str()))
      setupLog << "RemoveDirectory failed: " << entry->path << std::endl;
    entry.reset();
  }
}

void SatelliteFolders::Add(const std::wstring& language, std::uint32_t id, CopyObserver* observer) {
  auto entry = std::make_unique<LanguageFolder>();
  entry->path = folder_ + language;
  // A failure here shows up as the copy's own failure.
  CreateDirectoryW(entry->path.c_str(), nullptr);

  // A copy that fails has deleted its partial file; the empty sub-folder
  // goes with it, so that nothing of the failed language stays.
  ScopeGuard removeFolder([&] { RemoveDirectoryW(entry->path.c_str()); });
  auto file = std::make_unique<TempFile>();
  const std::wstring target = entry->path + L"\\SetupUI.resources.dll";
  image_.ExtractResource(id, target, observer);
  removeFolder.Dismiss();
  file->SetPath(target);
  entry->file = std::move(file);
  entries_.push_back(std::move(entry));
}

}  // namespace ulverane
