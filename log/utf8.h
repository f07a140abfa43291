#ifndef ULVERANE_LOG_UTF8_H_
#define ULVERANE_LOG_UTF8_H_

#include <string>

namespace ulverane {

// Converts UTF-16 text to UTF-8. Stops at an embedded U+0000. Never fails:
// text that cannot be converted yields an empty string.
std::string ToUtf8(const std::wstring& text);

}  // namespace ulverane

#endif  // ULVERANE_LOG_UTF8_H_
