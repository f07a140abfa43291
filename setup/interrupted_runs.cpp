#include "setup/interrupted_runs.h"

#include <windows.h>

#include <string>

#include "base/held_folder.h"
#include "base/process_identity.h"
#include "base/unique_resource.h"
#include "resources/payload_files.h"

namespace ulverane {
namespace {

// As CreateWorkingFolder names them: 8-4-4-4-12 lower-case hex digits.
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

// A payload file or language folder right inside a working folder.
bool IsPayloadName(const std::wstring& name) {
  for (const PayloadFile& file : kPayloadFiles)
    if (name == (*file.culture != L'\0' ? file.culture : file.name))
      return true;
  return false;
}

class Cleaner {
 public:
  // `owners`: whether the volume keeps owners to check.
  Cleaner(const ProcessIdentity& identity, bool owners) : identity_(identity), owners_(owners) {}

  // Held and ours, or invalid.
  HeldFolder Hold(const std::wstring& path) const {
    HeldFolder folder(path);
    if (folder.valid() && owners_ && !folder.IsOwnedBy(identity_))
      return HeldFolder();
    return folder;
  }

  void RemovePayload(const std::wstring& folder) const {
    const std::wstring path = folder.substr(0, folder.size() - 1);
    HeldFolder held(path);
    // A finished run left nothing of its payload: the common case, told
    // from the held folder's own entries before anything else is asked.
    if (!held.valid() || !held.MayHold(IsPayloadName))
      return;
    if (owners_ && !held.IsOwnedBy(identity_))
      return;
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
        const HeldFolder languageFolder = Hold(language);
        if (!languageFolder.valid())
          continue;
        DeleteFileW((language + L"\\" + file.name).c_str());
      }
      // Let go first: a folder held without delete sharing cannot be
      // removed. Stays while anything else is in it.
      RemoveDirectoryW(language.c_str());
    }
  }

 private:
  const ProcessIdentity& identity_;
  bool owners_;
};

}  // namespace

void CleanUpInterruptedRuns(const std::wstring& ownFolder) {
  if (ownFolder.size() < 2 || ownFolder.back() != L'\\')
    return;
  const size_t last = ownFolder.size() - 1;
  const size_t separator = ownFolder.rfind(L'\\', last - 1);
  if (separator == std::wstring::npos)
    return;
  const std::wstring parent = ownFolder.substr(0, separator + 1);
  const std::wstring ownName = ownFolder.substr(separator + 1, last - separator - 1);

  const ProcessIdentity identity;
  const bool owners = KeepsOwners(parent);
  if (owners && !identity.valid())
    return;
  const Cleaner cleaner(identity, owners);
  // Whoever made the parent could swap what is in it at will.
  const HeldFolder held = cleaner.Hold(parent.substr(0, separator));
  if (!held.valid())
    return;
  WIN32_FIND_DATAW entry;
  const UniqueFind find(FindFirstFileW((parent + L"*").c_str(), &entry));
  if (!find.valid())
    return;
  do {
    const std::wstring name = entry.cFileName;
    if (IsWorkingFolderName(name) && name != ownName)
      cleaner.RemovePayload(parent + name + L"\\");
  } while (FindNextFileW(find.get(), &entry));
}

}  // namespace ulverane
