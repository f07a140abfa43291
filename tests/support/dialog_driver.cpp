#include "tests/support/dialog_driver.h"

#include <fstream>
#include <iterator>

#include "tests/support/scripted_user.h"
#include "tests/support/wait.h"
#include "tests/test_paths.h"

namespace ulverane::testing {
namespace {

BOOL CALLBACK Collect(HWND child, LPARAM parameter) {
  reinterpret_cast<std::vector<HWND>*>(parameter)->push_back(child);
  return TRUE;
}

bool IsCheckBox(HWND control) {
  if (ClassName(control) != L"Button")
    return false;
  const LONG kind = GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK;
  return kind == BS_CHECKBOX || kind == BS_AUTOCHECKBOX || kind == BS_3STATE ||
         kind == BS_AUTO3STATE || kind == BS_RADIOBUTTON || kind == BS_AUTORADIOBUTTON;
}

ControlInfo Read(HWND control) {
  ControlInfo info;
  info.id = GetDlgCtrlID(control);
  info.className = ClassName(control);
  info.visible = IsWindowVisible(control) != FALSE;
  if (IsCheckBox(control))
    info.check = static_cast<int>(SendMessageW(control, BM_GETCHECK, 0, 0));
  GetWindowRect(control, &info.rect);
  info.text = WindowText(control);
  return info;
}

// `area` of the screen as 0x00RRGGBB pixels, top row first.
std::vector<DWORD> Grab(const RECT& area) {
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  std::vector<DWORD> pixels(static_cast<size_t>(width > 0 && height > 0 ? width * height : 0));
  if (pixels.empty())
    return pixels;
  const HDC screen = GetDC(nullptr);
  const HDC memory = CreateCompatibleDC(screen);
  const HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  const HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFO format = {};
  format.bmiHeader.biSize = sizeof(format.bmiHeader);
  format.bmiHeader.biWidth = width;
  format.bmiHeader.biHeight = -height;
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 32;
  format.bmiHeader.biCompression = BI_RGB;
  GetDIBits(memory, bitmap, 0, height, pixels.data(), &format, DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  for (DWORD& pixel : pixels)
    pixel &= 0x00FFFFFF;
  return pixels;
}

}  // namespace

HWND DialogDriver::WaitFor(DWORD processId, const wchar_t* caption, DWORD timeoutMs) {
  return ScriptedUser(processId).WaitFor(caption, 0, timeoutMs);
}

bool DialogDriver::WaitGone(HWND window, DWORD timeoutMs) {
  return ScriptedUser::WaitGone(window, timeoutMs);
}

bool DialogDriver::SaveAs(DWORD processId, const std::wstring& path) {
  const bool exists = GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  const HWND save = WaitFor(processId, L"Save As");
  if (save == nullptr)
    return false;
  ScriptedUser::Type(save, ScriptedUser::kSaveAsFileName, path);
  DialogDriver(save).Command(IDOK);
  if (exists) {
    const HWND question = WaitForOwned(save);
    if (question == nullptr)
      return false;
    PostCommand(question, IDYES);
  }
  return WaitGone(save);
}

HWND DialogDriver::WaitForOwned(HWND owner, DWORD timeoutMs) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        for (HWND w = GetWindow(GetDesktopWindow(), GW_CHILD); w != nullptr;
             w = GetWindow(w, GW_HWNDNEXT))
          if (IsWindowVisible(w) && GetWindow(w, GW_OWNER) == owner)
            found = w;
        return found != nullptr;
      },
      timeoutMs);
  return found;
}

HWND DialogDriver::WaitForWindow(const wchar_t* className,
                                 const std::wstring& caption,
                                 DWORD timeoutMs) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        for (HWND w = FindWindowExW(nullptr, nullptr, className, nullptr); w != nullptr;
             w = FindWindowExW(nullptr, w, className, nullptr))
          if (IsWindowVisible(w) && WindowText(w) == caption)
            found = w;
        return found != nullptr;
      },
      timeoutMs);
  return found;
}

bool DialogDriver::WaitForCheck(int id, int state, DWORD timeoutMs) const {
  return WaitUntil([&] { return Control(id).check == state; }, timeoutMs);
}

