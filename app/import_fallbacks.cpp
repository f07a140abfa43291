// Import slots of the runtime's own kernel32 imports that Windows XP lacks.
//
// The threads runtime linked into the program imports GetTickCount64
// (Windows Vista). A static import of it makes the loader of Windows XP refuse
// the program before it can say which Windows it needs. Defining the import
// slot here keeps the function out of the import table; the slot points at a
// stand-in that uses the real function wherever there is one. Linked into the
// executable itself, so that the slot is defined before the import libraries
// are searched.
#include <windows.h>

#include "base/kernel32_export.h"

namespace {

using TickCount64Function = ULONGLONG(WINAPI*)();

ULONGLONG WINAPI TickCount64() {
  static const auto real = ulverane::Kernel32Export<TickCount64Function>("GetTickCount64");
  return real != nullptr ? real() : GetTickCount();
}

}  // namespace

#if defined(_WIN64)
#define ULVERANE_IMPORT_SLOT(name) "__imp_" #name
#else
#define ULVERANE_IMPORT_SLOT(name) "__imp__" #name "@0"
#endif

extern "C" {
extern const TickCount64Function importGetTickCount64 __asm__(ULVERANE_IMPORT_SLOT(GetTickCount64));
const TickCount64Function importGetTickCount64 = &TickCount64;
}
