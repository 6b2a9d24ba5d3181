// SPDX-License-Identifier: MIT
// Printing a viewer window's page: the print dialog, and the print with the reader's choices.
#pragma once

#include <gtk/gtk.h>
#include "platform/gtk/webkit_library.h"

namespace vellum::platform::gtk {

// Opens the print dialog for `view`'s page, or brings it forward when `window` has one open.
// The dialog is not modal: it leaves the program's other windows working and takes no close
// request from them. It is transient for `window` and destroyed with it, unanswered. Its Print
// prints the page with the chosen printer and settings, which the window's next dialog starts
// from; a print that fails says so in a message box.
void ShowPrintDialog(GtkWindow* window, WebKitWebView* view);

}  // namespace vellum::platform::gtk
