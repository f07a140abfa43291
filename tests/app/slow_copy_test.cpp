// A long copy as the user sees it, on the real images: writes slowed by the
// fault DLL (ULVERANE_FAULT_SLOW) bring the progress window, Cancel stops
// the run, and the DLL's answer of the free room (ULVERANE_FAULT_FREE) stops
// it before the first byte.

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <optional>

#include "log/utf8.h"
#include "resources/resource_ids.h"
#include "tests/support/box_reader.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/sandbox.h"
#include "tests/support/wait.h"

namespace ulverane::testing {
namespace {

const std::wstring kLarge = kBinaries + L"\\app\\setup_e2e_large.exe";
const std::wstring kSmall = kBinaries + L"\\app\\setup_e2e.exe";

// The progress window as it first showed.
struct Progress {
  std::wstring caption, line, barClass, cancel;
  RECT frame = {};
};

// What a run showed, watched until it ended; every box answered with OK.
struct Seen {
  std::optional<Progress> progress;
  std::vector<int> positions;  // of the bar, as often as looked at
  bool openWhileSetupUiRan = false;
  bool openWithBox = false;
  std::vector<BoxInfo> boxes;
  DWORD exitCode = SetupProcess::kTimedOut;
};

LRESULT Ask(HWND window, UINT message, WPARAM wParam = 0) {
  DWORD_PTR answer = 0;
  SendMessageTimeoutW(window, message, wParam, 0, SMTO_ABORTIFHUNG, 2000, &answer);
  return static_cast<LRESULT>(answer);
}

class SlowCopyTest : public SandboxTest {
 protected:
  // Runs `image` with the fault DLL until it ends; `onProgress` acts on the
  // progress window when it first shows, `before` once the run started.
  Seen Watch(const std::wstring& image,
             const std::wstring& arguments,
             const std::function<void(HWND)>& onProgress = {},
             const std::function<void(DWORD)>& before = {}) {
    const auto process = Start(image, arguments, kFaultDll);
    if (before)
      before(process->id());
    Seen seen;
    const ULONGLONG deadline = GetTickCount64() + 60000;
    while (WaitForSingleObject(process->handle(), 20) == WAIT_TIMEOUT &&
           GetTickCount64() < deadline) {
      const HWND window = FindDialog(process->id(), nullptr, IDC_PROGRESS_BAR);
      const HWND box = FindDialog(process->id());
      if (window != nullptr) {
        const HWND bar = GetDlgItem(window, IDC_PROGRESS_BAR);
        seen.positions.push_back(static_cast<int>(Ask(bar, PBM_GETPOS)));
        seen.openWhileSetupUiRan |= !Report().empty();
        seen.openWithBox |= box != nullptr;
        if (!seen.progress) {
          seen.progress =
              Progress{WindowText(window), WindowText(GetDlgItem(window, IDC_PROGRESS_TEXT)),
                       ClassName(bar), WindowText(GetDlgItem(window, IDCANCEL))};
          GetWindowRect(window, &seen.progress->frame);
          EXPECT_EQ(Ask(bar, PBM_GETRANGE, FALSE), 1000);
          if (onProgress)
            onProgress(window);
        }
      }
      if (box != nullptr && IsWindowEnabled(box)) {
        seen.boxes.push_back(ReadBox(box));
        PressButton(box, IDOK);
        DialogDriver::WaitGone(box, 5000);
      }
    }
    seen.exitCode = process->Wait(5000);
    return seen;
  }

