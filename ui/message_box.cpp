#include "ui/message_box.h"

#include <windows.h>

namespace ulverane {

std::wstring SetupTitle() {
  return std::wstring(L"Ulverane Photo") + L" Setup";
}

int ShowMessageBox(const std::wstring& text, unsigned int flags) {
  const std::wstring caption = SetupTitle();
  return MessageBoxW(nullptr, text.c_str(), caption.c_str(), flags);
}

}  // namespace ulverane
