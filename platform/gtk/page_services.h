// SPDX-License-Identifier: MIT
// What a browser brings by itself and WebKitGTK leaves to the program that hosts it: files the
// view cannot show, downloads, and a page whose web process ends.
#pragma once

#include "platform/gtk/webkit_library.h"

namespace vellum::platform::gtk {

// For one viewer window's view, until the view is destroyed:
// - a local file the view cannot show (an archive, a worksheet) opens in the reader's default
//   application for its type, as a file manager would; when there is none, a message says so.
//   Anything else the view cannot show is offered as a download.
// - when the page's web process ends (a crash, the out-of-memory killer), the page is loaded
//   again; when it ends again soon after, a short notice with a Reload link takes its place.
void AttachPageServices(WebKitWebView* view);

// For every view of `context`: a download (a `download` link, a response sent as an attachment,
// a page's blob: or data: download) asks the reader where to save it. It is written to a
// temporary file beside the chosen one and renamed into place once complete; a cancelled or
// failed download leaves nothing behind, and a failure is reported in a message.
void AttachDownloads(WebKitWebContext* context);

}  // namespace vellum::platform::gtk
