// The package modes' dialogs of the real Setup.exe at 96, 144 and 192 DPI.
// Changes the prefix's DPI: see tests/CMakeLists.txt.

#include <windows.h>

#include <gtest/gtest.h>

#include "resources/resource_ids.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/sandbox.h"
#include "tests/support/scoped_dpi.h"

namespace ulverane::testing {
namespace {

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

// Every visible control inside the client area and clear of the others.
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

// The icons at the sizes that the dialog's process is asked for at `dpi`.
void ExpectIcons(HWND dialog, const std::wstring& report, int dpi, const char* name) {
  const std::string probe = DialogDriver(dialog).Probe(report);
  const std::string small = std::to_string(16 * dpi / 96), big = std::to_string(32 * dpi / 96);
  for (const std::string& line :
       {"metric-small=" + small, "icon-small=" + small, "metric-big=" + big, "icon-big=" + big})
    EXPECT_NE(probe.find(line + "\n"), std::string::npos) << name << ": " << line << "\n" << probe;
}

using DpiTest = SandboxTest;

TEST_F(DpiTest, DialogsHoldTogetherAtEveryDpi) {
  for (const int dpi : {96, 144, 192}) {
    SCOPED_TRACE(std::to_string(dpi) + " DPI");
    const ScopedDpi scopedDpi(dpi);
    RECT full = {}, section = {}, save = {};
    {
      const auto extract = Start(kProduct, L"/extract");
      const HWND window = DialogDriver::WaitFor(extract->id(), kTitle);
      ASSERT_NE(window, nullptr);
      const DialogDriver options(window);
      ExpectTidy(window, "options");
      ExpectIcons(window, probe_, dpi, "options");
      full = options.Rect();
      section = options.Control(IDC_EXTRACT_GROUP).rect;
      save = options.Control(IDC_SAVE).rect;

      options.Click(IDC_NO_EULA);
      const HWND eula = DialogDriver::WaitFor(extract->id(), L"End-User Licence Agreement");
      ASSERT_NE(eula, nullptr);
      ExpectTidy(eula, "agreement");
      DialogDriver(eula).Click(IDOK);
      ASSERT_TRUE(DialogDriver::WaitGone(eula));

      options.Command(IDC_SAVE);
      ASSERT_TRUE(DialogDriver::SaveAs(extract->id(), folder_ / (std::to_wstring(dpi) + L".msi")));
      ASSERT_TRUE(DialogDriver::WaitGone(window));
      const HWND done = DialogDriver::WaitFor(extract->id(), kTitle, 60000);
      ASSERT_NE(done, nullptr);
      ExpectTidy(done, "completion");
      ExpectIcons(done, probe_, dpi, "completion");
      DialogDriver(done).Click(IDCANCEL);
      EXPECT_EQ(extract->Wait(), 0u);
    }
    // Save where the hidden section began; the dialog shorter by the shift.
    const auto defaults = Start(kProduct, L"/defaults");
    const HWND window = DialogDriver::WaitFor(defaults->id(), kTitle);
    ASSERT_NE(window, nullptr);
    const DialogDriver options(window);
    ExpectTidy(window, "options of /defaults");
    const RECT shrunk = options.Rect();
    EXPECT_EQ(options.Control(IDC_SAVE).rect.top - shrunk.top, section.top - full.top);
    EXPECT_EQ(shrunk.bottom - shrunk.top, full.bottom - full.top - (save.top - section.top));
    options.Close();
    EXPECT_EQ(defaults->Wait(), 0u);
  }
}

}  // namespace
}  // namespace ulverane::testing
