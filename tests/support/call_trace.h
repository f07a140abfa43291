#ifndef ULVERANE_TESTS_SUPPORT_CALL_TRACE_H_
#define ULVERANE_TESTS_SUPPORT_CALL_TRACE_H_

#include <string>
#include <vector>

namespace ulverane::testing {

// One system call of a program run with fault_injection.dll tracing
// (ULVERANE_FAULT_TRACE): the function, its calling place and what the DLL
// wrote of its arguments (paths, descriptors, ...), in the order made.
struct TracedCall {
  std::string function;
  std::string place;
  std::vector<std::string> details;
};

// The calls in the trace file `path`; none when there is no such file.
std::vector<TracedCall> ReadTrace(const std::wstring& path);

// The details of each call of `function`, joined by tabs.
std::vector<std::string> CallsOf(const std::vector<TracedCall>& calls, const std::string& function);

}  // namespace ulverane::testing

#endif  // ULVERANE_TESTS_SUPPORT_CALL_TRACE_H_
