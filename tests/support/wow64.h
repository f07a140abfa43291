#ifndef ULVERANE_TESTS_SUPPORT_WOW64_H_
#define ULVERANE_TESTS_SUPPORT_WOW64_H_

#include <string>

namespace ulverane::testing {

// True for a 32-bit program on 64-bit Windows.
bool IsWow64();

// The system folder as this process names it (C:\windows\system32; for a
// 32-bit process on 64-bit Windows that name is redirected to syswow64).
std::wstring SystemFolder();

// Copies `source` into, or deletes `name` from, the native (64-bit) system
// folder, with this thread's file-system redirection off for just that call.
bool CopyToNativeSystemFolder(const std::wstring& source, const std::wstring& name);
void DeleteFromNativeSystemFolder(const std::wstring& name);

// Creates or deletes the .NET 3.5 key in one registry view (KEY_WOW64_32KEY
// or KEY_WOW64_64KEY).
void SetDotNet35Key(bool present, unsigned long view);

}  // namespace ulverane::testing

#endif  // ULVERANE_TESTS_SUPPORT_WOW64_H_
