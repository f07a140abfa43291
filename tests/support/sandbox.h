#ifndef ULVERANE_TESTS_SUPPORT_SANDBOX_H_
#define ULVERANE_TESTS_SUPPORT_SANDBOX_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/environment.h"
#include "tests/support/setup_process.h"
#include "tests/support/temp_folder.h"
#include "tests/test_paths.h"

namespace ulverane::testing {

// Where the test programs and the setup images built with test payloads lie.
inline const std::wstring kBinaries = ULVERANE_TEST_BINARY_DIR;
// The product, built with its own payload.
inline const std::wstring kProduct = ULVERANE_SETUP_DIR L"\\Setup.exe";
// The test-only DLL that counts, traces and fails the product's system calls
// (tests/fault/injector.h), for Start's `dll`.
inline const std::wstring kFaultDll = kBinaries + L"\\fault\\fault_injection.dll";
// The caption of the product's boxes and dialogs.
inline const std::wstring kTitle = L"Ulverane Photo Setup";

// The fixture of the suites that run a real setup image the way a user
// would, each test on a machine of its own: a fresh folder with temp\ (TMP
// and TEMP point there), app\ (the image under test, named name_) and
// downloads\ (its current directory). The stand-ins report to report_, the
// window probe to probe_. Everything goes when the test ends.
class SandboxTest : public ::testing::Test {
 protected:
  SandboxTest();

  // Copies `image` into app\ as name_ and starts it with `arguments` in
  // downloads\, with `dll` loaded before its entry point if given.
  std::unique_ptr<SetupProcess> Start(const std::wstring& image,
                                      const std::wstring& arguments,
                                      const std::wstring& dll = L"");

  // The working folders of setup runs under `temp` (default temp_), each
  // ending in a backslash.
  std::vector<std::wstring> WorkingFolders(const std::wstring& temp = L"") const;
  // The one working folder under `temp`, which must hold nothing but its
  // log; "" when there is not exactly one.
  std::wstring TheRunsFolder(const std::wstring& temp = L"") const;
  // The log in TheRunsFolder(); "" when there is none.
  std::string LogOfTheRun(const std::wstring& temp = L"") const;
  // What the stand-ins recorded; "" when none ran.
  std::string Report() const;

  TempFolder folder_;
  const std::wstring temp_ = folder_ / L"temp";
  const std::wstring app_ = folder_ / L"app";
  const std::wstring downloads_ = folder_ / L"downloads";
  const std::wstring report_ = folder_ / L"report.txt";
  const std::wstring probe_ = folder_ / L"probe.txt";
  std::wstring name_ = L"Setup.exe";

 private:
  ScopedEnvironment tmp_{L"TMP", temp_ + L"\\"};
  ScopedEnvironment temp2_{L"TEMP", temp_ + L"\\"};
  ScopedEnvironment standInReport_{L"ULVERANE_STANDIN_REPORT", report_};
  ScopedEnvironment probeReport_{L"ULVERANE_PROBE_REPORT", probe_};
};

}  // namespace ulverane::testing

#endif  // ULVERANE_TESTS_SUPPORT_SANDBOX_H_
