#ifndef ULVERANE_TESTS_SUPPORT_SCRIPTED_USER_H_
#define ULVERANE_TESTS_SUPPORT_SCRIPTED_USER_H_

#include <windows.h>

#include <string>
#include <vector>

namespace ulverane::testing {

// The windows a setup shows, told apart by their controls.
enum class WindowKind {
  kOther,
  kProgress,    // the progress window of a long copy
  kOptions,     // the options dialog (its Save button)
  kCompletion,  // the completion dialog (its Explorer box)
  kAgreement,   // the licence agreement
  kSaveAs,      // the system's Save As dialog
  kReplace,     // a box owned by Save As: whether to replace the file
  kBox,         // any other message box
};

// The user of one program under test, working its windows from another
// process (or thread) as a person would: finding them, reading them and
// answering them. Shared by the tests' drivers and the benchmarks, which
// keep only their own scripts. Needs nothing but user32, so the benchmarks
// link it without the rest of the test support.
class ScriptedUser {
 public:
  // How closely the user watches: every `pollMs` for a window, and
  // `settleMs` before acting on one it found, to let it initialise.
  struct Pace {
    DWORD pollMs;
    DWORD settleMs;
  };
  // A tester: unhurried, lets each window settle.
  static constexpr Pace kTester = {20, 100};
  // A stopwatch: sees a window within about a millisecond, acts at once.
  static constexpr Pace kStopwatch = {1, 0};

  static constexpr int kBoxText = 0xFFFF;        // a message box's text
  static constexpr int kSaveAsFileName = 0x47C;  // Save As's file name field

  // The user of `processId` (0: of any process). With `process`, waits end
  // as soon as that process has ended.
  explicit ScriptedUser(DWORD processId, HANDLE process = nullptr, Pace pace = kTester);

  // True once the process given has ended.
  bool Ended() const;

  // Every visible top-level window of the process, in Z order.
  std::vector<HWND> Windows() const;
  // A visible dialog of the process, as testing::FindDialog finds it; null
  // when there is none now.
  HWND Find(const wchar_t* caption = nullptr, int controlId = 0) const;
  // Waits up to `timeoutMs` for Find() to find one, then lets it settle;
  // null on time-out or when the process ended first.
  HWND WaitFor(const wchar_t* caption, int controlId = 0, DWORD timeoutMs = 20000) const;
  // Waits until `window` is gone or hidden; false on time-out.
  static bool WaitGone(HWND window, DWORD timeoutMs = 20000);
  // The only visible window of the process, enabled and answering: neither
  // waiting on another window nor busy with the last command.
  bool Idle(HWND window) const;

  static WindowKind Kind(HWND window);
  // The kind's name in the drivers' reports: "options", "save-as"...
  static const char* KindName(WindowKind kind);
  // The text of a message box, "" when it has none.
  static std::wstring BoxText(HWND box);

  // The command of button `id`, as a click sends it.
  static void Press(HWND window, int id);
  // A click on button `id`; returns at once, also when it opens a window.
  static void Click(HWND window, int id);
  static void Type(HWND window, int id, const std::wstring& text);
  // Presses `button`, or closes the window when it is 0.
  static void Answer(HWND window, int button);
  // Types `path` into Save As's file name field; with `checkMs`, again until
  // the field shows it (it takes text only once set up), for up to that
  // long. False when it did not take it.
  static bool NameFile(HWND saveAs, const std::wstring& path, DWORD checkMs = 0);
  // NameFile(), then OK.
  static void AnswerSaveAs(HWND saveAs, const std::wstring& path);

 private:
  DWORD processId_;
  HANDLE process_;
  Pace pace_;
};

}  // namespace ulverane::testing

#endif  // ULVERANE_TESTS_SUPPORT_SCRIPTED_USER_H_
