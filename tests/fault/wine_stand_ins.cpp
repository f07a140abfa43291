// What Wine cannot show (it neither keeps nor enforces permissions and has no
// junctions), answered by fault_injection.dll (see injector.h) as Windows
// would. These hooks count and fail as the others do.
//
// Environment, read when the DLL is loaded:
//   ULVERANE_FAULT_TOKEN=plain|elevated|system  GetTokenInformation answers
//       TokenUser and TokenOwner as a plain run (the user owns what it
//       makes), an elevated one (Administrators, S-1-5-32-544, does) or a
//       LocalSystem one (the user is S-1-5-18, Administrators own) would; an
//       owner query about a file that Wine says the process's user owns
//       answers that default owner.
//   ULVERANE_FAULT_FOREIGN=<name>[,<name>...]  an owner query (GetSecurityInfo)
//       about a file or folder whose last path component matches one of
//       these ('*' and '?' as wildcards) answers another user,
//       S-1-5-21-1-2-3-1004.
//   ULVERANE_FAULT_LINK=<name>[,<name>...]  these are links (a junction,
//       say), answered as the program opened them: GetFileInformationByHandle
//       about one opened with FILE_FLAG_OPEN_REPARSE_POINT adds
//       FILE_ATTRIBUTE_REPARSE_POINT; opened without, it is the link's
//       target, a plain folder elsewhere (another file index).
//   ULVERANE_FAULT_REPOINT=<name>[,<name>...]  a path through one of these
//       now leads elsewhere: opened without FILE_FLAG_OPEN_REPARSE_POINT, it
//       answers another file index, as a repointed link above it would.
//   ULVERANE_FAULT_NULL_DACL=<name>[,<name>...]  GetNamedSecurityInfoW
//       answers a null DACL (everyone may do anything) for these.
//   ULVERANE_FAULT_SYSTEM_TEMP=<folder>  GetTempPath2W, which Wine 8 lacks,
//       is offered by a stand-in (unless hidden): it answers <folder> to an
//       emulated LocalSystem run, as Windows answers its SystemTemp, and what
//       GetTempPathW answers to any other.
//   ULVERANE_FAULT_NO_ACLS=1  GetVolumeInformationW answers without
//       FILE_PERSISTENT_ACLS, as for a FAT volume.
//   ULVERANE_FAULT_FREE=<bytes>  GetDiskFreeSpaceExW answers that many bytes
//       free, to the caller and on the volume: a drive about to be full.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <cstdlib>

#include "injector.h"

