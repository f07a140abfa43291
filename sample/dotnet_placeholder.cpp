// Stands in for the runtime installer of a real payload.
#include <cstdio>

int main() {
  std::puts("DotNet.exe: placeholder for the .NET Framework 3.5 installer; it installs nothing.");
  return 0;
}
