// SPDX-License-Identifier: MIT
#include "platform/gtk/page_window.h"

#include <memory>
#include <utility>

#include "platform/gtk/gobject_cast.h"

namespace vellum::platform::gtk {

namespace {

constexpr char kPageKey[] = "vellum-page";

// The viewer window that holds `view`, if it still has one.
GtkWindow* WindowOf(WebKitWebView* view) {
  if (view == nullptr) return nullptr;
  GtkWidget* top = gtk_widget_get_toplevel(As<GtkWidget>(view));
  return gtk_widget_is_toplevel(top) ? As<GtkWindow>(top) : nullptr;
}

// The text of the title bar of the window that owns all the others (the book's title).
const char* BookTitle(GtkWindow* window) {
  while (window != nullptr && gtk_window_get_transient_for(window) != nullptr) {
    window = gtk_window_get_transient_for(window);
  }
  const char* title = window != nullptr ? gtk_window_get_title(window) : nullptr;
  return title != nullptr ? title : "";
}

// The window is going: so does whatever it holds open.
void OnWindowDestroy(GtkWidget* window, gpointer data) {
  auto* page = static_cast<PageWindow*>(data);
  page->app.Guarded([&] {
    page->closed = true;
    g_object_set_data(G_OBJECT(window), kPageKey, nullptr);
    if (page->question != nullptr) gtk_widget_destroy(page->question);
    if (WebKitDownload* download = std::exchange(page->download, nullptr)) {
      CloseSaveDialog(download);
      webkit_download_cancel(download);
      g_object_unref(download);
    }
  });
}

}  // namespace

PageWindow& AttachPageWindow(Application& app, WebKitWebView* view) {
  GtkWindow* window = WindowOf(view);
  auto* page = new PageWindow{app, window, view, {}, false, 0, nullptr, nullptr, nullptr, 0, false};
  g_object_set_data_full(G_OBJECT(view), kPageKey, page,
                         [](gpointer data) { delete static_cast<PageWindow*>(data); });
  g_object_set_data(G_OBJECT(window), kPageKey, page);
  g_signal_connect(window, "destroy", Callback(OnWindowDestroy), page);
  return *page;
}

PageWindow* PageWindowOf(GtkWindow* window) {
  return window != nullptr ? static_cast<PageWindow*>(g_object_get_data(G_OBJECT(window), kPageKey))
                           : nullptr;
}

PageWindow* PageWindowOf(WebKitWebView* view) { return PageWindowOf(WindowOf(view)); }

PageWindow* AskingWindow(WebKitWebView* view) {
  PageWindow* page = PageWindowOf(view);
  if (page == nullptr) return nullptr;
  GtkWindow* owner = gtk_window_get_transient_for(page->window);
  if (owner == nullptr || page->committed) return page;
  // Once the current handler has returned.
  std::shared_ptr<WebKitWebView> kept(As<WebKitWebView>(g_object_ref(view)), g_object_unref);
  page->app.Post([kept] { webkit_web_view_try_close(kept.get()); });
  return PageWindowOf(owner);
}

void CountMore(PageWindow& page) {
  ++page.more;
  if (page.more_label == nullptr) return;
  gchar* text = page.more == 1 ? g_strdup("1 more file was asked for.")
                               : g_strdup_printf("%d more files were asked for.", page.more);
  gtk_label_set_text(page.more_label, text);
  gtk_widget_show(As<GtkWidget>(page.more_label));
  g_free(text);
}

void ReleaseDownload(PageWindow& page, WebKitDownload* download) {
  if (page.download != download) return;
  page.download = nullptr;
  g_object_unref(download);
}

void Place(GtkWidget* dialog, GtkWindow* parent) {
  GtkWindow* window = As<GtkWindow>(dialog);
  gtk_window_set_transient_for(window, parent);
  gtk_window_set_destroy_with_parent(window, TRUE);
  gtk_window_set_title(window, BookTitle(parent));
}

void ShowMessage(GtkWindow* parent, GtkMessageType type, const char* text,
                 const std::string& detail) {
  GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_DESTROY_WITH_PARENT, type,
                                             GTK_BUTTONS_OK, "%s", text);
  if (!detail.empty()) {
    gtk_message_dialog_format_secondary_text(As<GtkMessageDialog>(dialog), "%s", detail.c_str());
  }
  Place(dialog, parent);
  g_signal_connect(dialog, "response", Callback(gtk_widget_destroy), nullptr);
  gtk_widget_show(dialog);
}

std::string DisplayName(const char* path_or_uri) {
  gchar* name = g_filename_display_basename(path_or_uri);
  std::string text = name;
  g_free(name);
  return text;
}

}  // namespace vellum::platform::gtk
