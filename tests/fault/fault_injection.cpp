// fault_injection.dll: loaded into a setup executable before its entry point
// runs (SetupProcess with a DLL to inject), it redirects the import slots
// through which the program's own code calls the system, counts those calls
// and can make one of them fail the way that function fails on Windows.
//
// Environment, read when the DLL is loaded:
//   ULVERANE_FAULT=<n>[:short]  the n-th counted call fails: its documented
//       failure value and a fitting last error (see the hooks below). With
//       ":short" a ReadFile or WriteFile succeeds with half the bytes asked
//       for instead; any other function then fails as without it.
//   ULVERANE_FAULT_TRACE=<file>  one UTF-8 line per counted call, appended
//       and written at once: number, function, calling place and the
//       path, name or command arguments, separated by tabs (a tab or line
//       break in them written as \t, \r, \n); the failed call ends with
//       "<fault>" or "<short>". ShellExecuteW and ShellExecuteExW
//       give lpFile and lpParameters.
//   ULVERANE_FAULT_PLACES=<file>  the program's own code, one function a
//       line: "<start RVA> <size> <name>" (hex, hex, rest of the line), made
//       from the linker map by tests/fault/fault_sweep.py. Only calls whose
//       return address lies there are counted, and a calling place is named
//       "<name>+0x<offset of the return address>". Without it, every call
//       from the image is counted and named "image+0x<RVA>".
//   ULVERANE_FAULT_HIDE=<export>[,<export>...]  GetProcAddress answers null
//       with ERROR_PROC_NOT_FOUND for these names, whoever asks, as an older
//       Windows does. With SetDefaultDllDirectories hidden, LoadLibraryExW
//       with any LOAD_LIBRARY_SEARCH_* flag fails with ERROR_INVALID_PARAMETER,
//       as on a system without that loader update.
//
// What Wine cannot show (it neither keeps nor enforces permissions and has no
// junctions), answered as Windows would:
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
//   ULVERANE_FAULT_SLOW=<ms>  each WriteFile of the program's own code first
//       waits that long: a slow drive, or a scanner looking at each write.
//   ULVERANE_FAULT_FREE=<bytes>  GetDiskFreeSpaceExW answers that many bytes
//       free, to the caller and on the volume: a drive about to be full.
// The trace gives the access that CreateFileW asks for (hex, after the
// path), the security descriptor that CreateDirectoryW is handed,
// and the DACL that SetSecurityInfo is, in SDDL ("-" for none), and for calls
// about an open file its path, as the program opened it with CreateFileW.
//
// The kernel32 slots of the image's import table are redirected in place.
// The delay-loaded DLLs (user32, shell32, advapi32, rpcrt4, comdlg32, msi)
// and the functions the program looks up itself (imagehlp, newer kernel32
// exports) are reached through GetProcAddress, whose redirected slot hands
// out the hook in place of the function. Calls from the runtime (heap, TLS,
// the delay-load helper's own LoadLibraryA and GetProcAddress) pass through
// uncounted. Release functions (CloseHandle, FreeLibrary, RegCloseKey,
// MsiCloseHandle, RpcStringFreeW, ImageUnload, DestroyIcon, DestroyWindow and
// Wow64RevertWow64FsRedirection) are left alone: they cannot fail in a way
// that leaves the program anything to do; so are those that cannot fail at
// all (GetTickCount, TranslateMessage, DispatchMessageW).
#include <windows.h>
#include <aclapi.h>
#include <commdlg.h>
#include <imagehlp.h>
#include <msi.h>
#include <msiquery.h>
#include <rpc.h>
#include <sddl.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace {

enum class Outcome { kPass, kFail, kShort };

struct Place {
  std::uint32_t start;
  std::uint32_t size;
  std::string name;
};

std::uintptr_t imageBase = 0;
std::uint32_t imageSize = 0;
std::vector<Place> places;
bool placesGiven = false;
LONG counted = 0;
LONG faultAt = 0;
bool shortTransfer = false;
HANDLE trace = INVALID_HANDLE_VALUE;
std::vector<std::string> hidden;
bool oldLoader = false;

// The answers of ULVERANE_FAULT_TOKEN, FOREIGN, LINK and NO_ACLS.
using Sid = std::vector<BYTE>;
bool tokenEmulated = false;
Sid realUser, tokenUser, tokenOwner, foreignOwner;
std::vector<std::string> foreignNames, linkNames, repointNames, nullDaclNames;
bool noAcls = false;
// The answers of ULVERANE_FAULT_SLOW and FREE; a negative room is none.
DWORD slowWrites = 0;
long long freeAnswer = -1;
std::wstring systemTemp;