namespace fault {
namespace {

using Sid = std::vector<BYTE>;
bool tokenEmulated = false;
Sid realUser, tokenUser, tokenOwner, foreignOwner;
std::vector<std::string> foreignNames, linkNames, repointNames, nullDaclNames;
std::wstring systemTemp;
bool noAcls = false;
// A negative room is none.
long long freeAnswer = -1;

Sid SidOf(const char* text) {
  PSID sid = nullptr;
  Sid bytes;
  if (ConvertStringSidToSidA(text, &sid)) {
    bytes.assign(static_cast<BYTE*>(sid), static_cast<BYTE*>(sid) + GetLengthSid(sid));
    LocalFree(sid);
  }
  return bytes;
}

// Answers as the emulated token: the SID after the structure that points
// at it.
decltype(&GetTokenInformation) realGetTokenInformation;
BOOL WINAPI HookGetTokenInformation(HANDLE token,
                                    TOKEN_INFORMATION_CLASS kind,
                                    LPVOID out,
                                    DWORD size,
                                    PDWORD needed) {
  if (Failing(Count(CALLER, "GetTokenInformation", {std::to_string(static_cast<int>(kind))})))
    return Failed(FALSE, ERROR_ACCESS_DENIED);
  if (!tokenEmulated || (kind != TokenUser && kind != TokenOwner))
    return realGetTokenInformation(token, kind, out, size, needed);
  const Sid& sid = kind == TokenUser ? tokenUser : tokenOwner;
  const DWORD header = kind == TokenUser ? sizeof(TOKEN_USER) : sizeof(TOKEN_OWNER);
  *needed = header + static_cast<DWORD>(sid.size());
  if (size < *needed)
    return Failed(FALSE, ERROR_INSUFFICIENT_BUFFER);
  ZeroMemory(out, header);
  BYTE* copy = static_cast<BYTE*>(out) + header;
  std::copy(sid.begin(), sid.end(), copy);
  *static_cast<PSID*>(out) = copy;
  return TRUE;
}
REGISTER(GetTokenInformation)

// The owner of a file or folder: another user's where it is named foreign,
// the emulated token's default owner where Wine names the real user.
decltype(&GetSecurityInfo) realGetSecurityInfo;
DWORD WINAPI HookGetSecurityInfo(HANDLE handle,
                                 SE_OBJECT_TYPE type,
                                 SECURITY_INFORMATION parts,
                                 PSID* owner,
                                 PSID* group,
                                 PACL* dacl,
                                 PACL* sacl,
                                 PSECURITY_DESCRIPTOR* descriptor) {
  const std::string path = PathOf(handle);
  if (Failing(Count(CALLER, "GetSecurityInfo", {path})))
    return Failed<DWORD>(ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED);
  const DWORD result =
      realGetSecurityInfo(handle, type, parts, owner, group, dacl, sacl, descriptor);
  if (result != ERROR_SUCCESS || owner == nullptr || *owner == nullptr ||
      parts != OWNER_SECURITY_INFORMATION || descriptor == nullptr)
    return result;
  const Sid* answer = nullptr;
  if (Named(path, foreignNames))
    answer = &foreignOwner;
  else if (tokenEmulated && EqualSid(*owner, const_cast<BYTE*>(realUser.data())))
    answer = &tokenOwner;
  if (answer == nullptr)
    return result;
  // A descriptor of its own, freed with LocalFree as the real one is.
  LocalFree(*descriptor);
  auto* block = static_cast<BYTE*>(
      LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, sizeof(SECURITY_DESCRIPTOR) + answer->size()));
  BYTE* sid = block + sizeof(SECURITY_DESCRIPTOR);
  std::copy(answer->begin(), answer->end(), sid);
  InitializeSecurityDescriptor(block, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorOwner(block, sid, FALSE);
  *owner = sid;
  *descriptor = block;
  return ERROR_SUCCESS;
}
REGISTER(GetSecurityInfo)

// A null DACL where the name asks for one.
decltype(&GetNamedSecurityInfoW) realGetNamedSecurityInfoW;
DWORD WINAPI HookGetNamedSecurityInfoW(LPCWSTR path,
                                       SE_OBJECT_TYPE type,
                                       SECURITY_INFORMATION parts,
                                       PSID* owner,
                                       PSID* group,
                                       PACL* dacl,
                                       PACL* sacl,
                                       PSECURITY_DESCRIPTOR* descriptor) {
  if (Failing(Count(CALLER, "GetNamedSecurityInfoW", {Utf8(path)})))
    return Failed<DWORD>(ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED);
  const DWORD result =
      realGetNamedSecurityInfoW(path, type, parts, owner, group, dacl, sacl, descriptor);
  if (result != ERROR_SUCCESS || parts != DACL_SECURITY_INFORMATION || dacl == nullptr ||
      descriptor == nullptr || !Named(Utf8(path), nullDaclNames))
    return result;
  LocalFree(*descriptor);
  auto* block = static_cast<SECURITY_DESCRIPTOR*>(
      LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, sizeof(SECURITY_DESCRIPTOR)));
  InitializeSecurityDescriptor(block, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(block, TRUE, nullptr, FALSE);
  *dacl = nullptr;
  *descriptor = block;
  return ERROR_SUCCESS;
}
REGISTER(GetNamedSecurityInfoW)

// Offered where Wine lacks it.
using TempPathFunction = DWORD(WINAPI*)(DWORD, LPWSTR);
TempPathFunction realGetTempPath2W;
DWORD WINAPI HookGetTempPath2W(DWORD size, LPWSTR path) {
  if (Failing(Count(CALLER, "GetTempPath2W", {})))
    return Failed<DWORD>(0, ERROR_PATH_NOT_FOUND);
  if (realGetTempPath2W != nullptr)
    return realGetTempPath2W(size, path);
  if (!tokenEmulated || tokenUser != SidOf("S-1-5-18") || systemTemp.empty())
    return GetTempPathW(size, path);
  const auto length = static_cast<DWORD>(systemTemp.size());
  if (length >= size)
    return length + 1;
  lstrcpyW(path, systemTemp.c_str());
  return length;
}
const Registration registerGetTempPath2W("GetTempPath2W",
                                         reinterpret_cast<void*>(&HookGetTempPath2W),
                                         reinterpret_cast<void**>(&realGetTempPath2W),
                                         true);

decltype(&GetFileInformationByHandle) realGetFileInformationByHandle;
BOOL WINAPI HookGetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information) {
  const Opened as = OpenedAs(file);
  if (Failing(Count(CALLER, "GetFileInformationByHandle", {as.path})))
    return Failed(FALSE, ERROR_ACCESS_DENIED);
  const BOOL result = realGetFileInformationByHandle(file, information);
  if (!result)
    return result;
  const bool itself = (as.flags & FILE_FLAG_OPEN_REPARSE_POINT) != 0;
  if (itself && Named(as.path, linkNames))
    information->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
  else if (!itself && (Named(as.path, linkNames) || Named(as.path, repointNames)))
    information->nFileIndexHigh ^= 0x40000000;
  return result;
}
REGISTER(GetFileInformationByHandle)

decltype(&GetVolumeInformationW) realGetVolumeInformationW;
BOOL WINAPI HookGetVolumeInformationW(LPCWSTR root,
                                      LPWSTR name,
                                      DWORD nameSize,
                                      LPDWORD serial,
                                      LPDWORD length,
                                      LPDWORD flags,
                                      LPWSTR system,
                                      DWORD systemSize) {
  if (Failing(Count(CALLER, "GetVolumeInformationW", {Utf8(root)})))
    return Failed(FALSE, ERROR_NOT_READY);
  const BOOL result =
      realGetVolumeInformationW(root, name, nameSize, serial, length, flags, system, systemSize);
  if (result && noAcls && flags != nullptr)
    *flags &= ~static_cast<DWORD>(FILE_PERSISTENT_ACLS);
  return result;
}
REGISTER(GetVolumeInformationW)

// Fails as for a network path that does not tell, or answers the room asked
// for.
decltype(&GetDiskFreeSpaceExW) realGetDiskFreeSpaceExW;
BOOL WINAPI HookGetDiskFreeSpaceExW(LPCWSTR folder,
                                    PULARGE_INTEGER available,
                                    PULARGE_INTEGER total,
                                    PULARGE_INTEGER free) {
  if (Failing(Count(CALLER, "GetDiskFreeSpaceExW", {Utf8(folder)})))
    return Failed(FALSE, ERROR_ACCESS_DENIED);
  const BOOL result = realGetDiskFreeSpaceExW(folder, available, total, free);
  if (result && freeAnswer >= 0) {
    for (PULARGE_INTEGER room : {available, free})
      if (room != nullptr)
        room->QuadPart = static_cast<ULONGLONG>(freeAnswer);
  }
  return result;
}
REGISTER(GetDiskFreeSpaceExW)

}  // namespace