  // Works the options dialog of `process`: Save, then `target` in Save As
  // (replacing it). Returns the options dialog.
  static HWND SaveTo(DWORD process, const std::wstring& target) {
    HWND options = nullptr;
    WaitUntil([&] { return (options = FindDialog(process, nullptr, IDC_SAVE)) != nullptr; }, 30000);
    DialogDriver(options).Command(IDC_SAVE);
    EXPECT_TRUE(DialogDriver::SaveAs(process, target));
    return options;
  }
};

// Only a run that still copies after a second shows the window; it says
// what runs, moves on, sits in the middle of the screen and is gone before
// SetupUI.exe starts. The fast run looks as before: nothing, and the log
// has no line of its own.
TEST_F(SlowCopyTest, WindowShowsOnlyWhenTheUnpackIsSlow) {
  const ScopedEnvironment wait(L"ULVERANE_STANDIN_WAIT", L"2000");
  for (const wchar_t* slow : {L"0", L"400"}) {
    RemoveTree(temp_ + L"\\UlveraneSetup");
    DeleteFileW(report_.c_str());
    const ScopedEnvironment slowed(L"ULVERANE_FAULT_SLOW", slow);
    const Seen seen = Watch(kSmall, L"");
    EXPECT_EQ(seen.exitCode, 0u);
    EXPECT_TRUE(seen.boxes.empty());
    EXPECT_NE(Report().find("args=/log=true"), std::string::npos);
    const std::string log = LogOfTheRun();
    EXPECT_EQ(log.rfind("Trying to start process: ", 0), 0u) << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 4) << log;
    ASSERT_EQ(seen.progress.has_value(), slow != std::wstring(L"0")) << ToUtf8(slow);
    if (!seen.progress)
      continue;
    EXPECT_EQ(seen.progress->caption, kTitle);
    EXPECT_EQ(seen.progress->line, L"Preparing Ulverane Photo Setup...");
    EXPECT_EQ(seen.progress->barClass, L"msctls_progress32");
    EXPECT_EQ(seen.progress->cancel, L"Cancel");
    RECT work = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const RECT& frame = seen.progress->frame;
    EXPECT_LE(std::abs((frame.left + frame.right) - (work.left + work.right)), 2);
    EXPECT_LE(std::abs((frame.top + frame.bottom) - (work.top + work.bottom)), 2);
    EXPECT_TRUE(std::is_sorted(seen.positions.begin(), seen.positions.end()));
    EXPECT_GT(seen.positions.back(), seen.positions.front());
    EXPECT_FALSE(seen.openWhileSetupUiRan);
  }
}

// Cancel, by its button and by Esc, leaves what a failure leaves: the
// default run only its log, with one line; the package modes the chosen
// file absent or as it was, nothing beside it and nothing under %TEMP%.
// No box, exit code 0. A copy left to run closes the window before the
// next window shows (here the error box of a package that is none).
TEST_F(SlowCopyTest, CancelLeavesWhatAFailureLeaves) {
  const auto button = [](HWND window) { DialogDriver(window).Click(IDCANCEL); };
  const auto escape = [](HWND window) {
    PostMessageW(GetDlgItem(window, IDCANCEL), WM_KEYDOWN, VK_ESCAPE, 0);
  };
  struct Case {
    const char* what;
    std::wstring image, arguments;
    std::function<void(HWND)> cancel;
    const char* existing;  // the chosen file's bytes before, or null for none
  };
  const Case cases[] = {
      {"setup, button", kSmall, L"", button, nullptr},
      {"setup, Esc", kSmall, L"", escape, nullptr},
      {"/extract, button", kLarge, L"/extract", button, nullptr},
      {"/defaults, Esc, over a file", kLarge, L"/defaults", escape, "an earlier package"},
      {"/extract, left to run", kLarge, L"/extract", nullptr, nullptr},
  };
  const std::wstring chosen = folder_ / L"chosen";
  const std::wstring target = chosen + L"\\package.msi";
  for (const Case& c : cases) {
    RemoveTree(temp_);
    RemoveTree(chosen);
    CreateDirectoryW(temp_.c_str(), nullptr);
    CreateDirectoryW(chosen.c_str(), nullptr);
    if (c.existing != nullptr)
      WriteBytes(target, c.existing);
    const ScopedEnvironment slowed(L"ULVERANE_FAULT_SLOW", c.arguments.empty() ? L"250" : L"10");
    const Seen seen = Watch(c.image, c.arguments, c.cancel, [&](DWORD process) {
      if (!c.arguments.empty())
        DialogDriver::WaitGone(SaveTo(process, target));
    });
    EXPECT_EQ(seen.exitCode, 0u) << c.what;
    ASSERT_TRUE(seen.progress.has_value()) << c.what;
    EXPECT_FALSE(seen.openWithBox) << c.what;
    if (c.arguments.empty()) {
      EXPECT_TRUE(seen.boxes.empty()) << c.what;
      EXPECT_EQ(Report(), "") << c.what;
      EXPECT_EQ(LogOfTheRun(), "Cancelled by the user\n") << c.what;
      continue;
    }
    EXPECT_EQ(seen.progress->line, L"Saving the installer package...") << c.what;
    EXPECT_EQ(seen.boxes.size(), c.cancel ? 0u : 1u) << c.what;
    EXPECT_TRUE(ListTree(temp_).empty()) << c.what;
    if (c.existing != nullptr) {
      EXPECT_EQ(ReadBytes(target), c.existing) << c.what;
      EXPECT_EQ(ListTree(chosen), std::vector<std::wstring>{L"package.msi"}) << c.what;
    } else {
      EXPECT_TRUE(ListTree(chosen).empty()) << c.what;
    }
  }
}

// Too little room on the working folder's volume: one box that names the
// drive, the need and the room, one log line, nothing unpacked; exactly the
// room logged is enough. In the package modes the box comes from the
// options dialog, which stays open for another place.
TEST_F(SlowCopyTest, TooLittleRoomIsToldBeforeTheFirstByte) {
  wchar_t root[MAX_PATH] = {};
  ASSERT_TRUE(GetVolumePathNameW(temp_.c_str(), root, MAX_PATH));
  const std::wstring drive = std::wstring(root).substr(0, wcslen(root) - 1);
  const auto run = [&](const std::wstring& room) {
    RemoveTree(temp_ + L"\\UlveraneSetup");
    const ScopedEnvironment free(L"ULVERANE_FAULT_FREE", room);
    return Watch(kSmall, L"");
  };
  const Seen full = run(L"0");
  const std::string log = LogOfTheRun();
  const std::string start = "Not enough space: ";
  ASSERT_EQ(log.rfind(start, 0), 0u) << log;
  const unsigned long long needed = std::stoull(log.substr(start.size()));
  EXPECT_EQ(log,
            start + std::to_string(needed) + " bytes needed on " + ToUtf8(drive) + ", 0 free\n");
  ASSERT_EQ(full.boxes.size(), 1u);
  EXPECT_EQ(FormatBox(full.boxes[0]),
            "caption=Ulverane Photo Setup\ntext=There is not enough space on " + ToUtf8(drive) +
                " to unpack Ulverane Photo Setup.\\n\\nIt needs " +
                std::to_string((needed + 1048575) / 1048576) +
                " MB there, and 0 MB are free. Free some space there, then start Setup "
                "again.\nicon=error\nbuttons=1\n");
  EXPECT_EQ(full.exitCode, 0u);
  EXPECT_EQ(Report(), "");

  EXPECT_EQ(run(std::to_wstring(needed - 1)).boxes.size(), 1u);
  EXPECT_TRUE(run(std::to_wstring(needed)).boxes.empty());
  EXPECT_NE(Report().find("args=/log=true"), std::string::npos);

  RemoveTree(temp_ + L"\\UlveraneSetup");
  const std::wstring target = folder_ / L"chosen.msi";
  const ScopedEnvironment free(L"ULVERANE_FAULT_FREE", L"0");
  const auto process = Start(kProduct, L"/extract", kFaultDll);
  const HWND options = SaveTo(process->id(), target);
  const HWND box = DialogDriver::WaitForOwned(options, 20000);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(ReadBox(box).caption, kTitle);
  EXPECT_EQ(ReadBox(box).text, L"There is not enough space on " + drive +
                                   L" to save the installer package.\n\nIt needs 2 MB there, and "
                                   L"0 MB are free. Choose another place for it.");
  PressButton(box, IDOK);
  ASSERT_TRUE(DialogDriver::WaitGone(box));
  Sleep(kNothingHappensMs);
  EXPECT_TRUE(IsWindowVisible(options) && IsWindowEnabled(options));
  DialogDriver(options).Command(IDCANCEL);
  EXPECT_EQ(process->Wait(), 0u);
  EXPECT_FALSE(Exists(target));
  EXPECT_TRUE(ListTree(temp_).empty());
}

}  // namespace
}  // namespace ulverane::testing
