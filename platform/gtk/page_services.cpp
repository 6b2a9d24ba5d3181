// SPDX-License-Identifier: MIT
#include "platform/gtk/page_services.h"

#include <gtk/gtk.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "platform/gtk/gobject_cast.h"
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
constexpr char kPageKey[] = "vellum-page";
constexpr char kSlotKey[] = "vellum-dialog-slot";
constexpr char kDownloadKey[] = "vellum-download";
constexpr char kEndingKey[] = "vellum-ending";
// What WebKit adds to a download's name while it writes it.
constexpr char kPartialSuffix[] = ".wkdownload";

enum Answer : gint { kSave = 1, kOpen = 2 };

template <typename Data>
Data* DataOf(gpointer object, const char* key) {
  return object != nullptr ? static_cast<Data*>(g_object_get_data(G_OBJECT(object), key)) : nullptr;
}

template <typename Data>
void Keep(gpointer object, const char* key, Data* data) {
  g_object_set_data_full(G_OBJECT(object), key, data,
                         [](gpointer kept) { delete static_cast<Data*>(kept); });
}

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

// A dialog over `parent` that goes with it. Never modal: a modal dialog would swallow every
// close request of the program's other windows.
void Place(GtkWidget* dialog, GtkWindow* parent) {
  GtkWindow* window = As<GtkWindow>(dialog);
  gtk_window_set_transient_for(window, parent);
  gtk_window_set_destroy_with_parent(window, TRUE);
  gtk_window_set_title(window, BookTitle(parent));
}

// A message for the reader, over `parent`, that waits for OK without holding up the page.
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

// ---------------------------------------------------------------------------------------------
// What a view's page has done so far

struct Page {
  Application& app;
  std::string first_address;  // the first the view was asked to load
  bool committed = false;     // a page has begun to show
  gint64 reloaded_at = 0;     // monotonic time of the last recovery after an end; 0: none
};

// A popup that has shown nothing yet: what it was opened for is handed elsewhere.
bool IsFreshPopup(WebKitWebView* view) {
  GtkWindow* window = WindowOf(view);
  const Page* page = DataOf<Page>(view, kPageKey);
  return window != nullptr && gtk_window_get_transient_for(window) != nullptr && page != nullptr &&
         !page->committed;
}

// Closes a popup whose page had nothing to show, once the current handler has returned.
void ClosePopup(Application& app, WebKitWebView* view) {
  std::shared_ptr<WebKitWebView> kept(As<WebKitWebView>(g_object_ref(view)), g_object_unref);
  app.Post([kept] { webkit_web_view_try_close(kept.get()); });
}

// ---------------------------------------------------------------------------------------------
// The one question or Save dialog of a window

struct Slot {
  Application& app;
  GtkWindow* window;
  WebKitWebView* view;                 // the window's own
  GtkWidget* question = nullptr;       // open question
  GtkLabel* more_label = nullptr;      // in the question
  WebKitDownload* download = nullptr;  // held: its Save dialog is open or to come
  int more = 0;                        // requests dropped while the question is open
  bool closed = false;                 // the window is gone

  bool Busy() const { return closed || question != nullptr || download != nullptr; }
};

Slot* SlotOf(GtkWindow* window) { return DataOf<Slot>(window, kSlotKey); }

// A request that came while the slot was busy: dropped, and counted in an open question.
void CountMore(Slot& slot) {
  ++slot.more;
  if (slot.more_label == nullptr) return;
  gchar* text = slot.more == 1 ? g_strdup("1 more file was asked for.")
                               : g_strdup_printf("%d more files were asked for.", slot.more);
  gtk_label_set_text(slot.more_label, text);
  gtk_widget_show(As<GtkWidget>(slot.more_label));
  g_free(text);
}

void ReleaseDownload(Slot& slot, WebKitDownload* download) {
  if (slot.download != download) return;
  slot.download = nullptr;
  g_object_unref(download);
}

void CloseSaveDialog(WebKitDownload* download);

// The window is going: so does whatever its slot holds.
void OnSlotWindowDestroy(GtkWidget*, gpointer data) {
  auto* slot = static_cast<Slot*>(data);
  slot->app.Guarded([&] {
    slot->closed = true;
    if (slot->question != nullptr) gtk_widget_destroy(slot->question);
    if (WebKitDownload* download = std::exchange(slot->download, nullptr)) {
      CloseSaveDialog(download);
      webkit_download_cancel(download);
      g_object_unref(download);
    }
  });
}