// The files the program opened, by handle: path and CreateFileW flags.
struct Opened {
  std::string path;
  DWORD flags;
};
CRITICAL_SECTION openedLock;
std::map<HANDLE, Opened> opened;

std::string Utf8(const wchar_t* text) {
  if (text == nullptr)
    return "(null)";
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string bytes(size > 0 ? static_cast<size_t>(size) : 1, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes.data(), size, nullptr, nullptr);
  bytes.resize(bytes.size() - 1);
  return bytes;
}

// A name, or the number of an integer resource or ordinal.
std::string NameOrId(const wchar_t* name) {
  if (IS_INTRESOURCE(name))
    return "#" + std::to_string(reinterpret_cast<std::uintptr_t>(name));
  return Utf8(name);
}

std::string Narrow(const char* text) {
  if (IS_INTRESOURCE(text))
    return "#" + std::to_string(reinterpret_cast<std::uintptr_t>(text));
  return text;
}

// SDDL of the parts of `descriptor` that `parts` names, or "-".
std::string Sddl(PSECURITY_DESCRIPTOR descriptor, SECURITY_INFORMATION parts) {
  LPWSTR text = nullptr;
  if (descriptor == nullptr || !ConvertSecurityDescriptorToStringSecurityDescriptorW(
                                   descriptor, SDDL_REVISION_1, parts, &text, nullptr))
    return "-";
  const std::string result = Utf8(text);
  LocalFree(text);
  return result;
}

Sid SidOf(const char* text) {
  PSID sid = nullptr;
  Sid bytes;
  if (ConvertStringSidToSidA(text, &sid)) {
    bytes.assign(static_cast<BYTE*>(sid), static_cast<BYTE*>(sid) + GetLengthSid(sid));
    LocalFree(sid);
  }
  return bytes;
}

Opened OpenedAs(HANDLE handle) {
  EnterCriticalSection(&openedLock);
  const auto found = opened.find(handle);
  const Opened result = found != opened.end() ? found->second : Opened{"(handle)", 0};
  LeaveCriticalSection(&openedLock);
  return result;
}

std::string PathOf(HANDLE handle) {
  return OpenedAs(handle).path;
}

// `text` against `pattern`, where '*' stands for any run of characters and
// '?' for any one.
bool Matches(const char* pattern, const char* text) {
  if (*pattern == '*')
    return Matches(pattern + 1, text) || (*text != '\0' && Matches(pattern, text + 1));
  if (*pattern == '\0' || *text == '\0')
    return *pattern == *text;
  return (*pattern == '?' || *pattern == *text) && Matches(pattern + 1, text + 1);
}

// Whether the last component of `path` matches one of `names`.
bool Named(const std::string& path, const std::vector<std::string>& names) {
  std::string last = path;
  while (!last.empty() && last.back() == '\\')
    last.pop_back();
  last = last.substr(last.rfind('\\') + 1);
  for (const std::string& name : names)
    if (Matches(name.c_str(), last.c_str()))
      return true;
  return false;
}

std::vector<std::string> List(const std::string& text) {
  std::vector<std::string> items;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find(',', start);
    if (end == std::string::npos)
      end = text.size();
    if (end > start)
      items.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return items;
}

std::string Hex(std::uintptr_t value) {
  char text[20];
  std::snprintf(text, sizeof(text), "0x%lx", static_cast<unsigned long>(value));
  return text;
}

std::wstring Environment(const wchar_t* name) {
  wchar_t value[32768];
  const DWORD length = GetEnvironmentVariableW(name, value, 32768);
  return length == 0 || length >= 32768 ? std::wstring() : std::wstring(value, length);
}

std::string ReadWhole(const std::wstring& path) {
  const HANDLE file =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  std::string bytes;
  if (file == INVALID_HANDLE_VALUE)
    return bytes;
  char chunk[65536];
  DWORD read = 0;
  while (ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read != 0)
    bytes.append(chunk, read);
  CloseHandle(file);
  return bytes;
}

void LoadPlaces(const std::wstring& path) {
  const std::string text = ReadWhole(path);
  size_t line = 0;
  while (line < text.size()) {
    size_t end = text.find('\n', line);
    if (end == std::string::npos)
      end = text.size();
    const std::string row = text.substr(line, end - line);
    line = end + 1;
    char* rest = nullptr;
    const auto start = static_cast<std::uint32_t>(std::strtoul(row.c_str(), &rest, 16));
    const auto size = static_cast<std::uint32_t>(std::strtoul(rest, &rest, 16));
    while (*rest == ' ')
      ++rest;
    if (size != 0)
      places.push_back({start, size, rest});
  }
  std::sort(places.begin(), places.end(),
            [](const Place& a, const Place& b) { return a.start < b.start; });
  placesGiven = true;
}

