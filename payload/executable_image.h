#ifndef ULVERANE_PAYLOAD_EXECUTABLE_IMAGE_H_
#define ULVERANE_PAYLOAD_EXECUTABLE_IMAGE_H_

#include <windows.h>
#include <imagehlp.h>

#include <cstdint>
#include <optional>
#include <string>

#include "base/copy_observer.h"
#include "base/unique_resource.h"
#include "payload/resource_locator.h"

namespace ulverane {

// Writes `cause` as one line to the setup log, then raises the runtime error
// "Image loading failed". The cause is not part of the exception.
[[noreturn]] void RaiseImageLoadingError(const char* cause);

// The same for payload bytes that are not what the build recorded: logs
// `cause`, raises "Payload check failed".
[[noreturn]] void RaisePayloadCheckError(const std::string& cause);

// An image from ImageLoad, given back with ImageUnload.
struct LoadedImageTraits {
  using Type = LOADED_IMAGE*;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type image) noexcept;
};

// An executable file opened read-only with ImageLoad: a handle to the file and
// a read-only view of all of it. Neither copied nor moved; others borrow it.
//
// Every failure is raised through RaiseImageLoadingError. The process's
// current directory is the same afterwards, whether construction succeeded or
// not; the search-path mode switched off safe search for good.
class ExecutableImage {
 public:
  // The process's own executable, found by its bare name from its own folder.
  ExecutableImage();
  // The file `fileName` in `folder` (no trailing backslash), loaded the same way.
  ExecutableImage(const std::wstring& folder, const std::wstring& fileName);
  ExecutableImage(const ExecutableImage&) = delete;
  ExecutableImage& operator=(const ExecutableImage&) = delete;
  ~ExecutableImage();

  // Copies the "BIN" resource `id` to `target` (created or overwritten) in
  // 1 MiB chunks read from the file, not from the view, and checks the
  // CRC-32C of the bytes against the image's checksum table as they stream.
  // Raises the resource reader's class-and-method messages for a missing or
  // malformed resource and "Payload check failed" for a missing or malformed
  // table (the target is then untouched), "Image loading failed" when the
  // target cannot be created, "SetFilePointerEx failed", "ReadFile failed" or
  // "WriteFile failed" when the copy breaks off, and "Payload check failed"
  // when the bytes are not the recorded ones (the partial or damaged target
  // is then deleted). `observer`, if given, is told of each chunk written;
  // what it raises ends the copy the same way. Calls must not overlap: they
  // share the file position.
  void ExtractResource(std::uint32_t id,
                       const std::wstring& target,
                       CopyObserver* observer = nullptr);

  // The size of "BIN" resource `id`, as its data entry records it. Raises
  // the resource reader's messages for a missing or malformed resource.
  std::uint32_t ResourceSize(std::uint32_t id) const;

  const LOADED_IMAGE* image() const { return image_.get(); }
  // Bytes in the view; every offset into it is checked against this.
  std::uint64_t viewSize() const { return viewSize_; }

 private:
  void Load(const std::wstring& folder, const std::wstring& fileName);
  // The resource tree of the view, read once, on first use.
  const ResourceLocator& Locator() const;

  UniqueResource<LoadedImageTraits> image_;
  std::uint64_t viewSize_ = 0;
  mutable std::optional<ResourceLocator> locator_;
  // Where the checksum table lies, once found.
  std::optional<ResourceLocator::Range> checksums_;
};

}  // namespace ulverane

#endif  // ULVERANE_PAYLOAD_EXECUTABLE_IMAGE_H_