// ---------------------------------------------------------------------------------------------
// Files the view cannot show

struct Question {
  Slot& slot;
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

void Open(Slot& slot, const Question& question) {
  GdkAppLaunchContext* launch =
      gdk_display_get_app_launch_context(gtk_widget_get_display(As<GtkWidget>(slot.window)));
  GList uris{const_cast<char*>(question.uri.c_str()), nullptr, nullptr};
  GError* error = nullptr;
  const bool opened = g_app_info_launch_uris(question.application, &uris,
                                             As<GAppLaunchContext>(launch), &error) != FALSE;
  g_object_unref(launch);
  if (opened) return;
  std::string detail = DisplayName(question.uri.c_str());
  if (error != nullptr) detail += "\n" + std::string(error->message);
  g_clear_error(&error);
  ShowMessage(slot.window, GTK_MESSAGE_ERROR, "This file could not be opened.", detail);
}

void OnQuestionResponse(GtkDialog* dialog, gint response, gpointer data) {
  auto* question = static_cast<Question*>(data);
  Slot& slot = question->slot;
  slot.app.Guarded([&] {
    // Kept past the dialog, which frees the question with it.
    const std::unique_ptr<Question> answered(new Question{slot, question->uri, nullptr});
    std::swap(answered->application, question->application);
    gtk_widget_destroy(As<GtkWidget>(dialog));
    if (response == kOpen && answered->application != nullptr) Open(slot, *answered);
    if (response == kSave && !slot.Busy()) {
      // Its Save dialog opens in this slot once WebKit has the file's name.
      slot.download = webkit_web_view_download_uri(slot.view, answered->uri.c_str());
    }
  });
}

void OnQuestionDestroy(GtkWidget*, gpointer data) {
  auto* slot = static_cast<Slot*>(data);
  slot->app.Guarded([&] {
    slot->question = nullptr;
    slot->more_label = nullptr;
    slot->more = 0;
  });
}

// Asks the reader, in `slot`'s window, what to do with the local file at `uri`, which the view
// took for `mime_type`.
void Ask(Slot& slot, const char* uri, const char* mime_type) {
  if (slot.Busy()) {
    CountMore(slot);
    return;
  }
  gchar* path = g_filename_from_uri(uri, nullptr, nullptr);
  if (path == nullptr) return;  // a file: URI always has a path
  auto* question = new Question{slot, uri, nullptr};
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
  Place(dialog, slot.window);
  slot.question = dialog;
  slot.more_label = As<GtkLabel>(more);
  g_signal_connect(dialog, "destroy", Callback(OnQuestionDestroy), &slot);
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
  auto* page = static_cast<Page*>(data);
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
    GtkWindow* window = WindowOf(view);
    if (IsFreshPopup(view)) {
      window = gtk_window_get_transient_for(window);
      ClosePopup(page->app, view);
    }
    if (Slot* slot = SlotOf(window)) Ask(*slot, file.c_str(), mime_type);
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

void NoteAddress(WebKitWebView* view, Page& page) {
  const char* uri = webkit_web_view_get_uri(view);
  if (page.first_address.empty() && uri != nullptr) page.first_address = uri;
}

void OnUriChanged(WebKitWebView* view, GParamSpec*, gpointer data) {
  auto* page = static_cast<Page*>(data);
  page->app.Guarded([&] { NoteAddress(view, *page); });
}

void OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
  auto* page = static_cast<Page*>(data);
  page->app.Guarded([&] {
    if (event == WEBKIT_LOAD_COMMITTED) page->committed = true;
  });
}

void OnWebProcessTerminated(WebKitWebView* view, WebKitWebProcessTerminationReason reason,
                            gpointer data) {
  // Asked for as the program ends (EndWebProcess).
  if (reason == WEBKIT_WEB_PROCESS_TERMINATED_BY_API) return;
  if (DataOf<void>(webkit_web_view_get_context(view), kEndingKey) != nullptr) return;
  auto* page = static_cast<Page*>(data);
  page->app.Guarded([&] {
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

// ---------------------------------------------------------------------------------------------
// Downloads

struct Download {
  Application& app;
  GtkWindow* parent = nullptr;              // weak: cleared when the window goes
  GtkFileChooserNative* chooser = nullptr;  // the open Save dialog
  std::string destination;                  // chosen by the reader
  std::string reason;                       // the system's, when it failed
  bool failed = false;

  explicit Download(Application& application, GtkWindow* window) : app(application) {
    parent = window;
    if (parent != nullptr) g_object_add_weak_pointer(G_OBJECT(parent), ParentSlot());
  }
  ~Download() {
    if (parent != nullptr) g_object_remove_weak_pointer(G_OBJECT(parent), ParentSlot());
  }
  Download(const Download&) = delete;
  Download& operator=(const Download&) = delete;
  gpointer* ParentSlot() { return reinterpret_cast<gpointer*>(&parent); }
};

// The system's reason in one of WebKit's messages, which name WebKit's partial file before it
// ("Error opening file “…/name.wkdownload”: No space left on device").
std::string SystemReason(const std::string& message) {
  for (const char* before : {"”: ", ": "}) {
    const std::size_t at = message.rfind(before);
    if (at != std::string::npos) return message.substr(at + std::string(before).size());
  }
  return message;
}

void ReportFailure(const Download& state) {
  std::string detail = DisplayName(state.destination.c_str());
  if (!state.reason.empty()) detail += "\n" + SystemReason(state.reason);
  ShowMessage(state.parent, GTK_MESSAGE_ERROR, "The download failed.", detail);
}

// The reader's Downloads folder, or the home folder where there is none.
const char* DownloadsFolder() {
  const char* folder = g_get_user_special_dir(G_USER_DIRECTORY_DOWNLOAD);
  if (folder != nullptr && g_file_test(folder, G_FILE_TEST_IS_DIR)) return folder;
  return g_get_home_dir();
}

// `name` cut to at most `limit` bytes, keeping its extension and whole UTF-8 characters.
std::string FitName(const std::string& name, std::size_t limit) {
  if (name.size() <= limit) return name;
  constexpr std::size_t kLongestExtension = 16;
  const std::size_t dot = name.rfind('.');
  std::string extension;
  if (dot != std::string::npos && dot > 0 && name.size() - dot <= kLongestExtension) {
    extension = name.substr(dot);
  }
  std::size_t keep = limit - extension.size();
  while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
  return name.substr(0, keep) + extension;
}

// The longest name a download may have in `folder`, with WebKit's partial-file suffix.
std::size_t LongestName(const char* folder) {
  const long most = pathconf(folder, _PC_NAME_MAX);
  const std::size_t limit = most > 0 ? static_cast<std::size_t>(most) : 255;
  return limit - (sizeof kPartialSuffix - 1);
}

void CloseSaveDialog(WebKitDownload* download) {
  Download* state = DataOf<Download>(download, kDownloadKey);
  if (state == nullptr || state->chooser == nullptr) return;
  GtkFileChooserNative* chooser = std::exchange(state->chooser, nullptr);
  g_signal_handlers_disconnect_by_data(chooser, download);
  gtk_native_dialog_destroy(As<GtkNativeDialog>(chooser));
  g_object_unref(chooser);
  g_object_unref(download);  // held for the dialog's answer
}

void OnChooserResponse(GtkNativeDialog* chooser, gint response, gpointer data) {
  auto* download = static_cast<WebKitDownload*>(data);
  Download* state = DataOf<Download>(download, kDownloadKey);
  state->app.Guarded([&] {
    gchar* path = nullptr;
    if (response == GTK_RESPONSE_ACCEPT) {
      GFile* file = gtk_file_chooser_get_file(As<GtkFileChooser>(chooser));
      if (file != nullptr) {
        path = g_file_get_path(file);
        g_object_unref(file);
      }
    }
    if (path != nullptr) state->destination = path;
    g_free(path);
    if (state->failed) {
      // It failed while the reader was choosing: nothing to write.
      if (!state->destination.empty()) ReportFailure(*state);
    } else if (state->destination.empty()) {
      webkit_download_cancel(download);
    } else {
      // The chooser has asked before replacing a file.
      gchar* uri = g_filename_to_uri(state->destination.c_str(), nullptr, nullptr);
      webkit_download_set_allow_overwrite(download, TRUE);
      webkit_download_set_destination(download, uri);
      g_free(uri);
    }
  });
  g_object_ref(download);  // past CloseSaveDialog
  CloseSaveDialog(download);
  if (Slot* slot = SlotOf(state->parent)) ReleaseDownload(*slot, download);
  g_object_unref(download);
}

gboolean OnDecideDestination(WebKitDownload* download, gchar* suggested_name, gpointer) {
  Download* state = DataOf<Download>(download, kDownloadKey);
  state->app.Guarded([&] {
    Slot* slot = SlotOf(state->parent);
    if (slot != nullptr && slot->download != download) {
      if (slot->Busy()) {
        CountMore(*slot);
        webkit_download_cancel(download);
        return;
      }
      slot->download = As<WebKitDownload>(g_object_ref(download));
    }
    GtkFileChooserNative* chooser = gtk_file_chooser_native_new(
        "Save File", state->parent, GTK_FILE_CHOOSER_ACTION_SAVE, "_Save", "_Cancel");
    state->chooser = chooser;
    GtkFileChooser* file_chooser = As<GtkFileChooser>(chooser);
    gtk_native_dialog_set_modal(As<GtkNativeDialog>(chooser), FALSE);
    gtk_file_chooser_set_do_overwrite_confirmation(file_chooser, TRUE);
    const char* folder = DownloadsFolder();
    gtk_file_chooser_set_current_folder(file_chooser, folder);
    const bool named = suggested_name != nullptr && *suggested_name != '\0';
    const std::string name = FitName(named ? suggested_name : "download", LongestName(folder));
    gtk_file_chooser_set_current_name(file_chooser, name.c_str());
    // The download waits, holding its place, until the reader answers.
    g_signal_connect(chooser, "response", Callback(OnChooserResponse), g_object_ref(download));
    gtk_native_dialog_show(As<GtkNativeDialog>(chooser));
  });
  return TRUE;
}

void OnDownloadFailed(WebKitDownload* download, GError* error, gpointer) {
  Download* state = DataOf<Download>(download, kDownloadKey);
  state->app.Guarded([&] {
    const bool already_failed = std::exchange(state->failed, true);
    if (!already_failed && error != nullptr) state->reason = error->message;
    // A download the reader chose to save fails before its Save dialog: the slot is free again.
    Slot* slot = SlotOf(state->parent);
    if (slot != nullptr && state->chooser == nullptr) ReleaseDownload(*slot, download);
    if (already_failed) return;
    if (!g_error_matches(error, WEBKIT_DOWNLOAD_ERROR, WEBKIT_DOWNLOAD_ERROR_CANCELLED_BY_USER) &&
        !state->destination.empty()) {
      ReportFailure(*state);
    }
  });
}

void OnDownloadStarted(WebKitWebContext*, WebKitDownload* download, gpointer data) {
  auto* app = static_cast<Application*>(data);
  app->Guarded([&] {
    WebKitWebView* view = webkit_download_get_web_view(download);
    GtkWindow* window = WindowOf(view);
    if (IsFreshPopup(view)) {
      window = gtk_window_get_transient_for(window);
      ClosePopup(*app, view);
    }
    Keep(download, kDownloadKey, new Download(*app, window));
    g_signal_connect(download, "decide-destination", Callback(OnDecideDestination), nullptr);
    g_signal_connect(download, "failed", Callback(OnDownloadFailed), nullptr);
  });
}

}  // namespace

void AttachPageServices(Application& app, WebKitWebView* view) {
  auto* page = new Page{app, {}, false, 0};
  Keep(view, kPageKey, page);
  GtkWindow* window = WindowOf(view);
  auto* slot = new Slot{app, window, view, nullptr, nullptr, nullptr, 0, false};
  Keep(window, kSlotKey, slot);
  g_signal_connect(window, "destroy", Callback(OnSlotWindowDestroy), slot);
  g_signal_connect(view, "decide-policy", Callback(OnDecidePolicy), page);
  g_signal_connect(view, "notify::uri", Callback(OnUriChanged), page);
  g_signal_connect(view, "load-changed", Callback(OnLoadChanged), page);
  g_signal_connect(view, "web-process-terminated", Callback(OnWebProcessTerminated), page);
}

void AttachDownloads(Application& app, WebKitWebContext* context) {
  g_signal_connect(context, "download-started", Callback(OnDownloadStarted), &app);
}

void EndWebProcess(WebKitWebView* view) {
  g_object_set_data(G_OBJECT(webkit_web_view_get_context(view)), kEndingKey, view);
  webkit_web_view_terminate_web_process(view);
}

}  // namespace vellum::platform::gtk
