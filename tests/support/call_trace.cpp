#include "tests/support/call_trace.h"

#include <sstream>

#include "tests/support/temp_folder.h"

namespace ulverane::testing {

std::vector<TracedCall> ReadTrace(const std::wstring& path) {
  std::vector<TracedCall> calls;
  std::istringstream lines(Exists(path) ? ReadBytes(path) : "");
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line[0] == '#')
      continue;
    std::vector<std::string> fields;
    std::istringstream split(line);
    for (std::string field; std::getline(split, field, '\t');)
      fields.push_back(field);
    if (fields.size() >= 3)
      calls.push_back({fields[1], fields[2], {fields.begin() + 3, fields.end()}});
  }
  return calls;
}

std::vector<std::string> CallsOf(const std::vector<TracedCall>& calls,
                                 const std::string& function) {
  std::vector<std::string> found;
  for (const TracedCall& call : calls) {
    if (call.function != function)
      continue;
    std::string joined;
    for (const std::string& detail : call.details)
      joined += (joined.empty() ? "" : "\t") + detail;
    found.push_back(joined);
  }
  return found;
}

}  // namespace ulverane::testing