// The calling place of a return address, or empty when the call does not
// come from the program's own code.
std::string PlaceOf(const void* returnAddress) {
  const auto address = reinterpret_cast<std::uintptr_t>(returnAddress);
  if (address < imageBase || address - imageBase >= imageSize)
    return std::string();
  const auto rva = static_cast<std::uint32_t>(address - imageBase);
  if (!placesGiven)
    return "image+" + Hex(rva);
  auto after =
      std::upper_bound(places.begin(), places.end(), rva,
                       [](std::uint32_t value, const Place& p) { return value < p.start; });
  if (after == places.begin())
    return std::string();
  const Place& place = *--after;
  if (rva - place.start >= place.size)
    return std::string();
  return place.name + "+" + Hex(rva - place.start);
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '\t')
      out += "\\t";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else
      out += c;
  }
  return out;
}

// Counts a call from the program's own code, writes its trace line and tells
// whether it is the one to fail. Calls from anywhere else pass uncounted.
Outcome Count(const void* returnAddress,
              const char* function,
              std::initializer_list<std::string> details) {
  const std::string place = PlaceOf(returnAddress);
  if (place.empty())
    return Outcome::kPass;
  const LONG number = InterlockedIncrement(&counted);
  Outcome outcome = Outcome::kPass;
  if (number == faultAt)
    outcome = shortTransfer ? Outcome::kShort : Outcome::kFail;
  if (trace != INVALID_HANDLE_VALUE) {
    std::string line = std::to_string(number) + "\t" + function + "\t" + place;
    for (const std::string& detail : details)
      line += "\t" + Escaped(detail);
    if (outcome != Outcome::kPass)
      line += outcome == Outcome::kShort ? "\t<short>" : "\t<fault>";
    line += "\n";
    DWORD written = 0;
    WriteFile(trace, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  }
  return outcome;
}

template <typename T>
T Failed(T value, DWORD error) {
  SetLastError(error);
  return value;
}

bool Failing(Outcome outcome) {
  return outcome != Outcome::kPass;
}

#define CALLER __builtin_return_address(0)

// A redirected function: its hook, and where the hook finds the real one.
struct Redirect {
  const char* name;
  void* hook;
  void** real;
  // Handed out also where the system lacks the function.
  bool standIn;
};

std::vector<Redirect>& Redirects() {
  static std::vector<Redirect> all;
  return all;
}

struct Registration {
  Registration(const char* name, void* hook, void** real, bool standIn = false) {
    Redirects().push_back({name, hook, real, standIn});
  }
};

#define REGISTER(Name)                                                           \
  const Registration register##Name(#Name, reinterpret_cast<void*>(&Hook##Name), \
                                    reinterpret_cast<void**>(&real##Name));

// A hook that counts the call and, for the failing one, returns `failure`
// with the last error `error` as the function itself fails; the trace gets
// the details after the arguments.
#define HOOK(Result, Name, failure, error, Parameters, Arguments, ...) \
  decltype(&Name) real##Name;                                          \
  Result WINAPI Hook##Name Parameters {                                \
    if (Failing(Count(CALLER, #Name, {__VA_ARGS__})))                  \
      return Failed<Result>(failure, error);                           \
    return real##Name Arguments;                                       \
  }                                                                    \
  REGISTER(Name)

// clang-format off
// Files and folders.
HOOK(BOOL, SetFilePointerEx, FALSE, ERROR_ACCESS_DENIED,
     (HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER position, DWORD method),
     (file, distance, position, method), std::to_string(distance.QuadPart))
HOOK(BOOL, GetFileSizeEx, FALSE, ERROR_ACCESS_DENIED, (HANDLE file, PLARGE_INTEGER size),
     (file, size))
HOOK(BOOL, DeleteFileW, FALSE, ERROR_ACCESS_DENIED, (LPCWSTR path), (path), Utf8(path))
HOOK(DWORD, GetFileAttributesW, INVALID_FILE_ATTRIBUTES, ERROR_ACCESS_DENIED, (LPCWSTR path),
     (path), Utf8(path))
// Not a sharing violation or access denied: those are worth retrying, a full
// disk is not.
HOOK(BOOL, MoveFileExW, FALSE, ERROR_DISK_FULL, (LPCWSTR from, LPCWSTR to, DWORD flags),
     (from, to, flags), Utf8(from), Utf8(to))
HOOK(UINT, GetTempFileNameW, 0, ERROR_ACCESS_DENIED,
     (LPCWSTR folder, LPCWSTR prefix, UINT unique, LPWSTR name), (folder, prefix, unique, name),
     Utf8(folder), Utf8(prefix))
HOOK(DWORD, GetTempPathW, 0, ERROR_PATH_NOT_FOUND, (DWORD size, LPWSTR path), (size, path))
HOOK(BOOL, CreateDirectoryW, FALSE, ERROR_ACCESS_DENIED,
     (LPCWSTR path, LPSECURITY_ATTRIBUTES security), (path, security), Utf8(path),
     Sddl(security != nullptr ? security->lpSecurityDescriptor : nullptr,
          OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION))
HOOK(BOOL, SetFileAttributesW, FALSE, ERROR_ACCESS_DENIED, (LPCWSTR path, DWORD attributes),
     (path, attributes), Utf8(path), Hex(attributes))
HOOK(BOOL, FlushFileBuffers, FALSE, ERROR_WRITE_FAULT, (HANDLE file), (file), PathOf(file))
HOOK(BOOL, SetFileTime, FALSE, ERROR_ACCESS_DENIED,
     (HANDLE file, const FILETIME* created, const FILETIME* accessed, const FILETIME* written),
     (file, created, accessed, written), PathOf(file))
HOOK(BOOL, GetFileInformationByHandleEx, FALSE, ERROR_ACCESS_DENIED,
     (HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID out, DWORD size),
     (file, kind, out, size), PathOf(file), std::to_string(static_cast<int>(kind)))
HOOK(BOOL, GetVolumePathNameW, FALSE, ERROR_PATH_NOT_FOUND,
     (LPCWSTR path, LPWSTR root, DWORD size), (path, root, size), Utf8(path))
// A network path that does not tell.
HOOK(BOOL, GetDiskFreeSpaceW, FALSE, ERROR_ACCESS_DENIED,
     (LPCWSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector, LPDWORD freeClusters,
      LPDWORD clusters),
     (root, sectorsPerCluster, bytesPerSector, freeClusters, clusters), Utf8(root))
HOOK(BOOL, RemoveDirectoryW, FALSE, ERROR_SHARING_VIOLATION, (LPCWSTR path), (path), Utf8(path))
HOOK(DWORD, GetCurrentDirectoryW, 0, ERROR_PATH_NOT_FOUND, (DWORD size, LPWSTR path),
     (size, path))
HOOK(BOOL, SetCurrentDirectoryW, FALSE, ERROR_PATH_NOT_FOUND, (LPCWSTR path), (path), Utf8(path))
HOOK(DWORD, GetModuleFileNameW, 0, ERROR_ACCESS_DENIED, (HMODULE module, LPWSTR path, DWORD size),
     (module, path, size))
HOOK(DWORD, GetShortPathNameW, 0, ERROR_PATH_NOT_FOUND, (LPCWSTR path, LPWSTR out, DWORD size),
     (path, out, size), Utf8(path))
HOOK(UINT, GetSystemDirectoryW, 0, ERROR_PATH_NOT_FOUND, (LPWSTR path, UINT size), (path, size))
HOOK(UINT, GetSystemWindowsDirectoryW, 0, ERROR_PATH_NOT_FOUND, (LPWSTR path, UINT size),
     (path, size))
HOOK(UINT, GetSystemWow64DirectoryW, 0, ERROR_PATH_NOT_FOUND, (LPWSTR path, UINT size),
     (path, size))
HOOK(HANDLE, FindFirstFileW, INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED,
     (LPCWSTR pattern, LPWIN32_FIND_DATAW data), (pattern, data), Utf8(pattern))
HOOK(BOOL, FindNextFileW, FALSE, ERROR_ACCESS_DENIED, (HANDLE find, LPWIN32_FIND_DATAW data),
     (find, data))

// Strings.
HOOK(int, WideCharToMultiByte, 0, ERROR_INSUFFICIENT_BUFFER,
     (UINT page, DWORD flags, LPCWCH text, int length, LPSTR out, int size, LPCCH fallback,
      LPBOOL used),
     (page, flags, text, length, out, size, fallback, used), std::to_string(page))
HOOK(int, MultiByteToWideChar, 0, ERROR_NO_UNICODE_TRANSLATION,
     (UINT page, DWORD flags, LPCCH text, int length, LPWSTR out, int size),
     (page, flags, text, length, out, size), std::to_string(page))

// Libraries and resources.
HOOK(BOOL, SetDllDirectoryW, FALSE, ERROR_ACCESS_DENIED, (LPCWSTR path), (path), Utf8(path))
HOOK(HRSRC, FindResourceW, nullptr, ERROR_RESOURCE_NAME_NOT_FOUND,
     (HMODULE module, LPCWSTR name, LPCWSTR type), (module, name, type), NameOrId(name),
     NameOrId(type))
HOOK(HGLOBAL, LoadResource, nullptr, ERROR_NOT_ENOUGH_MEMORY, (HMODULE module, HRSRC resource),
     (module, resource))
HOOK(PLOADED_IMAGE, ImageLoad, nullptr, ERROR_SHARING_VIOLATION, (PCSTR name, PCSTR path),
     (name, path), Narrow(name))
HOOK(BOOL, SetDefaultDllDirectories, FALSE, ERROR_INVALID_PARAMETER, (DWORD flags), (flags),
     Hex(flags))
HOOK(BOOL, SetSearchPathMode, FALSE, ERROR_ACCESS_DENIED, (DWORD flags), (flags), Hex(flags))
HOOK(BOOL, Wow64DisableWow64FsRedirection, FALSE, ERROR_ACCESS_DENIED, (PVOID* previous),
     (previous))

// Processes and the system.
HOOK(HINSTANCE, ShellExecuteW, reinterpret_cast<HINSTANCE>(SE_ERR_PNF), ERROR_PATH_NOT_FOUND,
     (HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR folder, INT show),
     (owner, verb, file, parameters, folder, show), Utf8(file), Utf8(parameters))
HOOK(DWORD, WaitForSingleObject, WAIT_FAILED, ERROR_ACCESS_DENIED, (HANDLE object, DWORD time),
     (object, time), std::to_string(time))
HOOK(BOOL, GetExitCodeProcess, FALSE, ERROR_ACCESS_DENIED, (HANDLE process, LPDWORD code),
     (process, code))
HOOK(BOOL, VerifyVersionInfoW, FALSE, ERROR_OLD_WIN_VERSION,
     (LPOSVERSIONINFOEXW version, DWORD type, DWORDLONG mask), (version, type, mask))
HOOK(LSTATUS, RegOpenKeyExW, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED,
     (HKEY parent, LPCWSTR name, DWORD options, REGSAM access, PHKEY key),
     (parent, name, options, access, key), Utf8(name))
HOOK(RPC_STATUS, UuidCreate, RPC_S_OUT_OF_MEMORY, RPC_S_OUT_OF_MEMORY, (UUID* uuid), (uuid))

// Security.
HOOK(BOOL, OpenProcessToken, FALSE, ERROR_ACCESS_DENIED,
     (HANDLE process, DWORD access, PHANDLE token), (process, access, token))
HOOK(BOOL, ConvertSidToStringSidW, FALSE, ERROR_NOT_ENOUGH_MEMORY, (PSID sid, LPWSTR* text),
     (sid, text))
HOOK(BOOL, ConvertStringSecurityDescriptorToSecurityDescriptorW, FALSE, ERROR_NOT_ENOUGH_MEMORY,
     (LPCWSTR text, DWORD revision, PSECURITY_DESCRIPTOR* descriptor, PULONG size),
     (text, revision, descriptor, size), Utf8(text))
HOOK(BOOL, GetSecurityDescriptorControl, FALSE, ERROR_INVALID_SECURITY_DESCR,
     (PSECURITY_DESCRIPTOR descriptor, PSECURITY_DESCRIPTOR_CONTROL control, LPDWORD revision),
     (descriptor, control, revision))
HOOK(RPC_STATUS, UuidToStringW, RPC_S_OUT_OF_MEMORY, RPC_S_OUT_OF_MEMORY,
     (UUID* uuid, RPC_WSTR* text), (uuid, text))

// Windows Installer: an error status.
HOOK(UINT, MsiOpenDatabaseW, ERROR_OPEN_FAILED, ERROR_OPEN_FAILED,
     (LPCWSTR path, LPCWSTR persist, MSIHANDLE* database), (path, persist, database), Utf8(path))
HOOK(UINT, MsiDatabaseOpenViewW, ERROR_FUNCTION_FAILED, ERROR_FUNCTION_FAILED,
     (MSIHANDLE database, LPCWSTR query, MSIHANDLE* view), (database, query, view), Utf8(query))
HOOK(UINT, MsiViewExecute, ERROR_FUNCTION_FAILED, ERROR_FUNCTION_FAILED,
     (MSIHANDLE view, MSIHANDLE record), (view, record))
HOOK(MSIHANDLE, MsiCreateRecord, 0, ERROR_NOT_ENOUGH_MEMORY, (UINT fields), (fields))
HOOK(UINT, MsiRecordSetStringW, ERROR_INVALID_HANDLE, ERROR_INVALID_HANDLE,
     (MSIHANDLE record, UINT field, LPCWSTR value), (record, field, value), Utf8(value))
HOOK(UINT, MsiViewModify, ERROR_FUNCTION_FAILED, ERROR_FUNCTION_FAILED,
     (MSIHANDLE view, MSIMODIFY mode, MSIHANDLE record), (view, mode, record),
     std::to_string(static_cast<int>(mode)))
HOOK(UINT, MsiDatabaseCommit, ERROR_FUNCTION_FAILED, ERROR_FUNCTION_FAILED, (MSIHANDLE database),
     (database))

// Windows and dialogs.
HOOK(INT_PTR, DialogBoxParamW, -1, ERROR_NOT_ENOUGH_MEMORY,
     (HINSTANCE instance, LPCWSTR name, HWND owner, DLGPROC procedure, LPARAM parameter),
     (instance, name, owner, procedure, parameter), NameOrId(name))
HOOK(int, MessageBoxW, 0, ERROR_NOT_ENOUGH_MEMORY,
     (HWND owner, LPCWSTR text, LPCWSTR caption, UINT flags), (owner, text, caption, flags),
     Utf8(text))
HOOK(int, MessageBoxA, 0, ERROR_NOT_ENOUGH_MEMORY,
     (HWND owner, LPCSTR text, LPCSTR caption, UINT flags), (owner, text, caption, flags),
     Narrow(text))
HOOK(BOOL, GetSaveFileNameW, FALSE, ERROR_NOT_ENOUGH_MEMORY, (OPENFILENAMEW* request), (request))
HOOK(HANDLE, LoadImageW, nullptr, ERROR_RESOURCE_NAME_NOT_FOUND,
     (HINSTANCE instance, LPCWSTR name, UINT type, int width, int height, UINT flags),
     (instance, name, type, width, height, flags), NameOrId(name))
HOOK(BOOL, GetWindowRect, FALSE, ERROR_INVALID_WINDOW_HANDLE, (HWND window, LPRECT rect),
     (window, rect))
HOOK(BOOL, ScreenToClient, FALSE, ERROR_INVALID_WINDOW_HANDLE, (HWND window, LPPOINT point),
     (window, point))
HOOK(BOOL, MoveWindow, FALSE, ERROR_INVALID_WINDOW_HANDLE,
     (HWND window, int x, int y, int width, int height, BOOL repaint),
     (window, x, y, width, height, repaint))
HOOK(HWND, CreateDialogParamW, nullptr, ERROR_NOT_ENOUGH_MEMORY,
     (HINSTANCE instance, LPCWSTR name, HWND owner, DLGPROC procedure, LPARAM parameter),
     (instance, name, owner, procedure, parameter), NameOrId(name))
// No message waiting, and one that is not the dialog's.
HOOK(BOOL, PeekMessageW, FALSE, ERROR_INVALID_WINDOW_HANDLE,
     (LPMSG message, HWND window, UINT first, UINT last, UINT remove),
     (message, window, first, last, remove))
HOOK(BOOL, IsDialogMessageW, FALSE, ERROR_INVALID_WINDOW_HANDLE, (HWND dialog, LPMSG message),
     (dialog, message))
HOOK(BOOL, SetWindowPos, FALSE, ERROR_INVALID_WINDOW_HANDLE,
     (HWND window, HWND after, int x, int y, int width, int height, UINT flags),
     (window, after, x, y, width, height, flags))
// Another desktop than the input one.
HOOK(BOOL, GetCursorPos, FALSE, ERROR_ACCESS_DENIED, (LPPOINT point), (point))
HOOK(HMONITOR, MonitorFromPoint, nullptr, ERROR_INVALID_PARAMETER, (POINT point, DWORD flags),
     (point, flags))
HOOK(BOOL, GetMonitorInfoW, FALSE, ERROR_INVALID_MONITOR_HANDLE,
     (HMONITOR monitor, LPMONITORINFO info), (monitor, info))
// clang-format on

// Those that fail in a way of their own.

// Either fails, or moves half the bytes asked for.
decltype(&ReadFile) realReadFile;
BOOL WINAPI HookReadFile(HANDLE file, LPVOID data, DWORD size, LPDWORD done, LPOVERLAPPED at) {
  const Outcome outcome = Count(CALLER, "ReadFile", {std::to_string(size)});
  if (outcome == Outcome::kFail)
    return Failed(FALSE, ERROR_ACCESS_DENIED);
  return realReadFile(file, data, outcome == Outcome::kShort ? size / 2 : size, done, at);
}
REGISTER(ReadFile)

decltype(&WriteFile) realWriteFile;
BOOL WINAPI HookWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD done, LPOVERLAPPED at) {
  if (slowWrites != 0 && !PlaceOf(CALLER).empty())
    Sleep(slowWrites);
  const Outcome outcome = Count(CALLER, "WriteFile", {std::to_string(size)});
  if (outcome == Outcome::kFail)
    return Failed(FALSE, ERROR_DISK_FULL);
  return realWriteFile(file, data, outcome == Outcome::kShort ? size / 2 : size, done, at);
}
REGISTER(WriteFile)

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

// Also refuses the search flags where the loader update is hidden.
decltype(&LoadLibraryExW) realLoadLibraryExW;
HMODULE WINAPI HookLoadLibraryExW(LPCWSTR name, HANDLE file, DWORD flags) {
  // LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR up to LOAD_LIBRARY_SEARCH_DEFAULT_DIRS.
  constexpr DWORD kSearchFlags = 0x1F00;
  if (Failing(Count(CALLER, "LoadLibraryExW", {Utf8(name), Hex(flags)})))
    return Failed<HMODULE>(nullptr, ERROR_ACCESS_DENIED);
  if (oldLoader && (flags & kSearchFlags) != 0)
    return Failed<HMODULE>(nullptr, ERROR_INVALID_PARAMETER);
  return realLoadLibraryExW(name, file, flags);
}
REGISTER(LoadLibraryExW)

decltype(&ShellExecuteExW) realShellExecuteExW;
BOOL WINAPI HookShellExecuteExW(SHELLEXECUTEINFOW* info) {
  if (Failing(Count(CALLER, "ShellExecuteExW", {Utf8(info->lpFile), Utf8(info->lpParameters)}))) {
    info->hInstApp = reinterpret_cast<HINSTANCE>(SE_ERR_PNF);
    return Failed(FALSE, ERROR_PATH_NOT_FOUND);
  }
  return realShellExecuteExW(info);
}
REGISTER(ShellExecuteExW)

decltype(&GetWindowTextW) realGetWindowTextW;
int WINAPI HookGetWindowTextW(HWND window, LPWSTR text, int size) {
  if (Failing(Count(CALLER, "GetWindowTextW", {}))) {
    if (size > 0)
      text[0] = L'\0';
    return Failed(0, ERROR_INVALID_WINDOW_HANDLE);
  }
  return realGetWindowTextW(window, text, size);
}
REGISTER(GetWindowTextW)

decltype(&CreateFileW) realCreateFileW;
HANDLE WINAPI HookCreateFileW(LPCWSTR path,
                              DWORD access,
                              DWORD share,
                              LPSECURITY_ATTRIBUTES security,
                              DWORD how,
                              DWORD flags,
                              HANDLE model) {
  if (Failing(Count(CALLER, "CreateFileW", {Utf8(path), Hex(access)})))
    return Failed(INVALID_HANDLE_VALUE, ERROR_SHARING_VIOLATION);
  const HANDLE file = realCreateFileW(path, access, share, security, how, flags, model);
  if (file != INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    EnterCriticalSection(&openedLock);
    opened[file] = {Utf8(path), flags};
    LeaveCriticalSection(&openedLock);
    SetLastError(error);
  }
  return file;
}
REGISTER(CreateFileW)

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

decltype(&SetSecurityInfo) realSetSecurityInfo;
DWORD WINAPI HookSetSecurityInfo(HANDLE handle,
                                 SE_OBJECT_TYPE type,
                                 SECURITY_INFORMATION parts,
                                 PSID owner,
                                 PSID group,
                                 PACL dacl,
                                 PACL sacl) {
  SECURITY_DESCRIPTOR shown;
  InitializeSecurityDescriptor(&shown, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&shown, dacl != nullptr, dacl, FALSE);
  if (parts & PROTECTED_DACL_SECURITY_INFORMATION)
    SetSecurityDescriptorControl(&shown, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
  if (Failing(Count(CALLER, "SetSecurityInfo",
                    {PathOf(handle), Sddl(&shown, DACL_SECURITY_INFORMATION)})))
    return Failed<DWORD>(ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED);
  return realSetSecurityInfo(handle, type, parts, owner, group, dacl, sacl);
}
REGISTER(SetSecurityInfo)

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

const Redirect* Find(const char* name) {
  for (const Redirect& redirect : Redirects())
    if (lstrcmpA(redirect.name, name) == 0)
      return &redirect;
  return nullptr;
}

// Hands out the hook in place of a redirected function, whoever asks: the
// delay-load helper fills the delay-import slots with what it answers.
decltype(&GetProcAddress) realGetProcAddress;
FARPROC WINAPI HookGetProcAddress(HMODULE module, LPCSTR name) {
  const bool byName = !IS_INTRESOURCE(name);
  if (Failing(Count(CALLER, "GetProcAddress", {Narrow(name)})))
    return Failed<FARPROC>(nullptr, ERROR_PROC_NOT_FOUND);
  if (byName && std::find(hidden.begin(), hidden.end(), name) != hidden.end())
    return Failed<FARPROC>(nullptr, ERROR_PROC_NOT_FOUND);
  const FARPROC found = realGetProcAddress(module, name);
  const Redirect* redirect = byName ? Find(name) : nullptr;
  if (redirect == nullptr || (found == nullptr && !redirect->standIn))
    return found;
  *redirect->real = reinterpret_cast<void*>(found);
  return reinterpret_cast<FARPROC>(redirect->hook);
}
REGISTER(GetProcAddress)

// Points the image's kernel32 import slots that have a hook at the hook.
void RedirectImportSlots(HMODULE image) {
  const auto* base = reinterpret_cast<const BYTE*>(image);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  imageSize = nt->OptionalHeader.SizeOfImage;
  const IMAGE_DATA_DIRECTORY& directory =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (directory.VirtualAddress == 0)
    return;
  for (auto* entry =
           reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
       entry->Name != 0; ++entry) {
    if (lstrcmpiA(reinterpret_cast<const char*>(base + entry->Name), "kernel32.dll") != 0)
      continue;
    const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(
        base + (entry->OriginalFirstThunk != 0 ? entry->OriginalFirstThunk : entry->FirstThunk));
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(const_cast<BYTE*>(base) + entry->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
        continue;
      const auto* byName =
          reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      const Redirect* redirect = Find(reinterpret_cast<const char*>(byName->Name));
      if (redirect == nullptr)
        continue;
      DWORD protection = 0;
      VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), PAGE_READWRITE, &protection);
      *redirect->real = reinterpret_cast<void*>(slots->u1.Function);
      slots->u1.Function = reinterpret_cast<std::uintptr_t>(redirect->hook);
      VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), protection, &protection);
    }
  }
}

