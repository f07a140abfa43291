#include "payload/ansi_file_name.h"

namespace ulverane {

std::optional<std::string> SpellInCodePage(const std::wstring& text, UINT codePage) {
  // No best-fit or used-default flags: UTF-8 rejects both. Converting back
  // and comparing tells a lossy result for any code page instead.
  const int size = WideCharToMultiByte(codePage, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (size < 2)
    return std::nullopt;
  std::string bytes(static_cast<size_t>(size), '\0');
  if (WideCharToMultiByte(codePage, 0, text.c_str(), -1, bytes.data(), size, nullptr, nullptr) !=
      size)
    return std::nullopt;
  const int wideSize = MultiByteToWideChar(codePage, 0, bytes.c_str(), -1, nullptr, 0);
  if (wideSize < 1)
    return std::nullopt;
  std::wstring back(static_cast<size_t>(wideSize), L'\0');
  if (MultiByteToWideChar(codePage, 0, bytes.c_str(), -1, back.data(), wideSize) != wideSize)
    return std::nullopt;
  back.resize(static_cast<size_t>(wideSize) - 1);
  bytes.resize(static_cast<size_t>(size) - 1);
  if (back != text)
    return std::nullopt;
  return bytes;
}

std::optional<std::string> AnsiFileName(const std::wstring& fileName, UINT codePage) {
  if (auto name = SpellInCodePage(fileName, codePage))
    return name;
  wchar_t shortName[MAX_PATH];
  const DWORD length = GetShortPathNameW(fileName.c_str(), shortName, MAX_PATH);
  if (length == 0 || length >= MAX_PATH)
    return std::nullopt;
  return SpellInCodePage(std::wstring(shortName, length), codePage);
}

}  // namespace ulverane
