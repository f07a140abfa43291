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
// The kernel32 slots of the image's import table are redirected in place.
// The delay-loaded DLLs (user32, shell32, advapi32, rpcrt4, comdlg32, msi)
// and the functions the program looks up itself (imagehlp, newer kernel32
// exports) are reached through GetProcAddress, whose redirected slot hands
// out the hook in place of the function. Calls from the runtime (heap, TLS,
// the delay-load helper's own LoadLibraryA and GetProcAddress) pass through
// uncounted. Release functions (CloseHandle, FreeLibrary, RegCloseKey,
// MsiCloseHandle, RpcStringFreeW, ImageUnload, DestroyIcon and
// Wow64RevertWow64FsRedirection) are left alone: they cannot fail in a way
// that leaves the program anything to do.
#include <windows.h>
#include <commdlg.h>
#include <imagehlp.h>
#include <msi.h>
#include <msiquery.h>
#include <rpc.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
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
};

std::vector<Redirect>& Redirects() {
  static std::vector<Redirect> all;
  return all;
}

struct Registration {
  Registration(const char* name, void* hook, void** real) {
    Redirects().push_back({name, hook, real});
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
HOOK(HANDLE, CreateFileW, INVALID_HANDLE_VALUE, ERROR_SHARING_VIOLATION,
     (LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD how,
      DWORD flags, HANDLE model),
     (path, access, share, security, how, flags, model), Utf8(path))
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
     (LPCWSTR path, LPSECURITY_ATTRIBUTES security), (path, security), Utf8(path))
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
HOOK(RPC_STATUS, UuidCreateSequential, RPC_S_UUID_NO_ADDRESS, RPC_S_UUID_NO_ADDRESS,
     (UUID* uuid), (uuid))
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
  const Outcome outcome = Count(CALLER, "WriteFile", {std::to_string(size)});
  if (outcome == Outcome::kFail)
    return Failed(FALSE, ERROR_DISK_FULL);
  return realWriteFile(file, data, outcome == Outcome::kShort ? size / 2 : size, done, at);
}
REGISTER(WriteFile)

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
  const Redirect* redirect = byName && found != nullptr ? Find(name) : nullptr;
  if (redirect == nullptr)
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
  const std::string hide = Utf8(Environment(L"ULVERANE_FAULT_HIDE").c_str());
  for (size_t start = 0; start < hide.size();) {
    size_t end = hide.find(',', start);
    if (end == std::string::npos)
      end = hide.size();
    if (end > start)
      hidden.push_back(hide.substr(start, end - start));
    start = end + 1;
  }
  oldLoader = std::find(hidden.begin(), hidden.end(), "SetDefaultDllDirectories") != hidden.end();

  RedirectImportSlots(image);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH)
    Start();
  return TRUE;
}
