// SPDX-License-Identifier: MIT
#include "platform/gtk/page_services.h"

#include <gtk/gtk.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "platform/gtk/gobject_cast.h"
#include "platform/gtk/page_window.h"
#include "platform/gtk/programs.h"

// The header glib generates for the built-in pages declares a C function without saying so.
extern "C" {
#include "platform/gtk/pages/pages_resource.h"
}

namespace vellum::platform::gtk {

namespace {

// A web process that ends again this soon after the page was loaded again is not tried a third
// time.
constexpr gint64 kRecoveryMicroseconds = 30 * G_USEC_PER_SEC;
constexpr char kStoppedPage[] = "/org/vellum/pages/page_stopped.html";
constexpr char kAddressMark[] = "@ADDRESS@";
constexpr char kDocumentMark[] = "@DOCUMENT@";
constexpr char kEndingKey[] = "vellum-ending";

enum Answer : gint { kSave = 1, kOpen = 2 };

// ---------------------------------------------------------------------------------------------
// Files the view cannot show

struct Question {
  PageWindow& window;
  std::string uri;
  GAppInfo* application = nullptr;  // the default one for the file's type; none for programs

  ~Question() {
    if (application != nullptr) g_object_unref(application);
  }
};

// The reader's default application for the type of the file at `path`, if there is one.
GAppInfo* DefaultApplication(const char* path) {
  gchar* type = nullptr;
  GFile* file = g_file_new_for_path(path);
  GFileInfo* info = g_file_query_info(file, G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE,
                                      G_FILE_QUERY_INFO_NONE, nullptr, nullptr);
  g_object_unref(file);
  if (info != nullptr) {
    type = g_strdup(g_file_info_get_content_type(info));
    g_object_unref(info);
  }
  GAppInfo* application = type != nullptr ? g_app_info_get_default_for_type(type, FALSE) : nullptr;
  g_free(type);
  return application;
}

void Open(PageWindow& window, const Question& question) {
  GdkAppLaunchContext* launch =
      gdk_display_get_app_launch_context(gtk_widget_get_display(As<GtkWidget>(window.window)));
  GList uris{const_cast<char*>(question.uri.c_str()), nullptr, nullptr};
  GError* error = nullptr;
  const bool opened = g_app_info_launch_uris(question.application, &uris,
                                             As<GAppLaunchContext>(launch), &error) != FALSE;
  g_object_unref(launch);
  if (opened) return;
  std::string detail = DisplayName(question.uri.c_str());
  if (error != nullptr) detail += "\n" + std::string(error->message);
  g_clear_error(&error);
  ShowMessage(window.window, GTK_MESSAGE_ERROR, "This file could not be opened.", detail);
}

void OnQuestionResponse(GtkDialog* dialog, gint response, gpointer data) {
  auto* question = static_cast<Question*>(data);
  PageWindow& window = question->window;
  window.app.Guarded([&] {
    // Kept past the dialog, which frees the question with it.
    const std::unique_ptr<Question> answered(new Question{window, question->uri, nullptr});
    std::swap(answered->application, question->application);
    gtk_widget_destroy(As<GtkWidget>(dialog));
    if (response == kOpen && answered->application != nullptr) Open(window, *answered);
    if (response == kSave && !window.Busy()) {
      // Its Save dialog opens in this window once WebKit has the file's name.
      window.download = webkit_web_view_download_uri(window.view, answered->uri.c_str());
    }
  });
}

void OnQuestionDestroy(GtkWidget*, gpointer data) {
  auto* window = static_cast<PageWindow*>(data);
  window->app.Guarded([&] {
    window->question = nullptr;
    window->more_label = nullptr;
    window->more = 0;
  });
}

// Asks the reader, in `window`, what to do with the local file at `uri`, which the view
// took for `mime_type`.
void Ask(PageWindow& window, const char* uri, const char* mime_type) {
  if (window.Busy()) {
    CountMore(window);
    return;
  }
  gchar* path = g_filename_from_uri(uri, nullptr, nullptr);
  if (path == nullptr) return;  // a file: URI always has a path
  auto* question = new Question{window, uri, nullptr};
  const bool program = IsProgram(path, mime_type);
  if (!program) question->application = DefaultApplication(path);
  const std::string name = DisplayName(path);
  g_free(path);

  GtkWidget* dialog =
      gtk_message_dialog_new(nullptr, GTK_DIALOG_DESTROY_WITH_PARENT, GTK_MESSAGE_QUESTION,
                             GTK_BUTTONS_NONE, "This page asks to open “%s”.", name.c_str());
  auto* message = As<GtkMessageDialog>(dialog);
  if (program) {
    gtk_message_dialog_format_secondary_text(
        message, "It is a program or starts one: it can only be saved.");
  } else if (question->application == nullptr) {
    gtk_message_dialog_format_secondary_text(message,
                                             "No application is set up to open this file.");
  } else {
    gtk_message_dialog_format_secondary_text(message, "Open it with %s, or save it?",
                                             g_app_info_get_display_name(question->application));
  }
  GtkWidget* more = gtk_label_new(nullptr);
  gtk_container_add(As<GtkContainer>(gtk_message_dialog_get_message_area(message)), more);
  gtk_dialog_add_button(As<GtkDialog>(dialog), "_Cancel", GTK_RESPONSE_CANCEL);
  gtk_dialog_add_button(As<GtkDialog>(dialog), "_Save…", kSave);
  if (question->application != nullptr) {
    gchar* open =
        g_strdup_printf("_Open with %s", g_app_info_get_display_name(question->application));
    gtk_dialog_add_button(As<GtkDialog>(dialog), open, kOpen);
    g_free(open);
  }
  gtk_dialog_set_default_response(As<GtkDialog>(dialog), GTK_RESPONSE_CANCEL);
  Place(dialog, window.window);
  window.question = dialog;
  window.more_label = As<GtkLabel>(more);
  g_signal_connect(dialog, "destroy", Callback(OnQuestionDestroy), &window);
  g_signal_connect_data(
      dialog, "response", Callback(OnQuestionResponse), question,
      [](gpointer data, GClosure*) { delete static_cast<Question*>(data); }, GConnectFlags{});
  gtk_widget_show(dialog);
}

gboolean OnDecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision,
                        WebKitPolicyDecisionType type, gpointer data) {
  if (type != WEBKIT_POLICY_DECISION_TYPE_RESPONSE) return FALSE;
  auto* response = As<WebKitResponsePolicyDecision>(decision);
  // What the view shows itself, and responses sent as attachments (downloaded), go on as usual.
  if (webkit_response_policy_decision_is_mime_type_supported(response)) return FALSE;
  auto* page = static_cast<PageWindow*>(data);
  page->app.Guarded([&] {
    const char* uri =
        webkit_uri_request_get_uri(webkit_response_policy_decision_get_request(response));
    if (uri == nullptr || !g_str_has_prefix(uri, "file:")) {
      webkit_policy_decision_download(decision);  // a fresh popup closes when it starts
      return;
    }
    webkit_policy_decision_ignore(decision);
    // The file, without what only a page reads (a ?query, a #fragment).
    const std::string file(uri, std::strcspn(uri, "?#"));
    const char* mime_type =
        webkit_uri_response_get_mime_type(webkit_response_policy_decision_get_response(response));
    if (PageWindow* asking = AskingWindow(view)) Ask(*asking, file.c_str(), mime_type);
  });
  return TRUE;
}

// ---------------------------------------------------------------------------------------------
// A web process that ends

void ShowStoppedPage(WebKitWebView* view, const std::string& address) {
  GBytes* page = g_resource_lookup_data(vellum_pages_get_resource(), kStoppedPage,
                                        G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
  if (page == nullptr) return;  // built in; cannot be missing
  gsize size = 0;
  const auto* data = static_cast<const char*>(g_bytes_get_data(page, &size));
  std::string html(data, size);
  g_bytes_unref(page);
  // The notice stands at the page's address, so that its Reload link may load a local page. The
  // link leaves out any #fragment: one would only scroll the notice.
  const std::string document = address.substr(0, address.find('#'));
  const auto escaped = [](const std::string& text) {
    gchar* escaped_text = g_markup_escape_text(text.c_str(), -1);
    std::string result = escaped_text;
    g_free(escaped_text);
    return result;
  };
  const std::pair<std::string, std::string> marks[] = {{kAddressMark, escaped(address)},
                                                       {kDocumentMark, escaped(document)}};
  for (const auto& [mark, value] : marks) {
    for (std::size_t at = html.find(mark); at != std::string::npos;
         at = html.find(mark, at + value.size())) {
      html.replace(at, mark.size(), value);
    }
  }
  // A view that never had an address (a popup whose page had not begun) gets the notice alone.
  const char* at = address.empty() ? "about:blank" : address.c_str();
  webkit_web_view_load_alternate_html(view, html.c_str(), at,
                                      address.empty() ? at : document.c_str());
}

void NoteAddress(WebKitWebView* view, PageWindow& page) {
  const char* uri = webkit_web_view_get_uri(view);
  if (page.first_address.empty() && uri != nullptr) page.first_address = uri;
}

void OnUriChanged(WebKitWebView* view, GParamSpec*, gpointer data) {
  auto* page = static_cast<PageWindow*>(data);
  page->app.Guarded([&] { NoteAddress(view, *page); });
}

void OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
  auto* page = static_cast<PageWindow*>(data);
  page->app.Guarded([&] {
    if (event == WEBKIT_LOAD_COMMITTED) page->committed = true;
  });
}

void OnWebProcessTerminated(WebKitWebView* view, WebKitWebProcessTerminationReason reason,
                            gpointer data) {
  auto* page = static_cast<PageWindow*>(data);
  page->app.Guarded([&] {
    // Asked for as the program ends (EndWebProcess).
    if (reason == WEBKIT_WEB_PROCESS_TERMINATED_BY_API ||
        g_object_get_data(G_OBJECT(webkit_web_view_get_context(view)), kEndingKey) != nullptr) {
      return;
    }
    NoteAddress(view, *page);
    const char* uri = webkit_web_view_get_uri(view);
    const std::string address = uri != nullptr ? uri : page->first_address;
    const gint64 now = g_get_monotonic_time();
    if (!address.empty() &&
        (page->reloaded_at == 0 || now - page->reloaded_at > kRecoveryMicroseconds)) {
      page->reloaded_at = now;
      // A reload does nothing where no page had begun to show.
      if (page->committed) {
        webkit_web_view_reload(view);
      } else {
        webkit_web_view_load_uri(view, page->first_address.c_str());
      }
      return;
    }
    // The reader's own Reload on the notice starts afresh: a later end is tried again once.
    page->reloaded_at = 0;
    ShowStoppedPage(view, address);
  });
}

}  // namespace

void AttachPageServices(Application& app, WebKitWebView* view) {
  PageWindow* page = &AttachPageWindow(app, view);
  g_signal_connect(view, "decide-policy", Callback(OnDecidePolicy), page);
  g_signal_connect(view, "notify::uri", Callback(OnUriChanged), page);
  g_signal_connect(view, "load-changed", Callback(OnLoadChanged), page);
  g_signal_connect(view, "web-process-terminated", Callback(OnWebProcessTerminated), page);
}

void EndWebProcess(WebKitWebView* view) {
  g_object_set_data(G_OBJECT(webkit_web_view_get_context(view)), kEndingKey, view);
  webkit_web_view_terminate_web_process(view);
}

}  // namespace vellum::platform::gtk
