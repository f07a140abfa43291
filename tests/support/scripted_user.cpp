#include "tests/support/scripted_user.h"

#include "resources/resource_ids.h"
#include "tests/support/wait.h"
#include "tests/support/window_search.h"

namespace ulverane::testing {
namespace {

struct Search {
  DWORD processId;
  std::vector<HWND> found;
};

BOOL CALLBACK Collect(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<Search*>(parameter);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if ((search->processId == 0 || owner == search->processId) && IsWindowVisible(window))
    search->found.push_back(window);
  return TRUE;
}

bool Has(HWND window, int id) {
  return window != nullptr && GetDlgItem(window, id) != nullptr;
}

}  // namespace

ScriptedUser::ScriptedUser(DWORD processId, HANDLE process, Pace pace)
    : processId_(processId), process_(process), pace_(pace) {}

bool ScriptedUser::Ended() const {
  return process_ != nullptr && WaitForSingleObject(process_, 0) == WAIT_OBJECT_0;
}

std::vector<HWND> ScriptedUser::Windows() const {
  Search search{processId_, {}};
  EnumWindows(Collect, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND ScriptedUser::Find(const wchar_t* caption, int controlId) const {
  return FindDialog(processId_, caption, controlId);
}

HWND ScriptedUser::WaitFor(const wchar_t* caption, int controlId, DWORD timeoutMs) const {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        found = Find(caption, controlId);
        return found != nullptr || Ended();
      },
      timeoutMs, pace_.pollMs);
  if (found != nullptr && pace_.settleMs != 0)
    Sleep(pace_.settleMs);
  return found;
}

bool ScriptedUser::WaitGone(HWND window, DWORD timeoutMs) {
  return WaitUntil([&] { return !IsWindow(window) || !IsWindowVisible(window); }, timeoutMs);
}

bool ScriptedUser::Idle(HWND window) const {
  DWORD_PTR answer = 0;
  return IsWindowEnabled(window) && Windows().size() == 1 &&
         SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 200, &answer) != 0;
}

WindowKind ScriptedUser::Kind(HWND window) {
  if (Has(window, IDC_PROGRESS_BAR))
    return WindowKind::kProgress;
  if (Has(window, IDC_SAVE))
    return WindowKind::kOptions;
  if (Has(window, IDC_OPEN_EXPLORER))
    return WindowKind::kCompletion;
  if (Has(window, IDC_EULA_TEXT))
    return WindowKind::kAgreement;
  if (Has(window, kSaveAsFileName))
    return WindowKind::kSaveAs;
  if (Has(window, kBoxText))
    return Has(GetWindow(window, GW_OWNER), kSaveAsFileName) ? WindowKind::kReplace
                                                             : WindowKind::kBox;
  return WindowKind::kOther;
}

const char* ScriptedUser::KindName(WindowKind kind) {
  // In the order of WindowKind.
  static const char* const names[] = {"other",     "progress", "options", "completion",
                                      "agreement", "save-as",  "replace", "box"};
  return names[static_cast<int>(kind)];
}

std::wstring ScriptedUser::BoxText(HWND box) {
  const HWND text = GetDlgItem(box, kBoxText);
  return text != nullptr ? WindowText(text) : L"";
}

void ScriptedUser::Press(HWND window, int id) {
  PostCommand(window, id);
}

void ScriptedUser::Click(HWND window, int id) {
  PostMessageW(GetDlgItem(window, id), BM_CLICK, 0, 0);
}

void ScriptedUser::Type(HWND window, int id, const std::wstring& text) {
  SendMessageTimeoutW(GetDlgItem(window, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                      SMTO_ABORTIFHUNG, 5000, nullptr);
}

void ScriptedUser::Answer(HWND window, int button) {
  if (button == 0)
    PostMessageW(window, WM_CLOSE, 0, 0);
  else
    Press(window, button);
}

bool ScriptedUser::NameFile(HWND saveAs, const std::wstring& path, DWORD checkMs) {
  if (checkMs == 0) {
    Type(saveAs, kSaveAsFileName, path);
    return true;
  }
  return WaitUntil(
      [&] {
        Type(saveAs, kSaveAsFileName, path);
        return WindowText(GetDlgItem(saveAs, kSaveAsFileName)) == path;
      },
      checkMs, 10);
}

void ScriptedUser::AnswerSaveAs(HWND saveAs, const std::wstring& path) {
  NameFile(saveAs, path);
  Press(saveAs, IDOK);
}

}  // namespace ulverane::testing
