#include "setup/working_tree.h"

#include <windows.h>
#include <rpc.h>
#include <sddl.h>

#include <stdexcept>
#include <vector>

#include "base/kernel32_export.h"
#include "resources/payload_files.h"

namespace ulverane {
namespace {

using TempPathFunction = DWORD(WINAPI*)(DWORD, LPWSTR);

// A parent that anyone may fill is read no further than this: skipping a
// folder is always safe.
constexpr size_t kMostEntries = 10000;

[[noreturn]] void Fail() {
  throw std::runtime_error("CreateDirectory failed");
}

std::wstring TempFolder() {
  // Windows 11, and 10 with its 2022 updates: LocalSystem's own folder.
  auto query = Kernel32Export<TempPathFunction>("GetTempPath2W");
  if (query == nullptr)
    query = GetTempPathW;
  wchar_t buffer[MAX_PATH];
  // A failed or over-long answer leaves the buffer unfilled.
  const DWORD length = query(MAX_PATH, buffer);
  if (length == 0 || length >= MAX_PATH)
    Fail();
  std::wstring folder(buffer, length);
  if (folder.back() != L'\\')
    folder += L'\\';
  return folder;
}

// Random, so that nobody can tell the next run's folder in advance; a
// sequential UUID would also carry the network card's address.
std::wstring NewUuidText() {
  UUID uuid;
  if (UuidCreate(&uuid) != RPC_S_OK)
    Fail();
  UniqueRpcString text;
  if (!text.Received(UuidToStringW(&uuid, text.put()) == RPC_S_OK) || !text.valid())
    Fail();
  std::wstring result(reinterpret_cast<const wchar_t*>(text.get()));
  if (result.size() != 36)
    Fail();
  for (wchar_t& c : result) {
    if (c >= L'A' && c <= L'F')
      c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return result;
}

bool IsWorkingFolderName(const std::wstring& name) {
  if (name.size() != 36)
    return false;
  for (size_t i = 0; i < name.size(); ++i) {
    const wchar_t c = name[i];
    const bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
    if (hyphen ? c != L'-' : !((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f')))
      return false;
  }
  return true;
}

// Full control to the default owner, SYSTEM and Administrators, read and
// execute (for Setup.log) to the user; protected, so that nothing from the
// parent, which anyone may have made, is inherited.
UniqueLocalMemory PrivateDescriptor(const ProcessIdentity& identity) {
  const std::wstring owner = SidText(identity.owner());
  const std::wstring user = SidText(identity.user());
  if (owner.empty() || user.empty())
    Fail();
  std::vector<std::wstring> granted;
  std::wstring sddl = L"D:P";
  const auto grant = [&](const std::wstring& sid, const wchar_t* rights) {
    for (const std::wstring& done : granted)
      if (done == sid)
        return;
    granted.push_back(sid);
    sddl += L"(A;OICI;" + std::wstring(rights) + L";;;" + sid + L")";
  };
  grant(owner, L"FA");
  grant(L"S-1-5-18", L"FA");
  grant(L"S-1-5-32-544", L"FA");
  grant(user, L"0x1200a9");
  UniqueLocalMemory descriptor;
  if (!descriptor.Received(ConvertStringSecurityDescriptorToSecurityDescriptorW(
          sddl.c_str(), SDDL_REVISION_1, descriptor.put(), nullptr)))
    Fail();
  return descriptor;
}

std::wstring WithoutSeparator(const std::wstring& folder) {
  return folder.substr(0, folder.size() - 1);
}

}  // namespace

WorkingTree::WorkingTree() {
  const std::wstring temp = TempFolder();
  sharedParent_ = temp + L"UlveraneSetup\\";
  if (KeepsOwners(temp)) {
    identity_.emplace();
    if (!identity_->valid())
      Fail();
    descriptor_ = PrivateDescriptor(*identity_);
  }
  // Shared by all runs and by anyone who made it first: used only once it
  // is held and found to be a plain folder of someone we trust.
  CreateDirectoryW(sharedParent_.c_str(), nullptr);
  held_ = HeldFolder(WithoutSeparator(sharedParent_));
  if (held_.valid() && (!identity_ || held_.IsTrustedBy(*identity_))) {
    parent_ = sharedParent_;
    return;
  }
  // Left as it is; a name nobody can know in advance.
  shared_ = false;
  parent_ = temp + L"UlveraneSetup-" + NewUuidText() + L"\\";
  held_ = CreatePrivate(parent_);
}

HeldFolder WorkingTree::CreatePrivate(const std::wstring& folder) const {
  SECURITY_ATTRIBUTES security = {sizeof(security), descriptor_.get(), FALSE};
  // The permissions come with the folder itself: there is no moment without.
  if (!CreateDirectoryW(folder.c_str(), identity_ ? &security : nullptr))
    Fail();
  // Whoever may write the parent may have swapped it already.
  HeldFolder held(WithoutSeparator(folder));
  if (!held.valid() || (identity_ && !held.IsOwnedBy(*identity_)))
    Fail();
  return held;
}

WorkingFolder WorkingTree::CreateWorkingFolder() const {
  const std::wstring folder = parent_ + NewUuidText() + L"\\";
  return WorkingFolder(folder, CreatePrivate(folder));
}

void WorkingTree::CleanUpInterruptedRuns(const WorkingFolder& own) const {
  if (!shared_)
    return;
  const std::wstring ownName = WithoutSeparator(own.path()).substr(parent_.size());
  std::vector<std::wstring> candidates;
  size_t seen = 0;
  held_.ForEachEntry([&](const FolderEntry& entry) {
    // Links and files are told from the listing, and so are finished runs:
    // none of them is opened.
    if ((entry.attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ==
            FILE_ATTRIBUTE_DIRECTORY &&
        IsWorkingFolderName(entry.name) && entry.name != ownName &&
        !IsMarkedFinished(entry.lastWrite))
      candidates.push_back(entry.name);
    return ++seen < kMostEntries;
  });
  for (const std::wstring& name : candidates)
    RemovePayload(parent_ + name + L"\\");
}

void WorkingTree::RemovePayload(const std::wstring& folder) const {
  const std::wstring path = WithoutSeparator(folder);
  // Who owns it is asked before anything that someone else's oplock or
  // listing could hold up.
  const HeldFolder peeked(path, HeldFolder::Mode::kPeek);
  if (!peeked.valid() || (identity_ && !peeked.IsOwnedBy(*identity_)))
    return;
  const HeldFolder held(path);
  if (!held.IsSameFolder(peeked))
    return;
  if (held.MayHold(IsPayloadName)) {
    // Held shut until the end, which also keeps a second run that is
    // cleaning up at the same time out of this folder.
    const UniqueFile log(CreateFileW((folder + L"Setup.log").c_str(), GENERIC_READ, 0, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!log.valid())
      return;
    // A running program cannot be deleted. Its bootstrapper was killed, but
    // it may still be installing from the rest: then nothing here is touched.
    for (const PayloadFile& file : kPayloadFiles) {
      if (file.id == kSetupProgramId && !DeleteFileW((folder + file.name).c_str()) &&
          GetLastError() != ERROR_FILE_NOT_FOUND)
        return;
    }
    for (const PayloadFile& file : kPayloadFiles) {
      if (file.id == kSetupProgramId)
        continue;
      if (*file.culture == L'\0') {
        DeleteFileW((folder + file.name).c_str());
        continue;
      }
      const std::wstring language = folder + file.culture;
      {
        const HeldFolder languageFolder(language);
        if (!languageFolder.valid() || (identity_ && !languageFolder.IsOwnedBy(*identity_)))
          continue;
        DeleteFileW((language + L"\\" + file.name).c_str());
      }
      // Let go first: a folder held without delete sharing cannot be
      // removed. Stays while anything else is in it.
      RemoveDirectoryW(language.c_str());
    }
    if (held.MayHold(IsPayloadName))
      return;
  }
  MarkFinished(path);
}

}  // namespace ulverane
