// Runs setup executables with fault_injection.dll loaded and plays one
// scenario through whatever each run shows, for tests/fault/fault_sweep.py.
//
//   fault_driver <dll> <seconds> <plan>
//
// <plan> holds one run a line, UTF-8, fields separated by tabs:
//   <scenario> <image> <places> <directory> <temp> <target> <report> <trace> <fault> [<slow>]
// <scenario> is "default" (no arguments), "help", "extract" or "defaults". The runs
// go one after the other, in one process, to spare a start of this program
// each. Each starts in <directory> with TEMP and TMP set to <temp> and the
// DLL's ULVERANE_FAULT_PLACES, ULVERANE_FAULT_TRACE and ULVERANE_FAULT
// (empty: none) set from the line, and ULVERANE_FAULT_SLOW from <slow>.
// Every window the program shows is answered as the scenario says:
//   - the options dialog: "extract" types a folder and checks every box
//     (accepting the agreement), "defaults" types a folder and checks the
//     shortcut; then Save; Cancel when it stays open after Save;
//   - Save As: <target>, OK; its question whether to replace a file: Yes;
//   - the completion dialog: OK, the Explorer box left on for "extract"
//     and cleared for "defaults"; the Explorer windows of the runs are
//     closed as they come, at the latest when the plan is done;
//   - the progress window of a long copy: left to run;
//   - every message box: OK; any other window is closed.
// A run is ended by force after <seconds>. Writes UTF-8 lines to <report>,
// fields separated by tabs: "window <kind> <caption> <text>" per window
// seen, "misplaced <control id or "dialog">" for a part of the options
// dialog outside it or off the screen, "chosen <folder> <shortcut> <no update check> <no
// agreement>" as the options dialog shows them when Save is pressed (0 or 1 each), "exit <code>" or
// "timeout", and, right after the end, "deleted image 0|1" and "unlocked target 0|1" (whether the
// target could be opened with no sharing at all).
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "log/utf8.h"
#include "resources/resource_ids.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/scripted_user.h"
#include "tests/support/setup_process.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace ulverane::testing;
using ulverane::ToUtf8;

// How long a dialog may sit idle before the driver takes it as stuck: a
// failure kept the next window from coming.
constexpr ULONGLONG kStallMs = 8000;
// A window is worked only once it had time to initialise.
constexpr ULONGLONG kSettleMs = 150;

struct Scenario {
  std::wstring arguments;
  std::wstring folder;
  bool shortcut = false;
  bool noUpdateCheck = false;
  bool noEula = false;
  bool openExplorer = false;
};

struct Seen {
  ULONGLONG since = 0;  // first seen, then the last step's time
  int step = 0;
};

class Player {
 public:
  Player(DWORD processId, Scenario scenario, std::wstring target, std::ofstream& report)
      : user_(processId),
        scenario_(std::move(scenario)),
        target_(std::move(target)),
        report_(report) {}

  void Poll() {
    for (const HWND window : user_.Windows())
      Work(window);
  }

  bool explorerExpected() const { return explorerExpected_; }

 private:
  void Record(WindowKind kind, HWND window) {
    report_ << "window\t" << ScriptedUser::KindName(kind) << "\t" << Escape(WindowText(window))
            << "\t" << Escape(ScriptedUser::BoxText(window)) << "\n"
            << std::flush;
  }

  static std::string Escape(const std::wstring& text) {
    std::string out;
    for (const char c : ToUtf8(text))
      out += c == '\n' ? std::string("\\n") : c == '\t' ? std::string("\\t") : std::string(1, c);
    return out;
  }

  void Work(HWND window) {
    const ULONGLONG now = GetTickCount64();
    auto [entry, fresh] = seen_.try_emplace(window, Seen{now, 0});
    Seen& state = entry->second;
    if (fresh)
      return;
    if (state.step == 0 && now - state.since < kSettleMs)
      return;
    const DialogDriver dialog(window);
    switch (const WindowKind kind = ScriptedUser::Kind(window)) {
      case WindowKind::kProgress:
        if (state.step == 0)
          Record(kind, window);
        state.step = 1;
        return;
      case WindowKind::kOptions:
        return WorkOptions(dialog, state, now);
      case WindowKind::kCompletion:
        return WorkCompletion(dialog, state, now);
      case WindowKind::kAgreement:
        return Once(dialog, state, kind, IDOK);
      case WindowKind::kSaveAs:
        return WorkSaveAs(state, window, now);
      case WindowKind::kReplace:
      case WindowKind::kBox:
        return Once(dialog, state, kind, GetDlgItem(window, IDYES) != nullptr ? IDYES : IDOK);
      case WindowKind::kOther:
        if (state.step == 0 && now - state.since > kStallMs) {
          // Still nothing the scenario knows, long after it came.
          Record(kind, window);
          PostMessageW(window, WM_CLOSE, 0, 0);
          state.step = 1;
        }
        return;
    }
  }

