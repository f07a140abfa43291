#include "payload/executable_image.h"

#include <memory>
#include <optional>
#include <stdexcept>

#include "base/busy_file.h"
#include "base/kernel32_export.h"
#include "base/scope_guard.h"
#include "base/system_library.h"
#include "base/unique_resource.h"
#include "log/logger.h"
#include "payload/ansi_file_name.h"
#include "payload/checksum_table.h"
#include "payload/crc32c.h"
#include "payload/resource_locator.h"

namespace ulverane {
namespace {

constexpr DWORD kPathBufferSize = MAX_PATH;
constexpr DWORD kCopyChunkSize = 1024 * 1024;

using ImageLoadFunction = PLOADED_IMAGE(WINAPI*)(PCSTR, PCSTR);
using ImageUnloadFunction = BOOL(WINAPI*)(PLOADED_IMAGE);

// imagehlp is not on every system's list of known DLLs, so it is loaded
// explicitly from the system folder rather than imported.
const SystemLibrary& ImageHelp() {
  static const SystemLibrary library(L"imagehlp.dll");
  return library;
}

using SetSearchPathModeFunction = BOOL(WINAPI*)(DWORD);

// Windows 7 and later; on older systems safe search stays on, which only
// moves the current directory down the search order.
void DisableSafeSearchMode() {
  if (const auto setMode = Kernel32Export<SetSearchPathModeFunction>("SetSearchPathMode"))
    setMode(BASE_SEARCH_PATH_DISABLE_SAFE_SEARCHMODE);
}

}  // namespace

void LoadedImageTraits::Close(LOADED_IMAGE* image) noexcept {
  if (const auto imageUnload = ImageHelp().Get<ImageUnloadFunction>("ImageUnload"))
    imageUnload(image);
}

void RaiseImageLoadingError(const char* cause) {
  setupLog << cause << std::endl;
  throw std::runtime_error("Image loading failed");
}

void RaisePayloadCheckError(const std::string& cause) {
  setupLog << cause << std::endl;
  throw std::runtime_error("Payload check failed");
}

ExecutableImage::ExecutableImage() {
  DisableSafeSearchMode();

  wchar_t modulePath[kPathBufferSize];
  const DWORD length = GetModuleFileNameW(nullptr, modulePath, kPathBufferSize);
  if (length == 0 || length >= kPathBufferSize)
    RaiseImageLoadingError("GetModuleFileName failed");

  const std::wstring path(modulePath, length);
  const size_t separator = path.rfind(L'\\');
  if (separator == std::wstring::npos)
    RaiseImageLoadingError("GetModuleFileName returned invalid path");
  Load(path.substr(0, separator), path.substr(separator + 1));
}

ExecutableImage::ExecutableImage(const std::wstring& folder, const std::wstring& fileName) {
  DisableSafeSearchMode();
  Load(folder, fileName);
}

void ExecutableImage::Load(const std::wstring& folder, const std::wstring& fileName) {
  wchar_t current[kPathBufferSize];
  // A directory that does not fit returns the size it needs: treated as failed.
  const DWORD length = GetCurrentDirectoryW(kPathBufferSize, current);
  if (length == 0 || length >= kPathBufferSize)
    RaiseImageLoadingError("GetCurrentDirectory failed");

  if (!SetCurrentDirectoryW(folder.c_str()))
    RaiseImageLoadingError("SetCurrentDirectory failed");
  // Set back however the load ends.
  const std::wstring saved(current, length);
  const ScopeGuard restore([&saved] { SetCurrentDirectoryW(saved.c_str()); });

  const auto imageLoad = ImageHelp().Get<ImageLoadFunction>("ImageLoad");
  if (imageLoad == nullptr)
    RaiseImageLoadingError("ImageLoad failed");

  // ImageLoad takes its name in the ANSI code page, not in UTF-8.
  const std::optional<std::string> name = AnsiFileName(fileName, CP_ACP);
  if (!name)
    RaiseImageLoadingError("ImageLoad failed");
  UniqueResource<LoadedImageTraits> image(imageLoad(name->c_str(), nullptr));
  if (!image.valid())
    RaiseImageLoadingError("ImageLoad failed");

  // The view spans the whole file; its size bounds every offset we follow.
  LARGE_INTEGER size;
  if (!GetFileSizeEx(image.get()->hFile, &size) || image.get()->MappedAddress == nullptr)
    RaiseImageLoadingError("ImageLoad failed");
  image_ = std::move(image);
  viewSize_ = static_cast<std::uint64_t>(size.QuadPart);
}

ExecutableImage::~ExecutableImage() = default;

const ResourceLocator& ExecutableImage::Locator() const {
  if (!locator_) {
    locator_.emplace(reinterpret_cast<const std::uint8_t*>(image_.get()->MappedAddress), viewSize_,
                     reinterpret_cast<const std::uint8_t*>(image_.get()->Sections),
                     image_.get()->NumberOfSections);
  }
  return *locator_;
}

std::uint32_t ExecutableImage::ResourceSize(std::uint32_t id) const {
  return Locator().FindBin(id).size;
}

void ExecutableImage::ExtractResource(std::uint32_t id,
                                      const std::wstring& target,
                                      CopyObserver* observer) {
  const auto* view = reinterpret_cast<const std::uint8_t*>(image_.get()->MappedAddress);
  const ResourceLocator::Range range = Locator().FindBin(id);
  // The table is part of the same image, so damage may have hit it too.
  if (!checksums_)
    checksums_ = Locator().Find(kChecksumType, kChecksumTableId);
  const auto& table = checksums_;
  if (!table)
    RaisePayloadCheckError("CRC-32C table missing");
  const std::optional<std::uint32_t> expected =
      ExpectedChecksum(view + table->position, table->size, id, range.size);
  if (!expected)
    RaisePayloadCheckError("CRC-32C table malformed");

  LARGE_INTEGER distance;
  distance.QuadPart = range.position;
  if (!SetFilePointerEx(image_.get()->hFile, distance, nullptr, FILE_BEGIN))
    throw std::runtime_error("SetFilePointerEx failed");

  UniqueFile file(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid())
    RaiseImageLoadingError("CreateFile failed");
  // A copy that breaks off must not leave a file that looks complete; a
  // scanner that just opened it must not keep it there either.
  ScopeGuard discard([&] {
    file.reset();
    DeleteWhenFree(target);
  });

  const auto buffer = std::unique_ptr<char[]>(new char[kCopyChunkSize]);
  std::uint32_t crc = 0;
  for (DWORD remaining = range.size; remaining != 0;) {
    const DWORD chunk = remaining < kCopyChunkSize ? remaining : kCopyChunkSize;
    DWORD read = 0;
    if (!ReadFile(image_.get()->hFile, buffer.get(), chunk, &read, nullptr) || read != chunk)
      throw std::runtime_error("ReadFile failed");
    // While the chunk is still in the cache.
    crc = Crc32c(crc, buffer.get(), read);
    DWORD written = 0;
    if (!WriteFile(file.get(), buffer.get(), read, &written, nullptr) || written != read)
      throw std::runtime_error("WriteFile failed");
    remaining -= chunk;
    if (observer != nullptr)
      observer->Copied(written);
  }
  if (crc != *expected)
    RaisePayloadCheckError("CRC-32C mismatch: BIN " + std::to_string(id));
  file.reset();
  discard.Dismiss();
}

}  // namespace ulverane
