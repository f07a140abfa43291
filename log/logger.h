#ifndef ULVERANE_LOG_LOGGER_H_
#define ULVERANE_LOG_LOGGER_H_

#include <fstream>
#include <ostream>
#include <string>

namespace ulverane {

// The setup log stream. Lines are ended with std::endl, which flushes, so the
// file on disk is complete up to the last finished line at every moment.
class _Logger : public std::ofstream {};

// Exists for the whole process; unopened until OpenSetupLog. Writes to an
// unopened or failed stream are dropped silently.
extern _Logger setupLog;

// Opens "Setup.log" in `folder` (which ends in a backslash) for writing,
// truncating it, in binary mode. Other processes may read and write the file
// meanwhile. Reports nothing: on failure the stream just stays failed, and a
// second call leaves the first file open and the stream failed.
void OpenSetupLog(const std::wstring& folder);

// Inserts wide text as UTF-8.
std::ostream& operator<<(std::ostream& stream, const std::wstring& text);

}  // namespace ulverane

#endif  // ULVERANE_LOG_LOGGER_H_
