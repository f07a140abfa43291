#include "injector.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace fault {
namespace {

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

CRITICAL_SECTION openedLock;
std::map<HANDLE, Opened> opened;

// `text` against `pattern`, where '*' stands for any run of characters and
// '?' for any one.
bool Matches(const char* pattern, const char* text) {
  if (*pattern == '*')
    return Matches(pattern + 1, text) || (*text != '\0' && Matches(pattern, text + 1));
  if (*pattern == '\0' || *text == '\0')
    return *pattern == *text;
  return (*pattern == '?' || *pattern == *text) && Matches(pattern + 1, text + 1);
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
  if (byName && Hidden(name))
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
  InitializeCriticalSection(&openedLock);

  StartHooks();
  StartWineStandIns();
  RedirectImportSlots(image);
}

}  // namespace

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

bool Hidden(const char* name) {
  return std::find(hidden.begin(), hidden.end(), name) != hidden.end();
}

void RememberOpened(HANDLE handle, const Opened& as) {
  const DWORD error = GetLastError();
  EnterCriticalSection(&openedLock);
  opened[handle] = as;
  LeaveCriticalSection(&openedLock);
  SetLastError(error);
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

std::string Utf8(const wchar_t* text) {
  if (text == nullptr)
    return "(null)";
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string bytes(size > 0 ? static_cast<size_t>(size) : 1, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes.data(), size, nullptr, nullptr);
  bytes.resize(bytes.size() - 1);
  return bytes;
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

std::vector<Redirect>& Redirects() {
  static std::vector<Redirect> all;
  return all;
}

}  // namespace fault

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH)
    fault::Start();
  return TRUE;
}
