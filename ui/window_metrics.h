#ifndef ULVERANE_UI_WINDOW_METRICS_H_
#define ULVERANE_UI_WINDOW_METRICS_H_

#include <windows.h>

namespace ulverane {

// GetSystemMetrics `metric` at the DPI of the screen that `window` is on.
// Aware of each monitor's DPI, the program may show a window on a screen
// whose DPI is not the one GetSystemMetrics answers for. Where Windows
// cannot tell a window's DPI (before Windows 10, version 1607), that is
// GetSystemMetrics itself.
int MetricForWindow(HWND window, int metric);

}  // namespace ulverane

#endif  // ULVERANE_UI_WINDOW_METRICS_H_
