// The package modes' dialogs of the real Setup.exe at 96, 144 and 192 DPI:
// every visible control inside its dialog's client area and clear of the
// others, the icons at the sizes the system asks for, and the /defaults
// layout rule. Changes the prefix's DPI (see tests/CMakeLists.txt).

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "log/utf8.h"
#include "resources/resource_ids.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/environment.h"
#include "tests/support/scoped_dpi.h"
#include "tests/support/setup_process.h"
#include "tests/support/temp_folder.h"
#include "tests/test_paths.h"

namespace ulverane::testing {
namespace {

const std::wstring kTitle = L"Ulverane Photo Setup";
constexpr int kSaveAsFileName = 0x47C;

bool Inside(const RECT& inner, const RECT& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

// A group box is the frame of the controls that it wholly contains.
bool Frames(const ControlInfo& box, const ControlInfo& control, HWND dialog) {
  const LONG style = GetWindowLongW(GetDlgItem(dialog, box.id), GWL_STYLE);
  return box.className == L"Button" && (style & BS_TYPEMASK) == BS_GROUPBOX &&
         Inside(control.rect, box.rect);
}

void ExpectTidy(HWND dialog, const char* name) {
  RECT client = {};
  GetClientRect(dialog, &client);
  MapWindowPoints(dialog, nullptr, reinterpret_cast<POINT*>(&client), 2);
  std::vector<ControlInfo> shown;
  for (const ControlInfo& control : DialogDriver(dialog).Controls())
    if (control.visible)
      shown.push_back(control);
  EXPECT_GE(shown.size(), 4u) << name;
  for (size_t i = 0; i < shown.size(); ++i) {
    EXPECT_TRUE(Inside(shown[i].rect, client)) << name << ": " << shown[i].id << " sticks out";
    for (size_t j = i + 1; j < shown.size(); ++j) {
      RECT overlap;
      EXPECT_TRUE(!IntersectRect(&overlap, &shown[i].rect, &shown[j].rect) ||
                  Frames(shown[i], shown[j], dialog) || Frames(shown[j], shown[i], dialog))
          << name << ": " << shown[i].id << " overlaps " << shown[j].id;
    }
  }
}

std::map<std::string, int> Probe(HWND dialog, const std::wstring& report) {
  std::map<std::string, int> values;
  std::istringstream lines(DialogDriver(dialog).Probe(report));
  for (std::string line; std::getline(lines, line);) {
    const size_t equals = line.find('=');
    if (equals != std::string::npos && line.rfind("cue.", 0) != 0)
      values[line.substr(0, equals)] = std::atoi(line.c_str() + equals + 1);
  }
  return values;
}

// Icons at the sizes that the dialog's process is asked for, which follow
// the DPI.
void ExpectIcons(HWND dialog, const std::wstring& report, int dpi, const char* name) {
  const auto probe = Probe(dialog, report);
  EXPECT_EQ(probe.at("metric-small"), 16 * dpi / 96) << name;
  EXPECT_EQ(probe.at("metric-big"), 32 * dpi / 96) << name;
  EXPECT_EQ(probe.at("icon-small"), probe.at("metric-small")) << name;
  EXPECT_EQ(probe.at("icon-big"), probe.at("metric-big")) << name;
}

LONG TopIn(HWND dialog, int id) {
  RECT window = {}, control = {};
  GetWindowRect(dialog, &window);
  GetWindowRect(GetDlgItem(dialog, id), &control);
  return control.top - window.top;
}

LONG Height(HWND window) {
  RECT area = {};
  GetWindowRect(window, &area);
  return area.bottom - area.top;
}

TEST(DpiTest, DialogsHoldTogetherAtEveryDpi) {
  TempFolder folder;
  const std::wstring setup = folder / L"Setup.exe", report = folder / L"probe.txt";
  ASSERT_TRUE(CopyFileW(ULVERANE_SETUP_DIR L"\\Setup.exe", setup.c_str(), FALSE));
  const ScopedEnvironment probeReport(L"ULVERANE_PROBE_REPORT", report);
  for (const int dpi : {96, 144, 192}) {
    SCOPED_TRACE(std::to_string(dpi) + " DPI");
    const ScopedDpi scopedDpi(dpi);
    LONG sectionTop = 0, saveTop = 0, height = 0;
    {
      SetupProcess extract(setup, L"/extract", folder.path());
      const HWND options = DialogDriver::WaitFor(extract.id(), kTitle);
      ASSERT_NE(options, nullptr);
      ExpectTidy(options, "options");
      ExpectIcons(options, report, dpi, "options");
      sectionTop = TopIn(options, IDC_EXTRACT_GROUP);
      saveTop = TopIn(options, IDC_SAVE);
      height = Height(options);

      DialogDriver(options).Click(IDC_NO_EULA);
      const HWND eula = DialogDriver::WaitFor(extract.id(), L"End-User Licence Agreement");
      ASSERT_NE(eula, nullptr);
      ExpectTidy(eula, "agreement");
      DialogDriver(eula).Click(IDOK);
      ASSERT_TRUE(DialogDriver::WaitGone(eula));

      DialogDriver(options).Command(IDC_SAVE);
      const HWND save = DialogDriver::WaitFor(extract.id(), L"Save As");
      ASSERT_NE(save, nullptr);
      DialogDriver(save).Type(kSaveAsFileName, folder / (std::to_wstring(dpi) + L".msi"));
      DialogDriver(save).Command(IDOK);
      ASSERT_TRUE(DialogDriver::WaitGone(options));
      const HWND done = DialogDriver::WaitFor(extract.id(), kTitle, 60000);
      ASSERT_NE(done, nullptr);
      ExpectTidy(done, "completion");
      ExpectIcons(done, report, dpi, "completion");
      DialogDriver(done).Click(IDCANCEL);
      EXPECT_EQ(extract.Wait(), 0u);
    }
    SetupProcess defaults(setup, L"/defaults", folder.path());
    const HWND options = DialogDriver::WaitFor(defaults.id(), kTitle);
    ASSERT_NE(options, nullptr);
    ExpectTidy(options, "options of /defaults");
    EXPECT_EQ(TopIn(options, IDC_SAVE), sectionTop);
    EXPECT_EQ(Height(options), height - (saveTop - sectionTop));
    DialogDriver(options).Close();
    EXPECT_EQ(defaults.Wait(), 0u);
  }
}

}  // namespace
}  // namespace ulverane::testing
