#ifndef ULVERANE_TESTS_PACKAGE_PACKAGE_RESULTS_H_
#define ULVERANE_TESTS_PACKAGE_PACKAGE_RESULTS_H_

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "log/utf8.h"
#include "tests/support/temp_folder.h"
#include "tests/test_paths.h"

namespace ulverane::testing {

// Packages that the tests write are read back on the host by
// check_packages.py with msiinfo, a reader independent of the platform's.
// Each package lies somewhere below this folder with <package>.expect beside
// it:
//   set<TAB><property><TAB><value>   the row exists with this value
//   absent<TAB><property>            no such row
// Every other row, and every other table, must equal the sample package's.
// packages.txt lists every package announced, relative to the folder, so
// that the check can tell a package it did not find from one never written.
inline const std::wstring kResults = ULVERANE_TEST_BINARY_DIR L"\\package\\results";

// Empties the folder; package_tests does so once as it starts.
inline void ResetResults() {
  RemoveTree(kResults);
  CreateDirectoryW(kResults.c_str(), nullptr);
}

// Announces `package` (below kResults) with the rows it must hold. Call it
// before the package is written, so that a package that never comes is
// missed.
inline void ExpectRows(const std::wstring& package,
                       const std::vector<std::pair<std::wstring, std::wstring>>& set,
                       const std::vector<std::wstring>& absent = {}) {
  ASSERT_EQ(package.rfind(kResults + L"\\", 0), 0u) << "not below the results folder";
  std::wstring lines;
  for (const auto& [name, value] : set)
    lines += L"set\t" + name + L"\t" + value + L"\n";
  for (const std::wstring& name : absent)
    lines += L"absent\t" + name + L"\n";
  WriteBytes(package + L".expect", ToUtf8(lines));
  std::ofstream manifest((kResults + L"\\packages.txt").c_str(), std::ios::binary | std::ios::app);
  manifest << ToUtf8(package.substr(kResults.size() + 1)) << "\n";
}

}  // namespace ulverane::testing

#endif  // ULVERANE_TESTS_PACKAGE_PACKAGE_RESULTS_H_
