// SPDX-License-Identifier: MIT
// The reader's own keys in every viewer window: history, reload, zoom, find in page, print and
// caret browsing.
#pragma once

#include <gtk/gtk.h>

#include "platform/gtk/webkit_library.h"

namespace vellum::platform::gtk {

// Gives `window` the reader's keys for `view`. `content` is the window's vertical box that holds
// the view; the find bar (find_bar.h) is packed at its end.
//
// Keys reach the page first: a key the page consumes (typing in a text field, a script that
// cancels its keydown) never becomes one of these actions. Nothing here changes the window's
// title, size or border. Call once per window, after the view is packed and before the window
// is shown; everything attached lives until the window is destroyed.
//
//   Alt+Left, Alt+Right, mouse buttons 8 and 9   back, forward
//   F5, Ctrl+R (Ctrl+F5, Ctrl+Shift+R)           reload (bypassing the cache)
//   Escape                                       stop loading, or close the find bar
//   Ctrl+plus, Ctrl+minus, Ctrl+0, Ctrl+wheel    zoom in, out, back to 100% (whole page)
//   Ctrl+F; Ctrl+G, F3 (with Shift: backwards)   find bar; next / previous match
//   Ctrl+P, and a page's window.print()          print dialog (print_dialog.h)
//   F7                                           caret browsing on or off (off at start)
void AttachReaderActions(GtkWindow* window, GtkBox* content, WebKitWebView* view);

}  // namespace vellum::platform::gtk
