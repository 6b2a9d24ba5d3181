// SPDX-License-Identifier: MIT
// The Linux backend: GTK 3 windows, each holding one WebKitGTK view, and GLib's main loop.
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/gtk/gobject_cast.h"
#include "platform/gtk/page_services.h"
#include "platform/gtk/reader_actions.h"
#include "platform/gtk/x11_frame.h"
#include "platform/platform.h"
#include "text/text.h"

namespace vellum::platform::gtk {

using text::DisplayText;
using text::ReadAsUtf8;

namespace {

int ScaledToScreen(int design) {
  double dpi = gdk_screen_get_resolution(gdk_screen_get_default());
  if (dpi <= 0) dpi = 96;
  return static_cast<int>(std::lround(design * dpi / 96));
}

class ViewerWindow;

class ViewerApp final : public Application {
 public:
  ViewerApp();
  ~ViewerApp() override;

  std::unique_ptr<Window> CreateViewerWindow(WindowEvents& events, Window* owner) override;
  Path ProgramPath() override { return program_path_; }
  ShowState StartupShowState() override { return ShowState::Normal; }
  void ShowMessageBox(const Bytes& caption, const Bytes& text, BoxIcon icon) override;
  void Run() override;
  void Terminate() override;
  void Post(std::function<void()> task) override;

  WebKitWebContext* context() const { return context_; }
  // True once the message loop has ended for good: the program is ending.
  bool ended() const { return ended_; }
  WebKitSettings* settings() const { return settings_; }

  void Register(ViewerWindow* window) { windows_.push_back(window); }
  void Forget(ViewerWindow* window);

 private:
  static gboolean RunPosted(gpointer self);
  void EndWebProcesses();

  Path program_path_;
  WebKitWebContext* context_ = nullptr;
  WebKitSettings* settings_ = nullptr;
  GMainLoop* loop_ = nullptr;
  bool terminated_ = false;
  bool ended_ = false;
  std::deque<std::function<void()>> posted_;
  guint idle_source_ = 0;
  std::vector<ViewerWindow*> windows_;  // alive, in creation order
};

// A GtkWindow > vertical GtkBox > WebKitWebView.
class ViewerWindow final : public Window, public Browser {
 public:
  ViewerWindow(ViewerApp& app, WindowEvents& events, ViewerWindow* owner);
  ~ViewerWindow() override;

  Browser& browser() override { return *this; }
  void NavigateToFile(const Path& path) override;

  WebKitWebView* view() const { return view_; }

 private:
  void SetTitleImpl(const Bytes& title) override;
  void ShowImpl(ShowState state) override;
  void HideImpl() override;
  void MaximizeImpl() override;
  void SetOuterHeightImpl(int height) override;
  void SetOuterWidthImpl(int width) override;
  void SetBorderImpl(Border border) override;

  void Appear();
  void ApplyOuterSize();
  void ApplyFixedFunctions();
  GtkWidget* AnswerNewWindow();

  // Toolkit signal handlers.
  static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer self);
  static void OnRealize(GtkWidget*, gpointer self);
  static gboolean OnProperty(GtkWidget*, GdkEventProperty* event, gpointer self);
  static GtkWidget* OnCreate(WebKitWebView*, WebKitNavigationAction*, gpointer self);
  static void OnClose(WebKitWebView*, gpointer self);

