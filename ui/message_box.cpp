#include "ui/message_box.h"

namespace ulverane {

std::wstring SetupTitle() {
  return std::wstring(L"Ulverane Photo") + L" Setup";
}

int ShowMessageBox(const std::wstring& text, unsigned int flags, HWND owner) {
  const std::wstring caption = SetupTitle();
  return MessageBoxW(owner, text.c_str(), caption.c_str(), flags);
}

}  // namespace ulverane
