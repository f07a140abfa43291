#ifndef ULVERANE_UI_EXTRACT_DIALOG_H_
#define ULVERANE_UI_EXTRACT_DIALOG_H_

#include <windows.h>

#include <functional>
#include <string>

#include "ui/dialog.h"

namespace ulverane {

// The options dialog of the package modes (template 154). The administrator
// types the install folder and sets the check boxes, then Save asks for the
// package's file and ends the dialog with 1 once the target check takes it;
// Cancel ends it with 2. In /defaults mode the /extract-only section (1008,
// 1013, 1017 to 1020) is hidden and the dialog shrinks by its height.
//
// Checking "skip the agreement" (1013) shows the end-user agreement first,
// until it has been accepted once in this run of the dialog.
//
// Save raises "GetWindowText failed" through RunModal when the install
// folder cannot be read: a folder that was typed is never silently dropped.
class ExtractDialog : public Dialog<ExtractDialog> {
 public:
  // Asked with the dialog and the file chosen in Save As; false keeps the
  // dialog open for another choice, once it has told the user why.
  using TargetCheck = std::function<bool(HWND owner, const std::wstring& path)>;

  // Without `acceptTarget`, every file chosen is taken.
  ExtractDialog(HINSTANCE instance, bool defaultsMode, TargetCheck acceptTarget = {});

  // Valid after RunModal returned 1.
  const std::wstring& installFolder() const { return installFolder_; }
  const std::wstring& packagePath() const { return packagePath_; }
  bool desktopShortcut() const { return desktopShortcut_; }
  bool noUpdateCheck() const { return noUpdateCheck_; }
  bool noEula() const { return noEula_; }
  bool eulaAccepted() const { return eulaAccepted_; }
  bool defaultsMode() const { return defaultsMode_; }

 protected:
  INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void ReadControls();
  void SaveAs();
  void OnEulaClicked();
  void ApplyDefaultsLayout();

  std::wstring installFolder_;
  std::wstring packagePath_;
  bool desktopShortcut_ = false;
  bool noUpdateCheck_ = false;
  bool noEula_ = false;
  bool eulaAccepted_ = false;
  bool defaultsMode_;
  TargetCheck acceptTarget_;
};

}  // namespace ulverane

#endif  // ULVERANE_UI_EXTRACT_DIALOG_H_
