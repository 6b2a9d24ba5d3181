// SPDX-License-Identifier: MIT
// The reader's own keys in every viewer window: history, reload, zoom, find in page and print.
#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

namespace vellum::platform::gtk {

// Gives `window` the reader's keys for `view`. `content` is the window's vertical box that holds
// the view; a find bar may be packed at its end.
void AttachReaderActions(GtkWindow* window, GtkBox* content, WebKitWebView* view);

}  // namespace vellum::platform::gtk
