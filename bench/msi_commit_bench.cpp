// Takes apart what "/extract" asks of msi.dll once the package is written:
// opening it, editing its Property table, committing and closing, each timed
// with the bytes this process read and wrote meanwhile. Whether the platform
// rewrites the whole file on commit shows in the bytes written then. Run by
// tools/bench.sh package.
//
//   msi_commit_bench <package> <work-file> edit|same
//     Copies <package> to <work-file> (1 MiB ReadFile/WriteFile steps), opens
//     it as the setup does, with "edit" sets the setup's four properties, with
//     "same" changes nothing, then commits and closes. Prints, for each of
//     copy, open, edit, commit and close: <step>_s=<s> <step>_written=<bytes>
//     <step>_read=<bytes>, then size=<work-file bytes> peak_ws=<bytes>
//     peak_ws_before_commit=<bytes>. Byte counts are those the kernel counts
//     for this program's process in read and write calls ("unavailable"
//     where there are none); the work file is left for the caller to check.
#include <windows.h>
#include <msiquery.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "bench/bench.h"
#include "package/msi_handle.h"
#include "package/property_table.h"

namespace {

using ulverane::MsiHandle;
using ulverane::bench::Now;
using ulverane::bench::PeakWorkingSet;
using ulverane::bench::Seconds;

struct Counters {
  long long read = -1;
  long long written = -1;
};

// The kernel's counters of this program's Unix process, read through the Z:
// drive. Not /proc/self: the Wine server opens files on the program's behalf,
// so "self" would be the server. Wine names the process after the program
// (its "comm", cut to 15 bytes); with none or several such processes, there
// are no counters.
// The first bytes of /proc/<process>/<name>, or nothing.
std::string ProcText(const std::wstring& process, const wchar_t* name) {
  const HANDLE file =
      CreateFileW((L"Z:\\proc\\" + process + L"\\" + name).c_str(), GENERIC_READ, FILE_SHARE_READ,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return "";
  char text[512];
  DWORD read = 0;
  ReadFile(file, text, sizeof(text), &read, nullptr);
  CloseHandle(file);
  return std::string(text, read);
}

std::wstring CountersPath() {
  std::wstring found;
  int matches = 0;
  WIN32_FIND_DATAW data;
  const HANDLE find = FindFirstFileW(L"Z:\\proc\\*", &data);
  if (find == INVALID_HANDLE_VALUE)
    return L"";
  do {
    const std::wstring name = data.cFileName;
    if (name.empty() || name.find_first_not_of(L"0123456789") != std::wstring::npos ||
        ProcText(name, L"comm").rfind("msi_commit_benc", 0) != 0)
      continue;
    // A run that has just ended may linger as a zombie.
    const std::string stat = ProcText(name, L"stat");
    const size_t state = stat.rfind(") ");
    if (state == std::string::npos || stat[state + 2] == 'Z' || stat[state + 2] == 'X')
      continue;
    found = name;
    ++matches;
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return matches == 1 ? L"Z:\\proc\\" + found + L"\\io" : L"";
}

Counters ReadCounters() {
  static const std::wstring path = CountersPath();
  Counters counters;
  if (path.empty())
    return counters;
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return counters;
  char text[1024] = {};
  DWORD read = 0;
  ReadFile(file, text, sizeof(text) - 1, &read, nullptr);
  CloseHandle(file);
  if (const char* found = std::strstr(text, "rchar: "))
    counters.read = std::strtoll(found + 7, nullptr, 10);
  if (const char* found = std::strstr(text, "wchar: "))
    counters.written = std::strtoll(found + 7, nullptr, 10);
  return counters;
}

// Times one step and the bytes read and written during it.
class Step {
 public:
  explicit Step(const char* name) : name_(name), before_(ReadCounters()), start_(Now()) {}
  void Print() const {
    const LARGE_INTEGER end = Now();
    const Counters after = ReadCounters();
    std::printf("%s_s=%.6f %s_written=%s %s_read=%s ", name_, Seconds(start_, end), name_,
                Delta(before_.written, after.written).c_str(), name_,
                Delta(before_.read, after.read).c_str());
  }

 private:
  // The counters' own read is a few hundred bytes; it is not subtracted.
  static std::string Delta(long long from, long long to) {
    return from < 0 || to < 0 ? "unavailable" : std::to_string(to - from);
  }
  const char* name_;
  Counters before_;
  LARGE_INTEGER start_;
};

int Fail(const char* what) {
  std::fprintf(stderr, "%s failed\n", what);
  return 1;
}

int Measure(const std::wstring& package, const std::wstring& work, bool edit) {
  {
    const Step step("copy");
    const HANDLE source = ulverane::bench::OpenSource(package.c_str());
    LARGE_INTEGER size = {};
    const bool ok = source != INVALID_HANDLE_VALUE && GetFileSizeEx(source, &size) &&
                    size.HighPart == 0 &&
                    ulverane::bench::CopyRange(source, 0, size.LowPart, work.c_str());
    if (source != INVALID_HANDLE_VALUE)
      CloseHandle(source);
    if (!ok)
      return Fail("the copy");
    step.Print();
  }

  MsiHandle database;
  {
    const Step step("open");
    MSIHANDLE handle = 0;
    const UINT status = MsiOpenDatabaseW(work.c_str(), MSIDBOPEN_DIRECT, &handle);
    database.reset(handle);
    if (status != ERROR_SUCCESS)
      return Fail("MsiOpenDatabase");
    step.Print();
  }
  MsiHandle view;
  {
    const Step step("edit");
    MSIHANDLE handle = 0;
    const UINT status = MsiDatabaseOpenViewW(database.get(), L"SELECT * FROM `Property`", &handle);
    view.reset(handle);
    if (status != ERROR_SUCCESS || MsiViewExecute(view.get(), 0) != ERROR_SUCCESS)
      return Fail("the Property view");
    if (edit) {
      ulverane::SetProperty(view.get(), L"NO_UPDATE_CHECK_PROPERTY", L"#1");
      ulverane::SetProperty(view.get(), L"NO_EULA_PROPERTY", L"#1");
      ulverane::SetProperty(view.get(), L"INSTALL_DESKTOP_SHORTCUT_PROPERTY", L"#1");
      ulverane::SetProperty(view.get(), L"INSTALL_DIR_PROPERTY", L"C:\\Ulverane Bench");
    }
    step.Print();
  }
  const SIZE_T peakBeforeCommit = PeakWorkingSet(GetCurrentProcess());
  {
    const Step step("commit");
    if (MsiDatabaseCommit(database.get()) != ERROR_SUCCESS)
      return Fail("MsiDatabaseCommit");
    step.Print();
  }
  {
    const Step step("close");
    view.reset();
    database.reset();
    step.Print();
  }
  WIN32_FILE_ATTRIBUTE_DATA data;
  const unsigned long long size =
      GetFileAttributesExW(work.c_str(), GetFileExInfoStandard, &data)
          ? (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow
          : 0;
  std::printf("size=%llu peak_ws=%llu peak_ws_before_commit=%llu\n", size,
              static_cast<unsigned long long>(PeakWorkingSet(GetCurrentProcess())),
              static_cast<unsigned long long>(peakBeforeCommit));
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc == 4 ? argv[3] : L"";
  if (mode == L"edit" || mode == L"same") {
    try {
      return Measure(argv[1], argv[2], mode == L"edit");
    } catch (const std::exception& error) {
      std::fprintf(stderr, "%s\n", error.what());
      return 1;
    }
  }
  std::fprintf(stderr, "usage: msi_commit_bench <package> <work-file> edit|same\n");
  return 2;
}
