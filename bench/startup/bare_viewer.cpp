// SPDX-License-Identifier: MIT
// The lower bound for the viewer's start-up: one GTK window holding one web view, which opens the
// file URL given on the command line, maximized. The program ends when the page closes its window.
// Pages may open windows: each gets a window of the viewer's design size, shown the way WebKit's
// documentation shows one (on ready-to-show), for the popup benchmark.
// Usage: vellum_bare_viewer FILE_URL
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

namespace {

void OnViewClose(WebKitWebView* /*view*/, gpointer window) {
  gtk_widget_destroy(static_cast<GtkWidget*>(window));
}

void OnWindowDestroy(GtkWidget* /*window*/, gpointer /*data*/) { gtk_main_quit(); }

void OnReadyToShow(WebKitWebView* view, gpointer /*data*/) {
  gtk_widget_show_all(gtk_widget_get_toplevel(GTK_WIDGET(view)));
}

void OnPopupClose(WebKitWebView* /*view*/, gpointer window) {
  gtk_widget_destroy(static_cast<GtkWidget*>(window));
}

GtkWidget* OnCreate(WebKitWebView* view, WebKitNavigationAction* /*action*/, gpointer opener) {
  GtkWidget* popup = webkit_web_view_new_with_related_view(view);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 756, 619);  // the viewer's design size
  gtk_window_set_transient_for(GTK_WINDOW(window), GTK_WINDOW(opener));
  gtk_container_add(GTK_CONTAINER(window), popup);
  g_signal_connect(popup, "ready-to-show", G_CALLBACK(OnReadyToShow), nullptr);
  g_signal_connect(popup, "close", G_CALLBACK(OnPopupClose), window);
  return popup;
}

}  // namespace

int main(int argc, char** argv) {
  gtk_init(&argc, &argv);
  if (argc != 2 || !g_str_has_prefix(argv[1], "file://")) {
    g_printerr("usage: %s FILE_URL\n", argc > 0 ? argv[0] : "vellum_bare_viewer");
    return 2;
  }

  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  // Maximized, as the benchmark configures the viewer, so that both paint the same area.
  gtk_window_set_default_size(GTK_WINDOW(window), 800, 600);
  gtk_window_maximize(GTK_WINDOW(window));
  // Like the viewer, it keeps no website data on disk: the two differ only in what the viewer
  // itself adds.
  WebKitWebContext* context = webkit_web_context_new_ephemeral();
  GtkWidget* view = webkit_web_view_new_with_context(context);
  g_object_unref(context);
  // Scripts may open windows, as they may in the viewer; changes nothing for a page that does not.
  webkit_settings_set_javascript_can_open_windows_automatically(
      webkit_web_view_get_settings(WEBKIT_WEB_VIEW(view)), TRUE);
  gtk_container_add(GTK_CONTAINER(window), view);
  g_signal_connect(view, "close", G_CALLBACK(OnViewClose), window);
  g_signal_connect(view, "create", G_CALLBACK(OnCreate), window);
  g_signal_connect(window, "destroy", G_CALLBACK(OnWindowDestroy), nullptr);

  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), argv[1]);
  gtk_widget_show_all(window);
  gtk_main();
  return 0;
}
