#ifndef ULVERANE_TESTS_SUPPORT_ENVIRONMENT_H_
#define ULVERANE_TESTS_SUPPORT_ENVIRONMENT_H_

#include <windows.h>

#include <optional>
#include <string>

namespace ulverane::testing {

// Sets an environment variable of this process (and so of the programs it
// starts) for the life of the object, then puts the old value back.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const wchar_t* name, const std::wstring& value) : name_(name) {
    wchar_t buffer[32768];
    const DWORD length = GetEnvironmentVariableW(name, buffer, 32768);
    if (length != 0 && length < 32768)
      saved_ = std::wstring(buffer, length);
    SetEnvironmentVariableW(name, value.c_str());
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
  ~ScopedEnvironment() {
    SetEnvironmentVariableW(name_.c_str(), saved_ ? saved_->c_str() : nullptr);
  }

 private:
  std::wstring name_;
  std::optional<std::wstring> saved_;
};

}  // namespace ulverane::testing

#endif  // ULVERANE_TESTS_SUPPORT_ENVIRONMENT_H_
