#ifndef ULVERANE_TESTS_PACKAGE_PACKAGE_RESULTS_H_
#define ULVERANE_TESTS_PACKAGE_PACKAGE_RESULTS_H_

#include <string>
#include <utility>
#include <vector>

#include "log/utf8.h"
#include "tests/support/temp_folder.h"
#include "tests/test_paths.h"

namespace ulverane::testing {

// Packages that the tests write are read back on the host by
// check_packages.py with msiinfo, a reader independent of the platform's.
// Each <name> in this folder comes with <name>.expect:
//   set<TAB><property><TAB><value>   the row exists with this value
//   absent<TAB><property>            no such row
// Every other row, and every other table, must equal the sample package's.
inline const std::wstring kResults = ULVERANE_TEST_BINARY_DIR L"\\package\\results";

inline void ExpectRows(const std::wstring& package,
                       const std::vector<std::pair<std::wstring, std::wstring>>& set,
                       const std::vector<std::wstring>& absent = {}) {
  std::wstring lines;
  for (const auto& [name, value] : set)
    lines += L"set\t" + name + L"\t" + value + L"\n";
  for (const std::wstring& name : absent)
    lines += L"absent\t" + name + L"\n";
  WriteBytes(package + L".expect", ToUtf8(lines));
}

}  // namespace ulverane::testing

#endif  // ULVERANE_TESTS_PACKAGE_PACKAGE_RESULTS_H_
