#ifndef ULVERANE_UI_EULA_DIALOG_H_
#define ULVERANE_UI_EULA_DIALOG_H_

#include <windows.h>

#include <string>

#include "ui/dialog.h"

namespace ulverane {

// The end-user agreement (template 156): `text` in the rich-edit control
// 1015, as plain text or Rich Text Format, which the control tells apart.
// Accept ends it with 1, Decline with 2. Keeps the template's caption and
// sets no icon. The rich-edit library must be loaded before RunModal.
class EulaDialog : public Dialog<EulaDialog> {
 public:
  EulaDialog(HINSTANCE instance, HWND parent, std::string text);

 protected:
  INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  std::string text_;
};

}  // namespace ulverane

#endif  // ULVERANE_UI_EULA_DIALOG_H_
