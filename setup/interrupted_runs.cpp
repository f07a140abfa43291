#include "setup/interrupted_runs.h"

#include <windows.h>

#include <string>

#include "base/busy_file.h"
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

// A link would lead the deletions out of the folder.
bool IsPlainFolder(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ==
             FILE_ATTRIBUTE_DIRECTORY;
}

void RemovePayload(const std::wstring& folder) {
  // Held shut until the end, which also keeps a second run that is cleaning
  // up at the same time out of this folder.
  const UniqueFile log(CreateFileW((folder + L"Setup.log").c_str(), GENERIC_READ, 0, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!log.valid())
    return;
  // A running program cannot be deleted. Its bootstrapper was killed, but it
  // may still be installing from the rest: then nothing here is touched.
  for (const PayloadFile& file : kPayloadFiles) {
    const std::wstring path = folder + file.name;
    if (file.id == kSetupProgramId && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES &&
        !DeleteFileW(path.c_str()))
      return;
  }
  for (const PayloadFile& file : kPayloadFiles) {
    if (*file.culture == L'\0') {
      DeleteWhenFree(folder + file.name);
      continue;
    }
    const std::wstring language = folder + file.culture;
    if (!IsPlainFolder(GetFileAttributesW(language.c_str())))
      continue;
    DeleteWhenFree(language + L"\\" + file.name);
    RemoveDirectoryW(language.c_str());  // stays while anything else is in it
  }
}

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

  WIN32_FIND_DATAW entry;
  const UniqueFind find(FindFirstFileW((parent + L"*").c_str(), &entry));
  if (!find.valid())
    return;
  do {
    const std::wstring name = entry.cFileName;
    if (IsPlainFolder(entry.dwFileAttributes) && IsWorkingFolderName(name) && name != ownName)
      RemovePayload(parent + name + L"\\");
  } while (FindNextFileW(find.get(), &entry));
}

}  // namespace ulverane
