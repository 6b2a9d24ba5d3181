// SPDX-License-Identifier: MIT
// What a browser brings by itself and WebKitGTK leaves to the program that hosts it: files the
// view cannot show, downloads, and a page whose web process ends.
#pragma once

#include "platform/gtk/webkit_library.h"

#include "platform/platform.h"

namespace vellum::platform::gtk {

// For one viewer window's view, until the view is destroyed; `app` reports what its handlers
// throw. Call once the view is in its window.
// - a local file the view cannot show (an archive, a worksheet) gets one question in the window:
//   open it with the reader's default application for its type (named), save it, or cancel.
//   Programs and launchers (programs.h) are only offered Save. Anything else the view cannot
//   show is offered as a download.
// - a window shows at most one such question or Save dialog at a time: the requests that come
//   while one is open are dropped, and the open question counts them. Both go with the window.
// - a popup whose first page is handed elsewhere (a question, a download) closes itself; the
//   question or Save dialog is then shown in the window that opened it.
// - when the page's web process ends (a crash, the out-of-memory killer), the page is loaded
//   again, or the window's first address when no page had begun to show; when it ends again
//   soon after, a short notice with a Reload link takes its place.
void AttachPageServices(Application& app, WebKitWebView* view);

// For every view of `context`: a download (a `download` link, a response sent as an attachment,
// a page's blob: or data: download) asks the reader where to save it, proposing a name that fits
// the Downloads folder. WebKit writes it to a partial file beside the chosen one and moves it
// into place once complete; a cancelled or failed download leaves nothing behind, and a failure
// is reported in a message that gives the system's reason.
void AttachDownloads(Application& app, WebKitWebContext* context);

// Ends the web process of `view` on purpose, as the program ends: from then on the end of any
// web process of the view's context is let be.
void EndWebProcess(WebKitWebView* view);

}  // namespace vellum::platform::gtk
