// SPDX-License-Identifier: MIT
// Downloads: the reader chooses where; WebKit writes the file.
#include <gtk/gtk.h>
#include <unistd.h>

#include <string>
#include <utility>

#include "platform/gtk/gobject_cast.h"
#include "platform/gtk/page_services.h"
#include "platform/gtk/page_window.h"

namespace vellum::platform::gtk {

namespace {

constexpr char kDownloadKey[] = "vellum-download";
// What WebKit adds to a download's name while it writes it.
constexpr char kPartialSuffix[] = ".wkdownload";

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

Download* StateOf(WebKitDownload* download) {
  return static_cast<Download*>(g_object_get_data(G_OBJECT(download), kDownloadKey));
}

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

void OnChooserResponse(GtkNativeDialog* chooser, gint response, gpointer data) {
  auto* download = static_cast<WebKitDownload*>(data);
  Download* state = StateOf(download);
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
  if (PageWindow* page = PageWindowOf(state->parent)) ReleaseDownload(*page, download);
  g_object_unref(download);
}

gboolean OnDecideDestination(WebKitDownload* download, gchar* suggested_name, gpointer) {
  Download* state = StateOf(download);
  state->app.Guarded([&] {
    PageWindow* page = PageWindowOf(state->parent);
    if (page != nullptr && page->download != download) {
      if (page->Busy()) {
        CountMore(*page);
        webkit_download_cancel(download);
        return;
      }
      page->download = As<WebKitDownload>(g_object_ref(download));
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
  Download* state = StateOf(download);
  state->app.Guarded([&] {
    const bool already_failed = std::exchange(state->failed, true);
    if (!already_failed && error != nullptr) state->reason = error->message;
    // A download the reader chose to save fails before its Save dialog: the window is free again.
    PageWindow* page = PageWindowOf(state->parent);
    if (page != nullptr && state->chooser == nullptr) ReleaseDownload(*page, download);
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
    PageWindow* page = AskingWindow(webkit_download_get_web_view(download));
    auto* state = new Download(*app, page != nullptr ? page->window : nullptr);
    g_object_set_data_full(G_OBJECT(download), kDownloadKey, state,
                           [](gpointer kept) { delete static_cast<Download*>(kept); });
    g_signal_connect(download, "decide-destination", Callback(OnDecideDestination), nullptr);
    g_signal_connect(download, "failed", Callback(OnDownloadFailed), nullptr);
  });
}

}  // namespace

void CloseSaveDialog(WebKitDownload* download) {
  Download* state = StateOf(download);
  if (state == nullptr || state->chooser == nullptr) return;
  GtkFileChooserNative* chooser = std::exchange(state->chooser, nullptr);
  g_signal_handlers_disconnect_by_data(chooser, download);
  gtk_native_dialog_destroy(As<GtkNativeDialog>(chooser));
  g_object_unref(chooser);
  g_object_unref(download);  // held for the dialog's answer
}

void AttachDownloads(Application& app, WebKitWebContext* context) {
  g_signal_connect(context, "download-started", Callback(OnDownloadStarted), &app);
}

}  // namespace vellum::platform::gtk
