#include "tests/support/box_reader.h"

#include <algorithm>

#include "log/utf8.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/scripted_user.h"

namespace ulverane::testing {
namespace {

BOOL CALLBACK CollectButton(HWND child, LPARAM parameter) {
  auto* ids = reinterpret_cast<std::vector<int>*>(parameter);
  const LONG style = GetWindowLongW(child, GWL_STYLE);
  const LONG kind = style & BS_TYPEMASK;
  if (ClassName(child) == L"Button" && IsWindowVisible(child) &&
      (kind == BS_PUSHBUTTON || kind == BS_DEFPUSHBUTTON))
    ids->push_back(GetDlgCtrlID(child));
  return TRUE;
}

BOOL CALLBACK FindIconStatic(HWND child, LPARAM parameter) {
  if (ClassName(child) == L"Static" &&
      (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
    *reinterpret_cast<HWND*>(parameter) = child;
    return FALSE;
  }
  return TRUE;
}

std::wstring IconName(HWND box) {
  DWORD owner = 0;
  GetWindowThreadProcessId(box, &owner);
  // Another process's icon handle means nothing here: its own process
  // compares it with the standard icons.
  if (owner != GetCurrentProcessId())
    return DialogDriver(box).StandardIcon();
  HWND control = nullptr;  // its id differs between systems
  EnumChildWindows(box, FindIconStatic, reinterpret_cast<LPARAM>(&control));
  const auto icon = control != nullptr
                        ? reinterpret_cast<HICON>(SendMessageW(control, STM_GETICON, 0, 0))
                        : nullptr;
  if (icon == nullptr)
    return L"";
  const struct {
    LPCWSTR id;
    const wchar_t* name;
  } known[] = {{IDI_ERROR, L"error"},
               {IDI_INFORMATION, L"information"},
               {IDI_WARNING, L"warning"},
               {IDI_QUESTION, L"question"}};
  for (const auto& k : known)
    if (LoadIconW(nullptr, k.id) == icon)
      return k.name;
  return L"other";
}

}  // namespace

HWND FindBox(DWORD processId, const wchar_t* caption, DWORD timeoutMs) {
  return DialogDriver::WaitFor(processId, caption, timeoutMs);
}

BoxInfo ReadBox(HWND box) {
  BoxInfo info;
  info.caption = WindowText(box);
  info.text = ScriptedUser::BoxText(box);
  info.icon = IconName(box);
  EnumChildWindows(box, CollectButton, reinterpret_cast<LPARAM>(&info.buttons));
  std::sort(info.buttons.begin(), info.buttons.end());
  GetWindowThreadProcessId(box, &info.processId);
  return info;
}

void PressButton(HWND box, int id) {
  ScriptedUser::Press(box, id);
}

std::string FormatBox(const BoxInfo& box) {
  std::wstring text;
  for (const wchar_t c : box.text) {
    if (c == L'\n')
      text += L"\\n";
    else if (c == L'\t')
      text += L"\\t";
    else if (c == L'\r')
      text += L"\\r";
    else
      text += c;
  }
  std::string buttons;
  for (const int id : box.buttons)
    buttons += (buttons.empty() ? "" : ",") + std::to_string(id);
  return "caption=" + ToUtf8(box.caption) + "\ntext=" + ToUtf8(text) +
         "\nicon=" + ToUtf8(box.icon) + "\nbuttons=" + buttons + "\n";
}

}  // namespace ulverane::testing
