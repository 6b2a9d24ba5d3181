// SPDX-License-Identifier: MIT
// The find bar of a viewer window: a search entry, previous and next, the match count and close,
// below the page.
#pragma once

#include <gtk/gtk.h>
#include "platform/gtk/webkit_library.h"

namespace vellum::platform::gtk {

// Widget names of the find bar's parts, for styling and for tests.
inline constexpr const char* kFindBarName = "reader-find-bar";
inline constexpr const char* kFindEntryName = "reader-find-entry";
inline constexpr const char* kFindCountName = "reader-find-count";
inline constexpr const char* kFindPreviousName = "reader-find-previous";
inline constexpr const char* kFindNextName = "reader-find-next";
inline constexpr const char* kFindCloseName = "reader-find-close";

// Searches `view`'s page as the reader types (case-insensitive, wrapping around), counts the
// matches, and takes Enter and Shift+Enter for the next and previous match, Escape to close. The
// object belongs to its widgets: it goes with them, and its ties to the view go with it.
class FindBar {
 public:
  // Makes a hidden find bar for `view` at the end of `content`. It stays out of
  // gtk_widget_show_all() on the window, and asks for no width of its own.
  static FindBar& Add(GtkBox* content, WebKitWebView* view);

  bool IsOpen() const { return gtk_widget_get_visible(bar_) != FALSE; }
  // Shows the bar and puts the keyboard in its entry, text selected.
  void Open();
  // Hides the bar and the page's highlighted matches; the view gets the keyboard back if the bar
  // had it.
  void Close();
  // The next or previous match of the bar's text, opening the bar; with no text, the bar opens.
  enum class Direction { kNext, kPrevious };
  void FindAgain(Direction direction);

  FindBar(const FindBar&) = delete;
  FindBar& operator=(const FindBar&) = delete;

 private:
  FindBar(GtkBox* content, WebKitWebView* view);
  ~FindBar();

  const char* Text() const { return gtk_entry_get_text(GTK_ENTRY(entry_)); }
  void StartSearch();
  void Search(Direction direction);
  void ShowMatchCount(guint count);

  static gboolean OnEntryKeyPress(GtkWidget*, GdkEventKey* event, FindBar* bar);
  static void OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, FindBar* bar);

  WebKitWebView* view_;  // cleared by GObject if the view goes first
  WebKitFindController* find_;
  GtkWidget* bar_;
  GtkWidget* entry_;
  GtkWidget* count_;
  bool search_active_ = false;
};

}  // namespace vellum::platform::gtk
