#include "log/logger.h"

#include "log/utf8.h"

namespace ulverane {

_Logger setupLog;

void OpenSetupLog(const std::wstring& folder) {
  const std::wstring path = folder + L"Setup.log";
  // The wide open goes through _wfopen, which denies no sharing to readers
  // and writers; an open stream makes open() fail without touching the file.
  setupLog.open(path.c_str(), std::ios::out | std::ios::binary);
}

std::ostream& operator<<(std::ostream& stream, const std::wstring& text) {
  return stream << ToUtf8(text);
}

}  // namespace ulverane
