// SPDX-License-Identifier: MIT
#include "platform/gtk/page_services.h"

#include <fcntl.h>
#include <glib/gstdio.h>
#include <gtk/gtk.h>

#include <set>
#include <string>
#include <utility>

#include "platform/gtk/gobject_cast.h"

// The header glib generates for the built-in pages declares a C function without saying so.
extern "C" {
#include "platform/gtk/pages/pages_resource.h"
}

// No C++ exception can leave these callbacks: nothing below throws (allocation failures abort in
// GLib as they would in std::terminate).

namespace vellum::platform::gtk {

namespace {

// A web process that ends again this soon after the page was loaded again is not tried a third
// time.
constexpr gint64 kRecoveryMicroseconds = 30 * G_USEC_PER_SEC;
constexpr char kStoppedPage[] = "/org/vellum/pages/page_stopped.html";
constexpr char kAddressMark[] = "@ADDRESS@";
constexpr char kDocumentMark[] = "@DOCUMENT@";

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

// A message for the reader, over `parent`, that waits for OK without holding up the page.
void ShowMessage(GtkWindow* parent, GtkMessageType type, const char* text, const char* detail) {
  GtkWidget* dialog = gtk_message_dialog_new(
      parent, static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT), type,
      GTK_BUTTONS_OK, "%s", text);
  if (detail != nullptr && *detail != '\0') {
    gtk_message_dialog_format_secondary_text(As<GtkMessageDialog>(dialog), "%s", detail);
  }
  gtk_window_set_title(As<GtkWindow>(dialog), BookTitle(parent));
  g_signal_connect(dialog, "response", Callback(gtk_widget_destroy), nullptr);
  gtk_widget_show(dialog);
}

std::string DisplayName(const char* path_or_uri) {
  gchar* name = g_filename_display_basename(path_or_uri);
  std::string text = name;
  g_free(name);
  return text;
}

// ---------------------------------------------------------------------------------------------
// Files the view cannot show

// Opens a local file in the reader's default application for its type, through the desktop
// portal where there is one.
void OpenInDefaultApplication(GtkWindow* parent, const char* uri) {
  GdkDisplay* display =
      parent != nullptr ? gtk_widget_get_display(As<GtkWidget>(parent)) : gdk_display_get_default();
  GdkAppLaunchContext* launch = gdk_display_get_app_launch_context(display);
  GError* error = nullptr;
  const bool opened =
      g_app_info_launch_default_for_uri(uri, As<GAppLaunchContext>(launch), &error) != FALSE;
  g_object_unref(launch);
  if (opened) return;
  gchar* path = g_filename_from_uri(uri, nullptr, nullptr);
  const std::string name = DisplayName(path != nullptr ? path : uri);
  g_free(path);
  const bool no_application = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_NOT_SUPPORTED) ||
                              g_error_matches(error, G_IO_ERROR, G_IO_ERROR_NOT_FOUND);
  g_clear_error(&error);
  ShowMessage(parent, GTK_MESSAGE_INFO,
              no_application ? "No application is set up to open this file."
                             : "This file could not be opened.",
              name.c_str());
}

gboolean OnDecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision,
                        WebKitPolicyDecisionType type, gpointer) {
  if (type != WEBKIT_POLICY_DECISION_TYPE_RESPONSE) return FALSE;
  auto* response = As<WebKitResponsePolicyDecision>(decision);
  // What the view shows itself, and responses sent as attachments (downloaded), go on as usual.
  if (webkit_response_policy_decision_is_mime_type_supported(response)) return FALSE;
  const char* uri =
      webkit_uri_request_get_uri(webkit_response_policy_decision_get_request(response));
  if (uri != nullptr && g_str_has_prefix(uri, "file:")) {
    webkit_policy_decision_ignore(decision);
    OpenInDefaultApplication(WindowOf(view), uri);
  } else {
    webkit_policy_decision_download(decision);
  }
  return TRUE;
}

// ---------------------------------------------------------------------------------------------
// A web process that ends

struct Recovery {
  gint64 reloaded_at = 0;  // monotonic time of the last reload after an end; 0: none
};

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

