#ifndef ULVERANE_SETUP_WORKING_FOLDER_H_
#define ULVERANE_SETUP_WORKING_FOLDER_H_

#include <string>

namespace ulverane {

// Makes a new folder <temp>\UlveraneSetup\<uuid>\ and returns its path, which
// ends in a backslash. The shared parent may exist already. Raises
// "CreateDirectory failed" when the folder cannot be made, or when the
// temporary folder or the UUID cannot be had; nothing is created then.
std::wstring CreateWorkingFolder();

}  // namespace ulverane

#endif  // ULVERANE_SETUP_WORKING_FOLDER_H_
