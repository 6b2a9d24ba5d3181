// SPDX-License-Identifier: MIT
#include "platform/win32/dpi.h"

namespace vellum::platform::win32 {

namespace {

// A function of user32 that older systems lack; nullptr there.
template <typename Function>
Function User32Function(const char* name) {
  HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  if (user32 == nullptr) return nullptr;
  // Through a plain function pointer type, which converts to any other without a warning.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(user32, name)));
}

using GetDpiForSystemFn = UINT(WINAPI*)();
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);

UINT ScreenDpi() {
  int dpi = 0;
  if (HDC screen = ::GetDC(nullptr)) {
    dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
  }
  return dpi > 0 ? static_cast<UINT>(dpi) : kBaseDpi;
}

}  // namespace

UINT SystemDpi() {
  static const auto get_dpi = User32Function<GetDpiForSystemFn>("GetDpiForSystem");
  const UINT dpi = get_dpi != nullptr ? get_dpi() : 0;
  return dpi != 0 ? dpi : ScreenDpi();
}

UINT WindowDpi(HWND hwnd) {
  static const auto get_dpi = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
  const UINT dpi = get_dpi != nullptr && hwnd != nullptr ? get_dpi(hwnd) : 0;
  return dpi != 0 ? dpi : SystemDpi();
}

int ScaledToDpi(int length, UINT dpi) {
  return ::MulDiv(length, static_cast<int>(dpi), static_cast<int>(kBaseDpi));
}

SIZE OuterSizeForClient(SIZE client, DWORD style, DWORD ex_style, UINT dpi) {
  static const auto adjust = User32Function<AdjustWindowRectExForDpiFn>("AdjustWindowRectExForDpi");
  RECT rect{0, 0, client.cx, client.cy};
  if (adjust == nullptr || !adjust(&rect, style, FALSE, ex_style, dpi)) {
    rect = RECT{0, 0, client.cx, client.cy};
    ::AdjustWindowRectEx(&rect, style, FALSE, ex_style);
  }
  return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

int SystemMetricForDpi(int index, UINT dpi) {
  static const auto metric = User32Function<GetSystemMetricsForDpiFn>("GetSystemMetricsForDpi");
  if (metric != nullptr) return metric(index, dpi);
  return ::MulDiv(::GetSystemMetrics(index), static_cast<int>(dpi), static_cast<int>(SystemDpi()));
}

}  // namespace vellum::platform::win32
