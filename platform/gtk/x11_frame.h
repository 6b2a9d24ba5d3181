// SPDX-License-Identifier: MIT
// The window manager's frame on X11. Kept apart: Xlib's macros (None, Window, Success) clash with
// the seam's names.
#pragma once

#include <gdk/gdk.h>

#include <optional>

namespace vellum::platform::gtk {

struct FrameExtents {
  int left = 0;
  int right = 0;
  int top = 0;
  int bottom = 0;
};

// The frame the window manager puts around `window` (_NET_FRAME_EXTENTS), in device pixels (GTK's
// units times the window's scale); nothing while the window manager has not said, when there is
// none, or off X11.
std::optional<FrameExtents> ReadFrameExtents(GdkWindow* window);

// True when `window` is an X11 window.
bool IsX11Window(GdkWindow* window);

// Sizes `window`'s client area in device pixels, a size GTK cannot ask for at a scale above 1
// when it is not a multiple of the scale; the window manager is told that any size will do.
// Nothing off X11.
void ResizeInDevicePixels(GdkWindow* window, int width, int height);

// Asks the window manager to set _NET_FRAME_EXTENTS on a window it has not mapped yet.
void RequestFrameExtents(GdkWindow* window);

// True when `event` tells that the frame extents of its window changed.
bool IsFrameExtentsChange(const GdkEventProperty& event);

}  // namespace vellum::platform::gtk
