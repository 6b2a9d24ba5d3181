// SPDX-License-Identifier: MIT
// Dots per inch on Windows. Sizes are given in 96-dpi units and drawn at the dpi of the window
// they are for: the calls of Windows 10 where the system has them, Windows 7's otherwise.
#pragma once

#include <windows.h>

namespace vellum::platform::win32 {

constexpr UINT kBaseDpi = 96;

// The system's dpi (the primary monitor's when the process is per-monitor aware).
UINT SystemDpi();
// The dpi of the monitor the window is on: GetDpiForWindow, or the system's dpi before Windows 10.
UINT WindowDpi(HWND hwnd);
// A length in 96-dpi units, in pixels at `dpi`.
int ScaledToDpi(int length, UINT dpi);
// The outer size of a window with this style whose client area has the given size, at `dpi`.
SIZE OuterSizeForClient(SIZE client, DWORD style, DWORD ex_style, UINT dpi);
// A system metric (SM_CXICON, ...) at `dpi`.
int SystemMetricForDpi(int index, UINT dpi);

}  // namespace vellum::platform::win32
