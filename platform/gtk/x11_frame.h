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

// The frame the window manager puts around `window` (_NET_FRAME_EXTENTS), in GTK's units; nothing
// while the window manager has not said, when there is none, or off X11.
std::optional<FrameExtents> ReadFrameExtents(GdkWindow* window);

// Asks the window manager to set _NET_FRAME_EXTENTS on a window it has not mapped yet.
void RequestFrameExtents(GdkWindow* window);

// True when `event` tells that the frame extents of its window changed.
bool IsFrameExtentsChange(const GdkEventProperty& event);

}  // namespace vellum::platform::gtk
