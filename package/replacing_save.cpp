#include "package/replacing_save.h"

#include <windows.h>
#include <aclapi.h>

#include <stdexcept>

#include "base/busy_file.h"
#include "base/unique_resource.h"
#include "payload/executable_image.h"

namespace ulverane {
namespace {

// An existing target must be one we may replace: not a folder, not
// read-only, not held open by anyone. Told before any work is done. The
// attributes are asked too, since an administrator's write access may
// override them.
void CheckTarget(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return;
  if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))
    RaiseImageLoadingError("CreateFile failed");
  const UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid())
    RaiseImageLoadingError("CreateFile failed");
}

// A new, empty file of our own in the target's folder, so that the final
// rename stays on one volume. A folder that cannot be written fails here.
std::wstring NewFileBeside(const std::wstring& target) {
  const size_t separator = target.rfind(L'\\');
  if (separator == std::wstring::npos)
    RaiseImageLoadingError("GetTempFileName failed");
  wchar_t path[MAX_PATH];
  if (GetTempFileNameW(target.substr(0, separator + 1).c_str(), L"ulv", 0, path) == 0)
    RaiseImageLoadingError("GetTempFileName failed");
  return path;
}

// Makes the new package's data durable before it takes the target's place,
// so that a power cut after the move cannot leave the target holding data
// that never reached the disk: the rename alone flushes nothing. Where a
// file is replaced, the package takes over its attributes and permissions,
// as Windows applications keep them when they save over a file; that
// happens on the new file before the move, so that a failure leaves the
// chosen file as it was. The attributes are best effort; permissions that
// could not be copied end the save, since the package would be readable by
// more than the file it replaces.
void PrepareToReplace(const std::wstring& package, const std::wstring& target) {
  const DWORD attributes = GetFileAttributesW(target.c_str());
  constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                          FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & kKept) != 0)
    SetFileAttributesW(package.c_str(), attributes & kKept);
  // A scanner or indexer may have the fresh file open for a moment.
  const UniqueFile file = OpenAloneWhenFree(package, GENERIC_WRITE | WRITE_DAC);
  if (!file.valid())
    throw std::runtime_error("CreateFile failed");
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    PACL permissions = nullptr;
    UniqueLocalMemory descriptor;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!descriptor.Received(GetNamedSecurityInfoW(target.c_str(), SE_FILE_OBJECT,
                                                   DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                                   &permissions, nullptr,
                                                   descriptor.put()) == ERROR_SUCCESS))
      throw std::runtime_error("GetNamedSecurityInfo failed");
    if (!GetSecurityDescriptorControl(descriptor.get(), &control, &revision))
      throw std::runtime_error("GetSecurityDescriptorControl failed");
    // A null DACL lets everyone write: the package, to be installed with
    // the highest rights, keeps what it inherited from its folder instead.
    // Inherited entries come from the folder, which both files share.
    if (permissions != nullptr &&
        SetSecurityInfo(file.get(), SE_FILE_OBJECT,
                        DACL_SECURITY_INFORMATION |
                            (control & SE_DACL_PROTECTED ? PROTECTED_DACL_SECURITY_INFORMATION
                                                         : UNPROTECTED_DACL_SECURITY_INFORMATION),
                        nullptr, nullptr, permissions, nullptr) != ERROR_SUCCESS)
      throw std::runtime_error("SetSecurityInfo failed");
  }
  if (!FlushFileBuffers(file.get()))
    throw std::runtime_error("FlushFileBuffers failed");
}

}  // namespace

ReplacingSave::ReplacingSave(std::wstring target) : target_(std::move(target)) {
  CheckTarget(target_);
  file_.SetPath(NewFileBeside(target_));
}

void ReplacingSave::Commit() {
  PrepareToReplace(file_.path(), target_);
  if (!ReplaceWhenFree(file_.path(), target_))
    throw std::runtime_error("MoveFileEx failed");
  file_.Keep();
}

}  // namespace ulverane