  ViewerApp& app_;
  GtkWidget* window_ = nullptr;
  GtkWidget* content_ = nullptr;
  WebKitWebView* view_ = nullptr;
  WebKitWebView* related_ = nullptr;  // the view whose page asked for this window
  bool fixed_ = false;
  // The outer size asked for, kept until the window manager's frame is known.
  std::optional<int> outer_width_;
  std::optional<int> outer_height_;
};

// ---------------------------------------------------------------------------------------------
// ViewerWindow

ViewerWindow::ViewerWindow(ViewerApp& app, WindowEvents& events, ViewerWindow* owner)
    : Window(app, events), app_(app) {
  if (owner != nullptr) {
    related_ = owner->view_;
    // Shares the asking view's web process, context and settings, as WebKit requires of a view
    // that answers a new-window request.
    view_ = As<WebKitWebView>(webkit_web_view_new_with_related_view(related_));
  } else {
    view_ = As<WebKitWebView>(webkit_web_view_new_with_context(app.context()));
    webkit_web_view_set_settings(view_, app.settings());
  }
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWindow* window = As<GtkWindow>(window_);
  gtk_window_set_title(window, kDesignTitle);
  gtk_window_set_default_size(window, ScaledToScreen(kDesignClientWidth),
                              ScaledToScreen(kDesignClientHeight));
  if (owner != nullptr) gtk_window_set_transient_for(window, As<GtkWindow>(owner->window_));

  content_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_container_add(As<GtkContainer>(window_), content_);
  gtk_box_pack_start(As<GtkBox>(content_), As<GtkWidget>(view_), TRUE, TRUE, 0);
  gtk_widget_show(content_);
  gtk_widget_show(As<GtkWidget>(view_));
  AttachReaderActions(window, As<GtkBox>(content_), view_);
  AttachPageServices(app_, view_);

  gtk_widget_add_events(window_, GDK_PROPERTY_CHANGE_MASK);
  g_signal_connect(window_, "delete-event", Callback(OnDelete), this);
  g_signal_connect_after(window_, "realize", Callback(OnRealize), this);
  g_signal_connect(window_, "property-notify-event", Callback(OnProperty), this);
  g_signal_connect(view_, "create", Callback(OnCreate), this);
  g_signal_connect(view_, "close", Callback(OnClose), this);
  app_.Register(this);
}

ViewerWindow::~ViewerWindow() {
  app_.Forget(this);
  g_signal_handlers_disconnect_by_data(view_, this);
  g_signal_handlers_disconnect_by_data(window_, this);
  // When the program ends, its windows go with the process, all at once: taken down one by one,
  // each with its view, they would cost milliseconds apiece, seconds for many popups.
  if (!app_.ended()) gtk_widget_destroy(window_);
}

void ViewerWindow::NavigateToFile(const Path& file) {
  // WebKit reads a file URL's path as UTF-8 and loads nothing at all, not even its own error
  // page, for one that is not: such a path is asked for as the display reads it, so that the
  // reader sees the page or WebKit's "file not found" page, never an empty window.
  const std::string path = ReadAsUtf8(file.native());
  GError* error = nullptr;
  gchar* uri = g_filename_to_uri(path.c_str(), nullptr, &error);
  if (uri == nullptr) {
    std::string why = error != nullptr ? error->message : "Cannot open " + DisplayText(path);
    g_clear_error(&error);
    throw PlatformError(why);
  }
  webkit_web_view_load_uri(view_, uri);
  g_free(uri);
}

void ViewerWindow::SetTitleImpl(const Bytes& title) {
  gtk_window_set_title(As<GtkWindow>(window_), DisplayText(title).c_str());
}

void ViewerWindow::ShowImpl(ShowState state) {
  GtkWindow* window = As<GtkWindow>(window_);
  if (state == ShowState::Maximized) gtk_window_maximize(window);
  if (state == ShowState::Minimized) gtk_window_iconify(window);
  gtk_widget_realize(window_);
  // A popup appears here too, while the page's request for it is still being answered, rather
  // than on WebKit's ready-to-show: a view whose window is already on the screen starts loading
  // at once, where one that waits to be shown can wait half a second before its load starts.
  Appear();
}

void ViewerWindow::Appear() {
  gtk_widget_grab_focus(As<GtkWidget>(view_));
  gtk_window_present(As<GtkWindow>(window_));
}

void ViewerWindow::HideImpl() { gtk_widget_hide(window_); }

void ViewerWindow::MaximizeImpl() { gtk_window_maximize(As<GtkWindow>(window_)); }

void ViewerWindow::SetOuterHeightImpl(int height) {
  outer_height_ = height;
  ApplyOuterSize();
}

void ViewerWindow::SetOuterWidthImpl(int width) {
  outer_width_ = width;
  ApplyOuterSize();
}

namespace {

// What the reader can see of the monitor `window` is on, or opens on (the primary one).
std::optional<GdkRectangle> VisibleArea(GtkWidget* window) {
  GdkDisplay* display = gtk_widget_get_display(window);
  GdkWindow* native = gtk_widget_get_window(window);
  GdkMonitor* monitor =
      native != nullptr ? gdk_display_get_monitor_at_window(display, native) : nullptr;
  if (monitor == nullptr) monitor = gdk_display_get_primary_monitor(display);
  if (monitor == nullptr) monitor = gdk_display_get_monitor(display, 0);
  if (monitor == nullptr) return std::nullopt;
  GdkRectangle area{};
  gdk_monitor_get_workarea(monitor, &area);
  if (area.width <= 0 || area.height <= 0) gdk_monitor_get_geometry(monitor, &area);
  if (area.width <= 0 || area.height <= 0) return std::nullopt;
  return area;
}

}  // namespace

// GTK sizes the client area; the frame is the window manager's, and known only once it has
// taken the window on. Until then the frame counts as nothing, and the size is set again when
// the window manager tells. As Windows limits a window to about the screen, the outer size is
// at most what the reader can see of the monitor.
void ViewerWindow::ApplyOuterSize() {
  if (!outer_width_ && !outer_height_) return;
  const std::optional<FrameExtents> extents = ReadFrameExtents(gtk_widget_get_window(window_));
  const FrameExtents frame = extents.value_or(FrameExtents{});
  const std::optional<GdkRectangle> area = VisibleArea(window_);
  int width = 0;
  int height = 0;
  gtk_window_get_size(As<GtkWindow>(window_), &width, &height);
  if (outer_width_) {
    const int outer = area ? std::min(*outer_width_, area->width) : *outer_width_;
    width = std::max(1, outer - frame.left - frame.right);
  }
  if (outer_height_) {
    const int outer = area ? std::min(*outer_height_, area->height) : *outer_height_;
    height = std::max(1, outer - frame.top - frame.bottom);
  }
  // A window that cannot be resized keeps the larger of its default size and its requested one.
  gtk_window_set_default_size(As<GtkWindow>(window_), width, height);
  gtk_window_resize(As<GtkWindow>(window_), width, height);
  if (extents) {
    outer_width_.reset();
    outer_height_.reset();
  }
}

void ViewerWindow::SetBorderImpl(Border border) {
  fixed_ = border == Border::FixedDialog;
  GtkWindow* window = As<GtkWindow>(window_);
  gtk_window_set_resizable(window, fixed_ ? FALSE : TRUE);
  gtk_window_set_type_hint(window,
                           fixed_ ? GDK_WINDOW_TYPE_HINT_DIALOG : GDK_WINDOW_TYPE_HINT_NORMAL);
  ApplyFixedFunctions();
}

// Where the window manager honours it: no sizing, no minimize and no maximize.
void ViewerWindow::ApplyFixedFunctions() {
  GdkWindow* window = gtk_widget_get_window(window_);
  if (window == nullptr) return;
  if (fixed_) {
    gdk_window_set_functions(window, static_cast<GdkWMFunction>(GDK_FUNC_MOVE | GDK_FUNC_CLOSE));
    gdk_window_set_decorations(
        window, static_cast<GdkWMDecoration>(GDK_DECOR_BORDER | GDK_DECOR_TITLE | GDK_DECOR_MENU));
  } else {
    gdk_window_set_functions(window, GDK_FUNC_ALL);
    gdk_window_set_decorations(window, GDK_DECOR_ALL);
  }
}

GtkWidget* ViewerWindow::AnswerNewWindow() {
  Automation pp_disp;
  bool cancel = false;
  FireNewWindow(pp_disp, cancel);

  // WebKit takes the view of the window named, provided it was built for this page: it ends the
  // process when given any other.
  auto* answer = dynamic_cast<ViewerWindow*>(pp_disp.browser());
  if (cancel || answer == nullptr || answer->related_ != view_) return nullptr;
  return As<GtkWidget>(answer->view_);
}

gboolean ViewerWindow::OnDelete(GtkWidget*, GdkEvent*, gpointer self) {
  static_cast<ViewerWindow*>(self)->FireCloseRequest();
  return TRUE;  // the viewer decides what closing does
}

void ViewerWindow::OnRealize(GtkWidget*, gpointer self) {
  auto* window = static_cast<ViewerWindow*>(self);
  window->ApplyFixedFunctions();
  RequestFrameExtents(gtk_widget_get_window(window->window_));
}

gboolean ViewerWindow::OnProperty(GtkWidget*, GdkEventProperty* event, gpointer self) {
  if (IsFrameExtentsChange(*event)) {
    static_cast<ViewerWindow*>(self)->ApplyOuterSize();
  }
  return FALSE;
}

GtkWidget* ViewerWindow::OnCreate(WebKitWebView*, WebKitNavigationAction*, gpointer self) {
  auto* window = static_cast<ViewerWindow*>(self);
  GtkWidget* answer = nullptr;
  window->app_.Guarded([&] { answer = window->AnswerNewWindow(); });
  return answer;
}

void ViewerWindow::OnClose(WebKitWebView*, gpointer self) {
  static_cast<ViewerWindow*>(self)->FireCloseRequest();
}

// ---------------------------------------------------------------------------------------------
// ViewerApp

ViewerApp::ViewerApp() : program_path_(RunningProgramPath()) {
  // Nothing is kept between runs: no cookies, caches or local storage on disk.
  context_ = webkit_web_context_new_ephemeral();
  settings_ = webkit_settings_new();
  // Scripts may open windows without a click, and a page may read the files beside it; never
  // other origins.
  webkit_settings_set_javascript_can_open_windows_automatically(settings_, TRUE);
  webkit_settings_set_allow_file_access_from_file_urls(settings_, TRUE);
  webkit_settings_set_allow_universal_access_from_file_urls(settings_, FALSE);
  AttachDownloads(*this, context_);
}

ViewerApp::~ViewerApp() {
  if (idle_source_ != 0) g_source_remove(idle_source_);
  g_object_unref(settings_);
  g_object_unref(context_);
}

std::unique_ptr<Window> ViewerApp::CreateViewerWindow(WindowEvents& events, Window* owner) {
  return std::make_unique<ViewerWindow>(*this, events, static_cast<ViewerWindow*>(owner));
}

void ViewerApp::ShowMessageBox(const Bytes& caption, const Bytes& text, BoxIcon icon) {
  GtkWidget* dialog = gtk_message_dialog_new(
      nullptr, GTK_DIALOG_MODAL, icon == BoxIcon::Error ? GTK_MESSAGE_ERROR : GTK_MESSAGE_OTHER,
      GTK_BUTTONS_OK, "%s", DisplayText(text).c_str());
  GtkWindow* window = As<GtkWindow>(dialog);
  gtk_window_set_title(window, DisplayText(caption).c_str());
  gtk_window_set_position(window, GTK_WIN_POS_CENTER);
  if (icon == BoxIcon::Error) {
    // GTK 3 message dialogs show no icon of their own any more; the error report wants one.
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    GtkWidget* image = gtk_image_new_from_icon_name("dialog-error", GTK_ICON_SIZE_DIALOG);
    gtk_message_dialog_set_image(As<GtkMessageDialog>(dialog), image);
    gtk_widget_show(image);
    G_GNUC_END_IGNORE_DEPRECATIONS
  }
  gtk_dialog_run(As<GtkDialog>(dialog));
  gtk_widget_destroy(dialog);
}

void ViewerApp::Run() {
  if (!terminated_) {
    loop_ = g_main_loop_new(nullptr, FALSE);
    g_main_loop_run(loop_);
    g_main_loop_unref(std::exchange(loop_, nullptr));
  }
  EndWebProcesses();
  ended_ = true;
}

void ViewerApp::Terminate() {
  terminated_ = true;
  if (loop_ != nullptr) g_main_loop_quit(loop_);
}

// Ends the web processes outright, once the loop has returned and outside any of WebKit's own
// handlers. Left to themselves, they would take down page after page, each view waiting its turn,
// and the program would take seconds per hundred popups to end. The page services let these ends
// be. The windows still open go with the process, all at once, a few milliseconds later.
void ViewerApp::EndWebProcesses() {
  for (ViewerWindow* window : windows_) EndWebProcess(window->view());
}

void ViewerApp::Post(std::function<void()> task) {
  posted_.push_back(std::move(task));
  if (idle_source_ == 0) idle_source_ = g_idle_add(RunPosted, this);
}

gboolean ViewerApp::RunPosted(gpointer self) {
  auto* app = static_cast<ViewerApp*>(self);
  // Tasks posted while these run wait for the next turn of the loop.
  std::deque<std::function<void()>> tasks = std::exchange(app->posted_, {});
  app->idle_source_ = 0;
  for (auto& task : tasks) app->Guarded(task);
  return G_SOURCE_REMOVE;
}

void ViewerApp::Forget(ViewerWindow* window) { std::erase(windows_, window); }

}  // namespace

}  // namespace vellum::platform::gtk

namespace vellum::platform {

std::unique_ptr<Application> CreateApplication(const StartupArgs& args) {
  int argc = args.argc;
  char** argv = args.argv;
  if (!gtk_init_check(&argc, &argv)) throw PlatformError("Cannot open the display");
  return std::make_unique<gtk::ViewerApp>();
}

}  // namespace vellum::platform
