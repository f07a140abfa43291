#ifndef ULVERANE_PAYLOAD_ANSI_FILE_NAME_H_
#define ULVERANE_PAYLOAD_ANSI_FILE_NAME_H_

#include <windows.h>

#include <optional>
#include <string>

namespace ulverane {

// `text` spelled exactly in `codePage`, or nothing when that code page cannot
// spell it (a character it lacks, or one it would only approximate). Works
// for every code page, UTF-8 (65001) included.
std::optional<std::string> SpellInCodePage(const std::wstring& text, UINT codePage);

// The name of the file `fileName` in the current directory as an ANSI
// function such as ImageLoad takes it: spelled in `codePage` (the system's
// ANSI code page in the product), or else by its short 8.3 name, which is
// plain ASCII. Nothing when neither works.
std::optional<std::string> AnsiFileName(const std::wstring& fileName, UINT codePage);

}  // namespace ulverane

#endif  // ULVERANE_PAYLOAD_ANSI_FILE_NAME_H_
