#include <windows.h>

#include "app/entry_point.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLineTail, int) {
  ulverane::RestrictDllSearchPath();
  return ulverane::RunEntryPoint(instance, commandLineTail);
}
