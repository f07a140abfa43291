#include "log/utf8.h"

#include <windows.h>

#include <memory>

namespace ulverane {

std::string ToUtf8(const std::wstring& text) {
  // The size includes the terminating zero, so anything below 2 holds no text.
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (size < 2)
    return std::string();
  auto bytes = std::make_unique<char[]>(size);
  if (WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes.get(), size, nullptr, nullptr) == 0)
    return std::string();
  return std::string(bytes.get());
}

}  // namespace ulverane
