#ifndef ULVERANE_BASE_KERNEL32_EXPORT_H_
#define ULVERANE_BASE_KERNEL32_EXPORT_H_

#include <windows.h>

namespace ulverane {

// A kernel32 function that some supported Windows versions lack, looked up at
// run time: a static import of it would make the loader refuse to start the
// program there, before it could say why. Null where the function is missing.
template <typename Function>
Function Kernel32Export(const char* name) {
  // kernel32 is in every process and always comes from the system folder.
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr)
    return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(kernel, name)));
}

}  // namespace ulverane

#endif  // ULVERANE_BASE_KERNEL32_EXPORT_H_
