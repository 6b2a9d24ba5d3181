// SPDX-License-Identifier: MIT
// What the page services (page_services.cpp, downloads.cpp) keep for each viewer window: what its
// page has done so far, and the one question or Save dialog it shows at a time.
#pragma once

#include <gtk/gtk.h>
#include "platform/gtk/webkit_library.h"

#include <string>

#include "platform/platform.h"

namespace vellum::platform::gtk {

struct PageWindow {
  Application& app;  // reports what the handlers throw
  GtkWindow* window;
  WebKitWebView* view;  // the window's own

  // What the view's page has done so far.
  std::string first_address;  // the first the view was asked to load
  bool committed = false;     // a page has begun to show
  gint64 reloaded_at = 0;     // monotonic time of the last recovery after an end; 0: none

  // The one question or Save dialog.
  GtkWidget* question = nullptr;       // open question
  GtkLabel* more_label = nullptr;      // in the question
  WebKitDownload* download = nullptr;  // held: its Save dialog is open or to come
  int more = 0;                        // requests dropped while the question is open
  bool closed = false;                 // the window is gone

  bool Busy() const { return closed || question != nullptr || download != nullptr; }
};

// Gives `view`, already in its window, its PageWindow, which lives as long as the view. When the
// window is destroyed, so are its question or Save dialog.
PageWindow& AttachPageWindow(Application& app, WebKitWebView* view);

// The PageWindow of a viewer window that has not been destroyed, or of the window of `view`;
// nullptr for none.
PageWindow* PageWindowOf(GtkWindow* window);
PageWindow* PageWindowOf(WebKitWebView* view);

// Where `view`'s page asks a question or shows a Save dialog: its own window or, for a popup
// that has shown nothing yet, the window that opened it; such a popup then closes itself.
PageWindow* AskingWindow(WebKitWebView* view);

// A request that came while `page` was busy: dropped, and counted in an open question.
void CountMore(PageWindow& page);
// `page` no longer holds `download`, if it did.
void ReleaseDownload(PageWindow& page, WebKitDownload* download);

// Shows `dialog` over `parent`, captioned with the book's title, and destroyed with it. Never
// modal: a modal dialog would swallow every close request of the program's windows.
void Place(GtkWidget* dialog, GtkWindow* parent);
// A message for the reader, over `parent`, that waits for OK without holding up the page.
void ShowMessage(GtkWindow* parent, GtkMessageType type, const char* text,
                 const std::string& detail);
std::string DisplayName(const char* path_or_uri);

// In downloads.cpp: closes the Save dialog of `download`, if one is open.
void CloseSaveDialog(WebKitDownload* download);

}  // namespace vellum::platform::gtk
