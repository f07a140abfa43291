#include "ui/no_room_box.h"

#include "ui/message_box.h"

namespace ulverane {
namespace {

constexpr std::uint64_t kMegabyte = 1024 * 1024;

// Digits are ASCII; the narrow form keeps the wide formatting code of the
// runtime, and its imports, out of the program.
std::wstring Decimal(std::uint64_t value) {
  const std::string digits = std::to_string(value);
  return std::wstring(digits.begin(), digits.end());
}

}  // namespace

void ShowNoRoomBox(const FreeSpace& space,
                   std::uint64_t needed,
                   const std::wstring& task,
                   const std::wstring& advice,
                   HWND owner) {
  // Rounded apart, so that the need never reads as less than the room.
  const std::wstring text = L"There is not enough space on " + space.volume() + L" " + task +
                            L".\n\nIt needs " + Decimal((needed + kMegabyte - 1) / kMegabyte) +
                            L" MB there, and " + Decimal(space.available() / kMegabyte) +
                            L" MB are free. " + advice;
  ShowMessageBox(text, MB_OK | MB_ICONERROR, owner);
}

}  // namespace ulverane