void OnWebProcessTerminated(WebKitWebView* view, WebKitWebProcessTerminationReason reason,
                            gpointer data) {
  if (reason == WEBKIT_WEB_PROCESS_TERMINATED_BY_API) return;  // never asked for by this program
  auto* recovery = static_cast<Recovery*>(data);
  const char* uri = webkit_web_view_get_uri(view);
  const std::string address = uri != nullptr ? uri : "";
  const gint64 now = g_get_monotonic_time();
  if (!address.empty() &&
      (recovery->reloaded_at == 0 || now - recovery->reloaded_at > kRecoveryMicroseconds)) {
    recovery->reloaded_at = now;
    webkit_web_view_reload(view);
    return;
  }
  // The reader's own Reload on the notice starts afresh: a later end is tried again once.
  recovery->reloaded_at = 0;
  ShowStoppedPage(view, address);
}

// ---------------------------------------------------------------------------------------------
// Downloads

// Temporary files of downloads under way, removed if the program ends before they complete.
class Temporaries {
 public:
  ~Temporaries() {
    for (const std::string& path : paths_) g_unlink(path.c_str());
  }
  void Add(const std::string& path) { paths_.insert(path); }
  void Remove(const std::string& path) {
    g_unlink(path.c_str());
    paths_.erase(path);
  }
  void Forget(const std::string& path) { paths_.erase(path); }

 private:
  std::set<std::string> paths_;
};

Temporaries& UnderWay() {
  static Temporaries temporaries;
  return temporaries;
}

struct Download {
  GtkWindow* parent = nullptr;  // weak: cleared when the window goes
  std::string destination;      // chosen by the reader
  std::string temporary;        // beside it, written by the engine
  bool failed = false;

  ~Download() {
    if (parent != nullptr) g_object_remove_weak_pointer(G_OBJECT(parent), ParentSlot());
  }
  void SetParent(GtkWindow* window) {
    parent = window;
    if (parent != nullptr) g_object_add_weak_pointer(G_OBJECT(parent), ParentSlot());
  }
  gpointer* ParentSlot() { return reinterpret_cast<gpointer*>(&parent); }
};

constexpr char kDownloadKey[] = "vellum-download";

Download* StateOf(WebKitDownload* download) {
  return static_cast<Download*>(g_object_get_data(G_OBJECT(download), kDownloadKey));
}

void ReportFailure(Download& state) {
  const std::string name = DisplayName(state.destination.c_str());
  ShowMessage(state.parent, GTK_MESSAGE_ERROR, "The download failed.", name.c_str());
}

// The reader's Downloads folder, or the home folder where there is none.
const char* DownloadsFolder() {
  const char* folder = g_get_user_special_dir(G_USER_DIRECTORY_DOWNLOAD);
  if (folder != nullptr && g_file_test(folder, G_FILE_TEST_IS_DIR)) return folder;
  return g_get_home_dir();
}

// Starts writing `download` to a new temporary file beside `destination`; false when none can
// be made there.
bool WriteBeside(WebKitDownload* download, Download& state, const std::string& destination) {
  gchar* folder = g_path_get_dirname(destination.c_str());
  gchar* base = g_path_get_basename(destination.c_str());
  gchar* name = g_strdup_printf(".%s.XXXXXX.part", base);
  gchar* pattern = g_build_filename(folder, name, nullptr);
  g_free(name);
  g_free(base);
  g_free(folder);
  // Made now, so that no other file can take the name; the engine then writes over it.
  const int fd = g_mkstemp_full(pattern, O_RDWR | O_CLOEXEC, 0666);
  const bool made = fd >= 0;
  if (made) {
    g_close(fd, nullptr);
    state.temporary = pattern;
    UnderWay().Add(state.temporary);
    gchar* uri = g_filename_to_uri(pattern, nullptr, nullptr);
    webkit_download_set_allow_overwrite(download, TRUE);
    webkit_download_set_destination(download, uri);
    g_free(uri);
  }
  g_free(pattern);
  return made;
}

