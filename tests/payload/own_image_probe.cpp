// Opens its own image the way Setup.exe does and extracts its resource
// BIN 200, wherever it was copied to.
//
//   own_image_probe <log folder> <target>
//
// Exits with 0 on success and 1 on a runtime error.
#include <stdexcept>
#include <string>

#include "log/logger.h"
#include "payload/executable_image.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 3)
    return 2;
  ulverane::OpenSetupLog(std::wstring(argv[1]) + L"\\");
  try {
    ulverane::ExecutableImage image;
    image.ExtractResource(200, argv[2]);
    return 0;
  } catch (const std::runtime_error&) {
    return 1;
  }
}