void StartWineStandIns() {
  HANDLE token = nullptr;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    DWORD_PTR buffer[64];
    DWORD size = 0;
    if (GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &size)) {
      const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer);
      const auto* bytes = static_cast<const BYTE*>(user->User.Sid);
      realUser.assign(bytes, bytes + GetLengthSid(user->User.Sid));
    }
    CloseHandle(token);
  }
  const std::string kind = Utf8(Environment(L"ULVERANE_FAULT_TOKEN").c_str());
  const Sid administrators = SidOf("S-1-5-32-544");
  tokenEmulated = kind == "plain" || kind == "elevated" || kind == "system";
  tokenUser = kind == "system" ? SidOf("S-1-5-18") : realUser;
  tokenOwner = kind == "plain" ? realUser : administrators;
  foreignOwner = SidOf("S-1-5-21-1-2-3-1004");
  foreignNames = List(Utf8(Environment(L"ULVERANE_FAULT_FOREIGN").c_str()));
  linkNames = List(Utf8(Environment(L"ULVERANE_FAULT_LINK").c_str()));
  repointNames = List(Utf8(Environment(L"ULVERANE_FAULT_REPOINT").c_str()));
  nullDaclNames = List(Utf8(Environment(L"ULVERANE_FAULT_NULL_DACL").c_str()));
  systemTemp = Environment(L"ULVERANE_FAULT_SYSTEM_TEMP");
  noAcls = Environment(L"ULVERANE_FAULT_NO_ACLS") == L"1";
  const std::wstring room = Environment(L"ULVERANE_FAULT_FREE");
  if (!room.empty())
    freeAnswer = std::wcstoll(room.c_str(), nullptr, 10);
}

}  // namespace fault