  void Once(const DialogDriver& dialog, Seen& state, WindowKind kind, int button) {
    if (state.step != 0)
      return;
    Record(kind, dialog.window());
    dialog.Command(button);
    state.step = 1;
  }

  void WorkOptions(const DialogDriver& dialog, Seen& state, ULONGLONG now) {
    const std::pair<int, bool> boxes[] = {{IDC_DESKTOP_SHORTCUT, scenario_.shortcut},
                                          {IDC_NO_UPDATE_CHECK, scenario_.noUpdateCheck},
                                          {IDC_NO_EULA, scenario_.noEula}};
    switch (state.step) {
      case 0:
        Record(WindowKind::kOptions, dialog.window());
        CheckLayout(dialog);
        dialog.Type(IDC_INSTALL_FOLDER, scenario_.folder);
        // The agreement's box last: it opens the agreement first.
        for (const auto& [id, on] : boxes)
          if (on && dialog.Control(id).check != BST_CHECKED)
            dialog.Click(id);
        Next(state, now);
        return;
      case 1: {
        if (!user_.Idle(dialog.window())) {
          state.since = now;
          return;
        }
        bool ready = true;
        for (const auto& [id, on] : boxes)
          ready = ready && (!on || dialog.Control(id).check == BST_CHECKED);
        // A failure may keep a box from being checked: save what there is.
        if (ready || now - state.since > kStallMs) {
          report_ << "chosen\t" << Escape(dialog.Control(IDC_INSTALL_FOLDER).text);
          for (const auto& [id, on] : boxes)
            report_ << "\t" << (dialog.Control(id).check == BST_CHECKED ? 1 : 0);
          report_ << "\n";
          dialog.Command(IDC_SAVE);
          Next(state, now);
        }
        return;
      }
      case 2:
        // Save As did not come, or failed and left the dialog open.
        if (!user_.Idle(dialog.window()))
          state.since = now;
        else if (now - state.since > kStallMs) {
          dialog.Command(IDCANCEL);
          Next(state, now);
        }
        return;
    }
  }

  // Every control the dialog shows lies inside it, and it on the screen.
  void CheckLayout(const DialogDriver& dialog) {
    const RECT frame = dialog.Rect();
    const RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (!Inside(frame, screen))
      report_ << "misplaced\tdialog\n";
    for (const ControlInfo& control : dialog.Controls())
      if (control.visible && !Inside(control.rect, frame))
        report_ << "misplaced\t" << control.id << "\n";
  }

  static bool Inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
  }

  void WorkSaveAs(Seen& state, HWND window, ULONGLONG now) {
    if (state.step == 0) {
      Record(WindowKind::kSaveAs, window);
      ScriptedUser::AnswerSaveAs(window, target_);
      Next(state, now);
    } else if (state.step == 1) {
      if (!IsWindowEnabled(window))
        state.since = now;
      else if (now - state.since > kStallMs) {
        ScriptedUser::Press(window, IDCANCEL);
        Next(state, now);
      }
    }
  }

  void WorkCompletion(const DialogDriver& dialog, Seen& state, ULONGLONG now) {
    const int wanted = scenario_.openExplorer ? BST_CHECKED : BST_UNCHECKED;
    if (state.step == 0) {
      Record(WindowKind::kCompletion, dialog.window());
      if (dialog.Control(IDC_OPEN_EXPLORER).check != wanted)
        dialog.Click(IDC_OPEN_EXPLORER);
      Next(state, now);
    } else if (state.step == 1) {
      const int check = dialog.Control(IDC_OPEN_EXPLORER).check;
      if (check == wanted || now - state.since > kStallMs) {
        explorerExpected_ = check == BST_CHECKED;
        dialog.Command(IDOK);
        Next(state, now);
      }
    }
  }

  static void Next(Seen& state, ULONGLONG now) {
    ++state.step;
    state.since = now;
  }

  ScriptedUser user_;
  Scenario scenario_;
  std::wstring target_;
  std::ofstream& report_;
  std::map<HWND, Seen> seen_;
  bool explorerExpected_ = false;
};

