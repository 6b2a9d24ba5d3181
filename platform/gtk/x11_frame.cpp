// SPDX-License-Identifier: MIT
#include "platform/gtk/x11_frame.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <gdk/gdkx.h>

#include <algorithm>

namespace vellum::platform::gtk {

namespace {

constexpr char kFrameExtents[] = "_NET_FRAME_EXTENTS";
constexpr char kRequestFrameExtents[] = "_NET_REQUEST_FRAME_EXTENTS";

}  // namespace

bool IsX11Window(GdkWindow* window) {
  return window != nullptr && G_TYPE_CHECK_INSTANCE_TYPE(window, GDK_TYPE_X11_WINDOW);
}

std::optional<FrameExtents> ReadFrameExtents(GdkWindow* window) {
  if (!IsX11Window(window)) return std::nullopt;
  GdkDisplay* display = gdk_window_get_display(window);
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  gdk_x11_display_error_trap_push(display);
  const int status =
      XGetWindowProperty(gdk_x11_display_get_xdisplay(display), gdk_x11_window_get_xid(window),
                         gdk_x11_get_xatom_by_name_for_display(display, kFrameExtents), 0, 4, False,
                         XA_CARDINAL, &type, &format, &count, &after, &data);
  gdk_x11_display_error_trap_pop_ignored(display);
  std::optional<FrameExtents> extents;
  if (status == Success && type == XA_CARDINAL && format == 32 && count == 4 && data != nullptr) {
    // Format 32 properties arrive as an array of long, whatever the size of long.
    const long* values = reinterpret_cast<const long*>(data);
    // A frame is never negative nor wider than a window can be, whatever the window manager says.
    const auto side = [](long value) { return static_cast<int>(std::clamp(value, 0L, 32767L)); };
    extents = FrameExtents{side(values[0]), side(values[1]), side(values[2]), side(values[3])};
  }
  if (data != nullptr) XFree(data);
  return extents;
}

void ResizeInDevicePixels(GdkWindow* window, int width, int height) {
  if (!IsX11Window(window)) return;
  Display* display = gdk_x11_display_get_xdisplay(gdk_window_get_display(window));
  const ::Window xid = gdk_x11_window_get_xid(window);
  XSizeHints* hints = XAllocSizeHints();
  long supplied = 0;
  if (hints != nullptr && XGetWMNormalHints(display, xid, hints, &supplied) != 0) {
    hints->flags &= ~PResizeInc;  // GTK asks for steps of the scale
    XSetWMNormalHints(display, xid, hints);
  }
  if (hints != nullptr) XFree(hints);
  XResizeWindow(display, xid, static_cast<unsigned>(width), static_cast<unsigned>(height));
}

void RequestFrameExtents(GdkWindow* window) {
  if (!IsX11Window(window)) return;
  GdkScreen* screen = gdk_window_get_screen(window);
  if (!gdk_x11_screen_supports_net_wm_hint(screen,
                                           gdk_atom_intern_static_string(kRequestFrameExtents))) {
    return;
  }
  GdkDisplay* display = gdk_window_get_display(window);
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = gdk_x11_window_get_xid(window);
  event.xclient.message_type = gdk_x11_get_xatom_by_name_for_display(display, kRequestFrameExtents);
  event.xclient.format = 32;
  XSendEvent(gdk_x11_display_get_xdisplay(display),
             gdk_x11_window_get_xid(gdk_screen_get_root_window(screen)), False,
             SubstructureRedirectMask | SubstructureNotifyMask, &event);
}

bool IsFrameExtentsChange(const GdkEventProperty& event) {
  return event.atom == gdk_atom_intern_static_string(kFrameExtents);
}

}  // namespace vellum::platform::gtk
