// SPDX-License-Identifier: MIT
#include "platform/gtk/print_dialog.h"

#include <gtk/gtkunixprint.h>

// WebKit's own dialog (webkit_print_operation_run_dialog) is modal and runs a main loop of its
// own until it is answered, which holds every other window's close request. This one is the same
// dialog, shown without a loop: WebKit prints once it is answered. No C++ exception can leave
// these callbacks: nothing below throws.

namespace vellum::platform::gtk {
namespace {

// A window's printing: the reader's last choices, and its dialog while one is open. Belongs to
// the window (its object data).
struct Printing {
  GtkPrintSettings* settings = nullptr;
  GtkPageSetup* page_setup = nullptr;
  GtkWidget* dialog = nullptr;  // cleared by GObject when the dialog goes

  ~Printing() {
    if (settings != nullptr) g_object_unref(settings);
    if (page_setup != nullptr) g_object_unref(page_setup);
    if (dialog != nullptr) {
      g_object_remove_weak_pointer(G_OBJECT(dialog), reinterpret_cast<gpointer*>(&dialog));
    }
  }
};

constexpr const char* kPrintingKey = "vellum-printing";

Printing& PrintingOf(GtkWindow* window) {
  auto* printing = static_cast<Printing*>(g_object_get_data(G_OBJECT(window), kPrintingKey));
  if (printing == nullptr) {
    printing = new Printing;
    g_object_set_data_full(G_OBJECT(window), kPrintingKey, printing,
                           [](gpointer data) { delete static_cast<Printing*>(data); });
  }
  return *printing;
}

void OnPrintFailed(WebKitPrintOperation*, GError* error, gpointer window) {
  GtkWidget* box = gtk_message_dialog_new(GTK_WINDOW(window), GTK_DIALOG_DESTROY_WITH_PARENT,
                                          GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, "Printing failed.");
  if (error != nullptr && error->message != nullptr) {
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(box), "%s", error->message);
  }
  g_signal_connect(box, "response", G_CALLBACK(gtk_widget_destroy), nullptr);
  gtk_widget_show(box);
}

// Connected for as long as the view is not disposed: the window, and the dialog with it, are
// then still there.
void OnResponse(GtkDialog* dialog, gint response, gpointer view) {
  GtkWindow* window = gtk_window_get_transient_for(GTK_WINDOW(dialog));
  if (response == GTK_RESPONSE_OK && window != nullptr) {
    GtkPrintUnixDialog* choices = GTK_PRINT_UNIX_DIALOG(dialog);
    Printing& printing = PrintingOf(window);
    // The settings name the chosen printer, as webkit_print_operation_print() looks it up.
    GtkPrintSettings* settings = gtk_print_unix_dialog_get_settings(choices);
    GtkPageSetup* page_setup =
        GTK_PAGE_SETUP(g_object_ref(gtk_print_unix_dialog_get_page_setup(choices)));
    if (printing.settings != nullptr) g_object_unref(printing.settings);
    if (printing.page_setup != nullptr) g_object_unref(printing.page_setup);
    printing.settings = settings;
    printing.page_setup = page_setup;

    WebKitPrintOperation* operation = webkit_print_operation_new(WEBKIT_WEB_VIEW(view));
    webkit_print_operation_set_print_settings(operation, settings);
    webkit_print_operation_set_page_setup(operation, page_setup);
    g_signal_connect_object(operation, "failed", G_CALLBACK(OnPrintFailed), window,
                            static_cast<GConnectFlags>(0));
    webkit_print_operation_print(operation);  // holds the operation until the job is done
    g_object_unref(operation);
  }
  gtk_widget_destroy(GTK_WIDGET(dialog));
}

}  // namespace

void ShowPrintDialog(GtkWindow* window, WebKitWebView* view) {
  Printing& printing = PrintingOf(window);
  if (printing.dialog != nullptr) {
    gtk_window_present(GTK_WINDOW(printing.dialog));
    return;
  }
  GtkWidget* dialog = gtk_print_unix_dialog_new(nullptr, window);
  GtkPrintUnixDialog* choices = GTK_PRINT_UNIX_DIALOG(dialog);
  // What WebKit's own dialog offers: WebKit lays out the pages itself.
  gtk_print_unix_dialog_set_manual_capabilities(
      choices,
      static_cast<GtkPrintCapabilities>(
          GTK_PRINT_CAPABILITY_NUMBER_UP | GTK_PRINT_CAPABILITY_NUMBER_UP_LAYOUT |
          GTK_PRINT_CAPABILITY_PAGE_SET | GTK_PRINT_CAPABILITY_REVERSE |
          GTK_PRINT_CAPABILITY_COPIES | GTK_PRINT_CAPABILITY_COLLATE | GTK_PRINT_CAPABILITY_SCALE));
  gtk_print_unix_dialog_set_embed_page_setup(choices, TRUE);
  if (printing.settings != nullptr) gtk_print_unix_dialog_set_settings(choices, printing.settings);
  if (printing.page_setup != nullptr) {
    gtk_print_unix_dialog_set_page_setup(choices, printing.page_setup);
  }
  gtk_window_set_destroy_with_parent(GTK_WINDOW(dialog), TRUE);
  printing.dialog = dialog;
  g_object_add_weak_pointer(G_OBJECT(dialog), reinterpret_cast<gpointer*>(&printing.dialog));
  g_signal_connect_object(dialog, "response", G_CALLBACK(OnResponse), view,
                          static_cast<GConnectFlags>(0));
  gtk_widget_show(dialog);
}

}  // namespace vellum::platform::gtk