// Captions of the Explorer windows that runs opened and are still to close:
// the names of their targets' folders, each run's own.
std::vector<std::wstring> explorers;

// Closes those that have come; with `wait`, waits for the rest a while.
void CloseExplorers(bool wait) {
  const ULONGLONG deadline = GetTickCount64() + (wait ? 10000 : 0);
  do {
    for (HWND w = FindWindowExW(nullptr, nullptr, L"ExplorerWClass", nullptr); w != nullptr;
         w = FindWindowExW(nullptr, w, L"ExplorerWClass", nullptr)) {
      const auto found = std::find(explorers.begin(), explorers.end(), WindowText(w));
      if (IsWindowVisible(w) && found != explorers.end()) {
        PostMessageW(w, WM_CLOSE, 0, 0);
        explorers.erase(found);
      }
    }
    if (explorers.empty() || GetTickCount64() >= deadline)
      return;
    Sleep(50);
  } while (true);
}

std::wstring FromUtf8(const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, text.data(),
                                                      static_cast<int>(text.size()), wide.data(),
                                                      static_cast<int>(wide.size()))));
  return wide;
}

// One run of the plan; false when the line is no run.
bool Play(const std::vector<std::wstring>& run, const std::wstring& dll, ULONGLONG bound) {
  if (run.size() != 9 && run.size() != 10)
    return false;
  const std::wstring& name = run[0];
  const std::wstring& image = run[1];
  const std::wstring& target = run[5];
  Scenario scenario;
  if (name == L"extract")
    scenario = {L"/extract", L"C:\\Program Files\\Ulverane Fault", true, true, true, true};
  else if (name == L"defaults")
    scenario = {L"/defaults", L"D:\\Apps\\Ulverane", true};
  else if (name == L"help")
    scenario.arguments = L"/help";
  else if (name != L"default")
    return false;
  std::ofstream report(run[6].c_str(), std::ios::binary | std::ios::app);
  const std::wstring temp = run[4] + L"\\";
  for (const auto& [variable, value] :
       {std::pair{L"TEMP", temp}, std::pair{L"TMP", temp},
        std::pair{L"ULVERANE_FAULT_PLACES", run[2]}, std::pair{L"ULVERANE_FAULT_TRACE", run[7]},
        std::pair{L"ULVERANE_FAULT", run[8]},
        std::pair{L"ULVERANE_FAULT_SLOW", run.size() > 9 ? run[9] : std::wstring()}})
    SetEnvironmentVariableW(variable, value.empty() ? nullptr : value.c_str());

  bool explorerExpected = false;
  {
    SetupProcess process(image, scenario.arguments, run[3], dll);
    if (!process.started()) {
      report << "not-started\n";
      return true;
    }
    Player player(process.id(), scenario, target, report);
    const ULONGLONG deadline = GetTickCount64() + bound;
    while (WaitForSingleObject(process.handle(), 100) == WAIT_TIMEOUT) {
      if (GetTickCount64() > deadline) {
        report << "timeout\n";
        break;
      }
      player.Poll();
    }
    const DWORD code = process.Wait(0);
    if (code != SetupProcess::kTimedOut)
      report << "exit\t" << code << "\n";
    explorerExpected = player.explorerExpected();
  }
  report << "deleted\timage\t" << (DeleteFileW(image.c_str()) ? 1 : 0) << "\n";
  if (Exists(target)) {
    const HANDLE file =
        CreateFileW(target.c_str(), GENERIC_READ | DELETE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    report << "unlocked\ttarget\t" << (file != INVALID_HANDLE_VALUE ? 1 : 0) << "\n";
    if (file != INVALID_HANDLE_VALUE)
      CloseHandle(file);
  }
  if (explorerExpected) {
    const std::wstring folder = target.substr(0, target.rfind(L'\\'));
    explorers.push_back(folder.substr(folder.rfind(L'\\') + 1));
  }
  CloseExplorers(false);
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4)
    return 100;
  const ULONGLONG bound = std::wcstoul(argv[2], nullptr, 10) * 1000ull;
  std::ifstream plan(argv[3], std::ios::binary);
  std::string line;
  int bad = 0;
  while (std::getline(plan, line)) {
    std::vector<std::wstring> fields(1);
    for (const wchar_t c : FromUtf8(line)) {
      if (c == L'\t')
        fields.emplace_back();
      else if (c != L'\r')
        fields.back() += c;
    }
    bad += Play(fields, argv[1], bound) ? 0 : 1;
  }
  CloseExplorers(true);
  return bad;
}
