#include "setup/held_folder.h"

#include <aclapi.h>

#include <cstdint>
#include <vector>

#include "base/kernel32_export.h"

namespace ulverane {
namespace {

using InformationByHandleFunction = BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);

// The fraction of a second, in 100 ns units, that marks a finished run.
constexpr std::uint64_t kTicksPerSecond = 10'000'000;
constexpr std::uint64_t kFinishedFraction = 4'271'963;

std::uint64_t Ticks(const FILETIME& time) {
  return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

bool Information(HANDLE handle, BY_HANDLE_FILE_INFORMATION& information) {
  return GetFileInformationByHandle(handle, &information) != FALSE;
}

}  // namespace

HeldFolder::HeldFolder(const std::wstring& path, Mode mode) {
  // Sharing binds only a handle that reads, writes or deletes: listing and
  // traversing make a held one count. A peek asks for nothing that an
  // oplock guards.
  DWORD access = READ_CONTROL | FILE_READ_ATTRIBUTES;
  DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
  if (mode == Mode::kHold) {
    access |= FILE_LIST_DIRECTORY | FILE_TRAVERSE;
    share = FILE_SHARE_READ | FILE_SHARE_WRITE;
  } else if (mode == Mode::kResolve) {
    flags = FILE_FLAG_BACKUP_SEMANTICS;
  }
  UniqueFile handle(
      CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, flags, nullptr));
  BY_HANDLE_FILE_INFORMATION information;
  if (!handle.valid() || !Information(handle.get(), information))
    return;
  if ((information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) !=
      FILE_ATTRIBUTE_DIRECTORY)
    return;
  handle_ = std::move(handle);
}

bool HeldFolder::OwnerIs(const std::function<bool(PSID owner)>& wanted) const {
  PSID owner = nullptr;
  UniqueLocalMemory descriptor;
  if (!valid())
    return false;
  if (!descriptor.Received(GetSecurityInfo(handle_.get(), SE_FILE_OBJECT,
                                           OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                                           nullptr, descriptor.put()) == ERROR_SUCCESS))
    return false;
  return wanted(owner);
}

bool HeldFolder::IsOwnedBy(const ProcessIdentity& identity) const {
  return OwnerIs([&](PSID owner) { return identity.IsOurs(owner); });
}

bool HeldFolder::IsTrustedBy(const ProcessIdentity& identity) const {
  return OwnerIs([&](PSID owner) { return identity.IsTrusted(owner); });
}

bool HeldFolder::IsSameFolder(const HeldFolder& other) const {
  BY_HANDLE_FILE_INFORMATION mine;
  BY_HANDLE_FILE_INFORMATION theirs;
  return valid() && other.valid() && Information(handle_.get(), mine) &&
         Information(other.handle_.get(), theirs) &&
         mine.dwVolumeSerialNumber == theirs.dwVolumeSerialNumber &&
         mine.nFileIndexHigh == theirs.nFileIndexHigh && mine.nFileIndexLow == theirs.nFileIndexLow;
}

bool HeldFolder::ForEachEntry(const std::function<bool(const FolderEntry& entry)>& visit) const {
  // Windows Vista and later.
  const auto read = Kernel32Export<InformationByHandleFunction>("GetFileInformationByHandleEx");
  if (!valid() || read == nullptr)
    return false;
  // Room for some hundreds of entries a call: a parent full of finished
  // runs is read in a few.
  std::vector<std::uint64_t> storage(8192);
  auto* buffer = reinterpret_cast<unsigned char*>(storage.data());
  const size_t size = storage.size() * sizeof(storage[0]);
  constexpr size_t kNameOffset = offsetof(FILE_ID_BOTH_DIR_INFO, FileName);
  for (auto kind = FileIdBothDirectoryRestartInfo;; kind = FileIdBothDirectoryInfo) {
    if (!read(handle_.get(), kind, buffer, static_cast<DWORD>(size)))
      return GetLastError() == ERROR_NO_MORE_FILES;
    for (size_t offset = 0;;) {
      const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer + offset);
      // Not what the system writes: the rest cannot be read.
      if (offset + kNameOffset > size || entry->FileNameLength > size - offset - kNameOffset)
        return false;
      const FolderEntry found = {
          std::wstring(entry->FileName, entry->FileNameLength / sizeof(wchar_t)),
          entry->FileAttributes,
          {entry->LastWriteTime.LowPart, static_cast<DWORD>(entry->LastWriteTime.HighPart)}};
      if (!visit(found))
        return true;
      if (entry->NextEntryOffset == 0)
        break;
      offset += entry->NextEntryOffset;
    }
  }
}

bool HeldFolder::MayHold(const std::function<bool(const std::wstring& name)>& wanted) const {
  bool found = false;
  const bool read = ForEachEntry([&](const FolderEntry& entry) {
    found = wanted(entry.name);
    return !found;
  });
  return found || !read;
}

bool KeepsOwners(const std::wstring& path) {
  wchar_t root[MAX_PATH];
  DWORD flags = 0;
  if (!GetVolumePathNameW(path.c_str(), root, MAX_PATH) ||
      !GetVolumeInformationW(root, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0))
    return true;
  return (flags & FILE_PERSISTENT_ACLS) != 0;
}

void MarkFinished(const std::wstring& folder) {
  const UniqueFile handle(CreateFileW(
      folder.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!handle.valid())
    return;
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const std::uint64_t ticks = Ticks(now) / kTicksPerSecond * kTicksPerSecond + kFinishedFraction;
  const FILETIME marked = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  SetFileTime(handle.get(), nullptr, nullptr, &marked);
}

bool IsMarkedFinished(const FILETIME& lastWrite) {
  return Ticks(lastWrite) % kTicksPerSecond == kFinishedFraction;
}

}  // namespace ulverane
