#include "base/system_library.h"

#include <string>

namespace ulverane {

SystemLibrary::SystemLibrary(const wchar_t* name) {
  module_.reset(LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
  if (module_.valid())
    return;
  // Systems without the search flags reject it; a full path is just as safe.
  wchar_t folder[MAX_PATH];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH)
    return;
  const std::wstring path = std::wstring(folder, length) + L"\\" + name;
  module_.reset(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

}  // namespace ulverane
