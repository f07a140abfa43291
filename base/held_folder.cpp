#include "base/held_folder.h"

#include <aclapi.h>

#include "base/kernel32_export.h"

namespace ulverane {
namespace {

using InformationByHandleFunction = BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);

}  // namespace

HeldFolder::HeldFolder(const std::wstring& path) {
  // Sharing binds only a handle that reads, writes or deletes: listing and
  // traversing make this one count.
  UniqueFile handle(CreateFileW(
      path.c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | READ_CONTROL,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION information;
  if (!handle.valid() || !GetFileInformationByHandle(handle.get(), &information))
    return;
  if ((information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) !=
      FILE_ATTRIBUTE_DIRECTORY)
    return;
  handle_ = std::move(handle);
}

bool HeldFolder::IsOwnedBy(const ProcessIdentity& identity) const {
  if (!valid())
    return false;
  PSID owner = nullptr;
  UniqueLocalMemory descriptor;
  if (GetSecurityInfo(handle_.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                      nullptr, nullptr, descriptor.put()) != ERROR_SUCCESS) {
    descriptor.release();
    return false;
  }
  return identity.IsOurs(owner);
}

bool HeldFolder::MayHold(const std::function<bool(const std::wstring& name)>& wanted) const {
  // Windows Vista and later; without it every folder may hold anything.
  const auto read = Kernel32Export<InformationByHandleFunction>("GetFileInformationByHandleEx");
  if (!valid() || read == nullptr)
    return true;
  alignas(8) unsigned char buffer[4096];
  for (auto kind = FileIdBothDirectoryRestartInfo;; kind = FileIdBothDirectoryInfo) {
    if (!read(handle_.get(), kind, buffer, sizeof(buffer)))
      return GetLastError() != ERROR_NO_MORE_FILES;
    for (size_t offset = 0;;) {
      const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer + offset);
      const size_t nameOffset = offsetof(FILE_ID_BOTH_DIR_INFO, FileName);
      if (offset + nameOffset + entry->FileNameLength > sizeof(buffer))
        return true;  // not what the system writes; assume the worst
      if (wanted(std::wstring(entry->FileName, entry->FileNameLength / sizeof(wchar_t))))
        return true;
      if (entry->NextEntryOffset == 0)
        break;
      offset += entry->NextEntryOffset;
      if (offset + nameOffset > sizeof(buffer))
        return true;
    }
  }
}

bool KeepsOwners(const std::wstring& path) {
  wchar_t root[MAX_PATH];
  DWORD flags = 0;
  if (!GetVolumePathNameW(path.c_str(), root, MAX_PATH) ||
      !GetVolumeInformationW(root, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0))
    return true;
  return (flags & FILE_PERSISTENT_ACLS) != 0;
}

}  // namespace ulverane