void OnChooserResponse(GtkNativeDialog* chooser, gint response, gpointer data) {
  auto* download = static_cast<WebKitDownload*>(data);
  Download* state = StateOf(download);
  gchar* path = nullptr;
  if (response == GTK_RESPONSE_ACCEPT) {
    GFile* file = gtk_file_chooser_get_file(As<GtkFileChooser>(chooser));
    if (file != nullptr) {
      path = g_file_get_path(file);
      g_object_unref(file);
    }
  }
  if (state->failed) {
    // It failed while the reader was choosing: nothing to write.
    if (path != nullptr) {
      state->destination = path;
      ReportFailure(*state);
    }
  } else if (path == nullptr) {
    webkit_download_cancel(download);
  } else {
    state->destination = path;
    if (!WriteBeside(download, *state, state->destination)) {
      state->failed = true;
      webkit_download_cancel(download);
      ReportFailure(*state);
    }
  }
  g_free(path);
  g_object_unref(chooser);
  g_object_unref(download);
}

gboolean OnDecideDestination(WebKitDownload* download, gchar* suggested_name, gpointer) {
  Download* state = StateOf(download);
  GtkFileChooserNative* chooser = gtk_file_chooser_native_new(
      "Save File", state->parent, GTK_FILE_CHOOSER_ACTION_SAVE, "_Save", "_Cancel");
  GtkFileChooser* file_chooser = As<GtkFileChooser>(chooser);
  gtk_native_dialog_set_modal(As<GtkNativeDialog>(chooser), TRUE);
  gtk_file_chooser_set_do_overwrite_confirmation(file_chooser, TRUE);
  gtk_file_chooser_set_current_folder(file_chooser, DownloadsFolder());
  const bool named = suggested_name != nullptr && *suggested_name != '\0';
  gtk_file_chooser_set_current_name(file_chooser, named ? suggested_name : "download");
  // The download waits, holding its place, until the reader answers.
  g_signal_connect(chooser, "response", Callback(OnChooserResponse), g_object_ref(download));
  gtk_native_dialog_show(As<GtkNativeDialog>(chooser));
  return TRUE;
}

void OnDownloadFailed(WebKitDownload* download, GError* error, gpointer) {
  Download* state = StateOf(download);
  const bool already_failed = std::exchange(state->failed, true);
  if (!state->temporary.empty()) UnderWay().Remove(std::exchange(state->temporary, {}));
  if (already_failed) return;
  if (!g_error_matches(error, WEBKIT_DOWNLOAD_ERROR, WEBKIT_DOWNLOAD_ERROR_CANCELLED_BY_USER) &&
      !state->destination.empty()) {
    ReportFailure(*state);
  }
}

// Also emitted after a failure.
void OnDownloadFinished(WebKitDownload* download, gpointer) {
  Download* state = StateOf(download);
  if (state->failed || state->temporary.empty()) return;
  if (g_rename(state->temporary.c_str(), state->destination.c_str()) == 0) {
    UnderWay().Forget(state->temporary);
  } else {
    UnderWay().Remove(state->temporary);
    ReportFailure(*state);
  }
  state->temporary.clear();
}

void OnDownloadStarted(WebKitWebContext*, WebKitDownload* download, gpointer) {
  auto* state = new Download;
  state->SetParent(WindowOf(webkit_download_get_web_view(download)));
  g_object_set_data_full(G_OBJECT(download), kDownloadKey, state,
                         [](gpointer data) { delete static_cast<Download*>(data); });
  g_signal_connect(download, "decide-destination", Callback(OnDecideDestination), nullptr);
  g_signal_connect(download, "failed", Callback(OnDownloadFailed), nullptr);
  g_signal_connect(download, "finished", Callback(OnDownloadFinished), nullptr);
}

}  // namespace

void AttachPageServices(WebKitWebView* view) {
  auto* recovery = new Recovery;
  g_object_set_data_full(G_OBJECT(view), "vellum-recovery", recovery,
                         [](gpointer data) { delete static_cast<Recovery*>(data); });
  g_signal_connect(view, "decide-policy", Callback(OnDecidePolicy), nullptr);
  g_signal_connect(view, "web-process-terminated", Callback(OnWebProcessTerminated), recovery);
}

void AttachDownloads(WebKitWebContext* context) {
  g_signal_connect(context, "download-started", Callback(OnDownloadStarted), nullptr);
}

}  // namespace vellum::platform::gtk
