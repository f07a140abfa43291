#include "tests/support/box_reader.h"

#include <algorithm>
#include <cstdlib>

#include "log/utf8.h"
#include "tests/support/dialog_driver.h"

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

// 32x32 pixels of whatever `draw` paints into a bitmap like the screen's.
template <typename Draw>
std::vector<DWORD> Capture(Draw draw) {
  const HDC screen = GetDC(nullptr);
  const HDC memory = CreateCompatibleDC(screen);
  const HBITMAP bitmap = CreateCompatibleBitmap(screen, 32, 32);
  const HGDIOBJ old = SelectObject(memory, bitmap);
  draw(memory, screen);
  SelectObject(memory, old);
  std::vector<DWORD> pixels(32 * 32);
  BITMAPINFO format = {};
  format.bmiHeader.biSize = sizeof(format.bmiHeader);
  format.bmiHeader.biWidth = 32;
  format.bmiHeader.biHeight = 32;
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 32;
  format.bmiHeader.biCompression = BI_RGB;
  GetDIBits(memory, bitmap, 0, 32, pixels.data(), &format, DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

// The top left of `control` as it is shown on the screen.
std::vector<DWORD> ScreenPixels(HWND control) {
  RECT area;
  GetWindowRect(control, &area);
  return Capture([&](HDC memory, HDC screen) {
    BitBlt(memory, 0, 0, 32, 32, screen, area.left, area.top, SRCCOPY);
  });
}

// `icon` drawn on the dialog background colour.
std::vector<DWORD> DrawnPixels(HICON icon) {
  return Capture([&](HDC memory, HDC) {
    RECT all = {0, 0, 32, 32};
    FillRect(memory, &all, GetSysColorBrush(COLOR_3DFACE));
    DrawIconEx(memory, 0, 0, icon, 32, 32, 0, nullptr, DI_NORMAL);
  });
}

long Distance(const std::vector<DWORD>& a, const std::vector<DWORD>& b) {
  long sum = 0;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i)
    for (int shift = 0; shift < 24; shift += 8)
      sum += std::labs(static_cast<long>((a[i] >> shift) & 0xFF) -
                       static_cast<long>((b[i] >> shift) & 0xFF));
  return sum;
}

std::wstring IconName(HWND box) {
  HWND control = nullptr;  // its id differs between systems
  EnumChildWindows(box, FindIconStatic, reinterpret_cast<LPARAM>(&control));
  if (control == nullptr)
    return L"";
  const auto icon = reinterpret_cast<HICON>(SendMessageW(control, STM_GETICON, 0, 0));
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
  // Another process's icon handle means nothing here: compare what is on
  // the screen with each standard icon, and take a close match. A box that
  // has just appeared may not be painted yet: look again for a while.
  for (int attempt = 0; attempt < 20; ++attempt) {
    const std::vector<DWORD> shown = ScreenPixels(control);
    long bestDistance = 32 * 32 * 3 * 8;  // a few levels per channel at most
    const wchar_t* best = nullptr;
    for (const auto& k : known) {
      const long d = Distance(shown, DrawnPixels(LoadIconW(nullptr, k.id)));
      if (d < bestDistance) {
        bestDistance = d;
        best = k.name;
      }
    }
    if (best != nullptr)
      return best;
    Sleep(50);
  }
  return L"other";
}

}  // namespace

HWND FindBox(DWORD processId, const wchar_t* caption, DWORD timeoutMs) {
  return DialogDriver::WaitFor(processId, caption, timeoutMs);
}

BoxInfo ReadBox(HWND box) {
  BoxInfo info;
  info.caption = WindowText(box);
  if (const HWND text = GetDlgItem(box, 0xFFFF))
    info.text = WindowText(text);
  info.icon = IconName(box);
  EnumChildWindows(box, CollectButton, reinterpret_cast<LPARAM>(&info.buttons));
  std::sort(info.buttons.begin(), info.buttons.end());
  GetWindowThreadProcessId(box, &info.processId);
  return info;
}

void PressButton(HWND box, int id) {
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
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