void Start() {
  const HMODULE image = GetModuleHandleW(nullptr);
  imageBase = reinterpret_cast<std::uintptr_t>(image);

  const std::wstring fault = Environment(L"ULVERANE_FAULT");
  faultAt = static_cast<LONG>(std::wcstol(fault.c_str(), nullptr, 10));
  shortTransfer = fault.find(L":short") != std::wstring::npos;
  const std::wstring placesFile = Environment(L"ULVERANE_FAULT_PLACES");
  if (!placesFile.empty())
    LoadPlaces(placesFile);
  const std::wstring traceFile = Environment(L"ULVERANE_FAULT_TRACE");
  if (!traceFile.empty())
    trace = CreateFileW(traceFile.c_str(), FILE_APPEND_DATA,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_ALWAYS, 0, nullptr);
  if (trace != INVALID_HANDLE_VALUE) {
    // The process's own ANSI code page, which its manifest may set: the
    // compatibility matrix checks that each cell ran under the one it claims.
    const std::string acp = "#acp\t" + std::to_string(GetACP()) + "\n";
    DWORD written = 0;
    WriteFile(trace, acp.data(), static_cast<DWORD>(acp.size()), &written, nullptr);
  }
  hidden = List(Utf8(Environment(L"ULVERANE_FAULT_HIDE").c_str()));
  oldLoader = std::find(hidden.begin(), hidden.end(), "SetDefaultDllDirectories") != hidden.end();

  InitializeCriticalSection(&openedLock);
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
  slowWrites =
      static_cast<DWORD>(std::wcstoul(Environment(L"ULVERANE_FAULT_SLOW").c_str(), nullptr, 10));
  const std::wstring room = Environment(L"ULVERANE_FAULT_FREE");
  if (!room.empty())
    freeAnswer = std::wcstoll(room.c_str(), nullptr, 10);

  RedirectImportSlots(image);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH)
    Start();
  return TRUE;
}
