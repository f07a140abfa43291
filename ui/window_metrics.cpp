#include "ui/window_metrics.h"

#include "base/system_library.h"

namespace ulverane {
namespace {

using DpiForWindowFunction = UINT(WINAPI*)(HWND);
using MetricForDpiFunction = int(WINAPI*)(int, UINT);

}  // namespace

int MetricForWindow(HWND window, int metric) {
  // Looked up, not imported: older Windows would refuse to start the program.
  static const SystemLibrary user32(L"user32.dll");
  static const auto dpiForWindow = user32.Get<DpiForWindowFunction>("GetDpiForWindow");
  static const auto metricForDpi = user32.Get<MetricForDpiFunction>("GetSystemMetricsForDpi");
  if (dpiForWindow != nullptr && metricForDpi != nullptr) {
    if (const UINT dpi = dpiForWindow(window))
      return metricForDpi(metric, dpi);
  }
  return GetSystemMetrics(metric);
}

}  // namespace ulverane
