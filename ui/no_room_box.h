#ifndef ULVERANE_UI_NO_ROOM_BOX_H_
#define ULVERANE_UI_NO_ROOM_BOX_H_

#include <windows.h>

#include <cstdint>
#include <string>

#include "base/free_space.h"

namespace ulverane {

// Tells the user, in an error box owned by `owner` (none when null), that
// `needed` bytes do not fit in what is left on `space`'s volume:
//   "There is not enough space on <volume> <task>.\n\nIt needs <n> MB there,
//   and <m> MB are free. <advice>"
// in whole MB of 1,048,576 bytes, the need rounded up and the room down.
void ShowNoRoomBox(const FreeSpace& space,
                   std::uint64_t needed,
                   const std::wstring& task,
                   const std::wstring& advice,
                   HWND owner = nullptr);

}  // namespace ulverane

#endif  // ULVERANE_UI_NO_ROOM_BOX_H_
