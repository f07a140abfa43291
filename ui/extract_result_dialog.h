#ifndef ULVERANE_UI_EXTRACT_RESULT_DIALOG_H_
#define ULVERANE_UI_EXTRACT_RESULT_DIALOG_H_

#include <windows.h>

#include <string>

#include "ui/dialog.h"

namespace ulverane {

// The completion dialog (template 155): says that the package was written
// and offers to show it in Explorer (check box 1014, checked at the start).
// OK stores the check box in openExplorer() and ends with 1; Cancel ends
// with 2 and leaves it false.
class ExtractResultDialog : public Dialog<ExtractResultDialog> {
 public:
  ExtractResultDialog(HINSTANCE instance, std::wstring packagePath);

  const std::wstring& packagePath() const { return packagePath_; }
  bool openExplorer() const { return openExplorer_; }

 protected:
  INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  std::wstring packagePath_;
  bool openExplorer_ = false;
};

}  // namespace ulverane

#endif  // ULVERANE_UI_EXTRACT_RESULT_DIALOG_H_