std::wstring DialogDriver::Caption() const {
  return WindowText(dialog_);
}

RECT DialogDriver::Rect() const {
  RECT area = {};
  GetWindowRect(dialog_, &area);
  return area;
}

std::vector<ControlInfo> DialogDriver::Controls() const {
  std::vector<HWND> children;
  EnumChildWindows(dialog_, Collect, reinterpret_cast<LPARAM>(&children));
  std::vector<ControlInfo> controls;
  for (const HWND child : children)
    if (GetParent(child) == dialog_)
      controls.push_back(Read(child));
  return controls;
}

ControlInfo DialogDriver::Control(int id) const {
  const HWND control = GetDlgItem(dialog_, id);
  return control != nullptr ? Read(control) : ControlInfo{};
}

std::optional<WPARAM> DialogDriver::Ask(LPARAM question) const {
  static const HMODULE probe = LoadLibraryW(ULVERANE_TEST_BINARY_DIR L"\\window_probe.dll");
  FARPROC address = GetProcAddress(probe, "ProbeHook");
  if (address == nullptr)
    address = GetProcAddress(probe, "ProbeHook@12");  // the 32-bit decorated name
  const auto hook = reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(address));
  if (hook == nullptr)
    return std::nullopt;
  const HHOOK installed =
      SetWindowsHookExW(WH_GETMESSAGE, hook, probe, GetWindowThreadProcessId(dialog_, nullptr));
  if (installed == nullptr)
    return std::nullopt;
  MSG message;
  PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // this thread's queue
  PostMessageW(dialog_, RegisterWindowMessageW(L"UlveraneWindowProbe"), GetCurrentThreadId(),
               question);
  const bool answered = WaitUntil(
      [&] { return PeekMessageW(&message, nullptr, WM_APP, WM_APP, PM_REMOVE) != FALSE; }, 5000);
  UnhookWindowsHookEx(installed);
  if (!answered)
    return std::nullopt;
  return message.wParam;
}

std::string DialogDriver::Probe(const std::wstring& report) const {
  DeleteFileW(report.c_str());
  if (!Ask(0))
    return "";
  std::ifstream in(report.c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::wstring DialogDriver::StandardIcon() const {
  const wchar_t* names[] = {L"", L"error", L"information", L"warning", L"question"};
  const std::optional<WPARAM> answer = Ask(1);
  if (!answer)
    return L"(no answer)";
  return *answer < 5 ? names[*answer] : L"other";
}

std::vector<DWORD> DialogDriver::ClientPixels(int id) const {
  const HWND control = GetDlgItem(dialog_, id);
  RECT area = {};
  GetClientRect(control, &area);
  MapWindowPoints(control, nullptr, reinterpret_cast<POINT*>(&area), 2);
  return Grab(area);
}

void DialogDriver::Click(int id) const {
  ScriptedUser::Click(dialog_, id);
}

void DialogDriver::Type(int id, const std::wstring& text) const {
  ScriptedUser::Type(dialog_, id, text);
}

void DialogDriver::Command(int id) const {
  ScriptedUser::Press(dialog_, id);
}

void DialogDriver::Close() const {
  PostMessageW(dialog_, WM_SYSCOMMAND, SC_CLOSE, 0);
}

bool SaveScreenshot(HWND window, const std::wstring& path) {
  RECT area = {};
  GetWindowRect(window, &area);
  const std::vector<DWORD> pixels = Grab(area);
  const LONG width = area.right - area.left;
  const LONG height = area.bottom - area.top;
  if (pixels.empty())
    return false;
  BITMAPINFOHEADER header = {};
  header.biSize = sizeof(header);
  header.biWidth = width;
  header.biHeight = -height;
  header.biPlanes = 1;
  header.biBitCount = 32;
  header.biCompression = BI_RGB;
  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(file) + sizeof(header);
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size() * 4);
  std::ofstream out(path.c_str(), std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof(file));
  out.write(reinterpret_cast<const char*>(&header), sizeof(header));
  out.write(reinterpret_cast<const char*>(pixels.data()),
            static_cast<std::streamsize>(pixels.size() * 4));
  return static_cast<bool>(out);
}

}  // namespace ulverane::testing
