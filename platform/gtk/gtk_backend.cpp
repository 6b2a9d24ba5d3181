// SPDX-License-Identifier: MIT
// The Linux backend: GTK 3 windows, each holding one WebKitGTK view, and GLib's main loop.
#include <gtk/gtk.h>
#ifdef GDK_WINDOWING_WAYLAND
#include <gdk/gdkwayland.h>
#endif

#include <algorithm>
#include <cmath>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/gtk/color_scheme.h"
#include "platform/gtk/gobject_cast.h"
#include "platform/gtk/page_services.h"
#include "platform/gtk/reader_actions.h"
#include "platform/gtk/webkit_library.h"
#include "platform/gtk/x11_frame.h"
#include "platform/platform.h"
#include "text/text.h"

namespace vellum::platform::gtk {

using text::DisplayText;
using text::ReadAsUtf8;

namespace {

// A size in 96-dpi units in GTK's units: scaled by the screen's text dpi over 96.
int ScaledToScreen(int size) {
  double dpi = gdk_screen_get_resolution(gdk_screen_get_default());
  if (dpi <= 0) dpi = 96;
  return static_cast<int>(std::lround(size * dpi / 96));
}

// A modal box centred on the screen with one OK button; returns once acknowledged. With
// `selectable`, the reader can select and copy the text (a command to run).
void RunMessageBox(const Bytes& caption, const Bytes& text, BoxIcon icon, bool selectable = false) {
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
  if (selectable) {
    GtkWidget* area = gtk_message_dialog_get_message_area(As<GtkMessageDialog>(dialog));
    GList* children = gtk_container_get_children(As<GtkContainer>(area));
    for (GList* child = children; child != nullptr; child = child->next) {
      if (GTK_IS_LABEL(child->data)) gtk_label_set_selectable(As<GtkLabel>(child->data), TRUE);
    }
    g_list_free(children);
    // The button keeps the keyboard focus: Return still acknowledges, and nothing shows selected.
    gtk_widget_grab_focus(
        gtk_dialog_get_widget_for_response(As<GtkDialog>(dialog), GTK_RESPONSE_OK));
  }
  gtk_dialog_run(As<GtkDialog>(dialog));
  gtk_widget_destroy(dialog);
}

// The caption of the program's boxes: the program file's name up to its first dot, its first
// letter as it is and the rest in lower case.
Bytes ProgramCaption() {
  const Path::String name = RunningProgramPath().FileName().native();
  return LowerCaseAfterFirst(Path::Native(name.substr(0, name.find('.'))));
}

// What the system says of itself (os-release(5)); empty when it says nothing.
std::string OsRelease() {
  for (const char* file : {"/etc/os-release", "/usr/lib/os-release"}) {
    gchar* text = nullptr;
    gsize size = 0;
    if (g_file_get_contents(file, &text, &size, nullptr)) {
      std::string release(text, size);
      g_free(text);
      return release;
    }
  }
  return {};
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

  WebKitWebContext* context() const { return context_; }
  // True once the message loop has ended for good: the program is ending.
  bool ended() const { return ended_; }
  WebKitSettings* settings() const { return settings_; }

  void Register(ViewerWindow* window) { windows_.push_back(window); }
  void Forget(ViewerWindow* window);

 private:
  void RunLoop() override;
  void QuitLoop() override;
  void Queue(std::function<void()> task) override;
  static gboolean RunQueued(gpointer self);
  void EndWebProcesses();

  Path program_path_;
  WebKitWebContext* context_ = nullptr;
  WebKitSettings* settings_ = nullptr;
  GMainLoop* loop_ = nullptr;
  bool ended_ = false;
  std::deque<std::function<void()>> posted_;
  guint idle_source_ = 0;
  std::vector<ViewerWindow*> windows_;  // alive, in creation order
  DesktopColorScheme color_scheme_;
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
  void ApplySize();
  void ApplyDeviceSize(int width, int height);
  std::optional<GtkRequisition> OwnFrame() const;
  bool OwnFrameMeasured() const;
  void ApplyFixedFunctions();
  GtkWidget* AnswerNewWindow();

  // Toolkit signal handlers.
  static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer self);
  static void OnRealize(GtkWidget*, gpointer self);
  static void OnAllocated(GtkWidget*, GdkRectangle*, gpointer self);
  static gboolean OnConfigure(GtkWidget*, GdkEventConfigure* event, gpointer self);
  static gboolean OnProperty(GtkWidget*, GdkEventProperty* event, gpointer self);
  static GtkWidget* OnCreate(WebKitWebView*, WebKitNavigationAction*, gpointer self);
  static void OnClose(WebKitWebView*, gpointer self);

  ViewerApp& app_;
  GtkWidget* window_ = nullptr;
  GtkWidget* content_ = nullptr;
  WebKitWebView* view_ = nullptr;
  WebKitWebView* related_ = nullptr;  // the view whose page asked for this window
  bool fixed_ = false;
  // The outer size asked for, in 96-dpi units; the design's client area where none is.
  std::optional<int> outer_width_;
  std::optional<int> outer_height_;
  // Until the frame around the window is known the size is set again whenever more of it is.
  bool sizing_ = true;
  bool laid_out_ = false;
  std::pair<int, int> applied_;  // the client area last asked for
  guint after_layout_ = 0;
  // The client area in device pixels where GTK's units cannot give it, and how often GTK may
  // still set its own size over it before the window keeps GTK's.
  std::optional<std::pair<int, int>> device_size_;
  int device_tries_ = 0;
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
#ifdef GDK_WINDOWING_WAYLAND
  // A frame the compositor draws has a size no client can learn, and the size asked for is the
  // outer one: the title bar is GTK's own, as it is on compositors that draw none.
  GdkDisplay* display = gtk_widget_get_display(window_);
  if (GDK_IS_WAYLAND_DISPLAY(display) && gdk_wayland_display_prefers_ssd(display)) {
    GtkWidget* titlebar = gtk_header_bar_new();
    gtk_header_bar_set_show_close_button(As<GtkHeaderBar>(titlebar), TRUE);
    gtk_style_context_add_class(gtk_widget_get_style_context(titlebar), "default-decoration");
    gtk_window_set_titlebar(window, titlebar);
    gtk_widget_show(titlebar);
  }
#endif
  gtk_window_set_title(window, kDesignTitle);
  applied_ = {ScaledToScreen(kDesignClientWidth), ScaledToScreen(kDesignClientHeight)};
  gtk_window_set_default_size(window, applied_.first, applied_.second);
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
  g_signal_connect_after(window_, "size-allocate", Callback(OnAllocated), this);
  g_signal_connect(window_, "configure-event", Callback(OnConfigure), this);
  g_signal_connect(window_, "property-notify-event", Callback(OnProperty), this);
  g_signal_connect(view_, "create", Callback(OnCreate), this);
  g_signal_connect(view_, "close", Callback(OnClose), this);
  app_.Register(this);
}

ViewerWindow::~ViewerWindow() {
  app_.Forget(this);
  if (after_layout_ != 0) g_source_remove(after_layout_);
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
  GtkWindow* window = As<GtkWindow>(window_);
  gtk_window_set_title(window, DisplayText(title).c_str());
  GtkWidget* titlebar = gtk_window_get_titlebar(window);
  if (titlebar != nullptr && GTK_IS_HEADER_BAR(titlebar)) {
    gtk_header_bar_set_title(As<GtkHeaderBar>(titlebar), DisplayText(title).c_str());
  }
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
  sizing_ = true;
  ApplySize();
}

void ViewerWindow::SetOuterWidthImpl(int width) {
  outer_width_ = width;
  sizing_ = true;
  ApplySize();
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

// The frame GTK draws itself (client-side decorations: its title bar), in GTK's units: from the
// layout once the window has one, from the title bar's height until then; nothing before the
// window is realized, when GTK has not decided yet whether it draws one.
std::optional<GtkRequisition> ViewerWindow::OwnFrame() const {
  if (!gtk_widget_get_realized(window_)) return std::nullopt;
  GtkStyleContext* style = gtk_widget_get_style_context(window_);
  GtkWidget* titlebar = nullptr;
  if (gtk_style_context_has_class(style, "csd") ||
      gtk_style_context_has_class(style, "solid-csd")) {
    gtk_container_forall(
        As<GtkContainer>(window_),
        [](GtkWidget* child, gpointer found) {
          if (gtk_style_context_has_class(gtk_widget_get_style_context(child), "titlebar")) {
            *static_cast<GtkWidget**>(found) = child;
          }
        },
        &titlebar);
  }
  if (titlebar == nullptr || !gtk_widget_get_visible(titlebar)) return GtkRequisition{0, 0};
  GtkAllocation bar{};
  GtkAllocation client{};
  gtk_widget_get_allocation(titlebar, &bar);
  gtk_widget_get_allocation(content_, &client);
  if (!OwnFrameMeasured()) {
    int height = 0;
    gtk_widget_get_preferred_height_for_width(titlebar, std::max(1, client.width), &height,
                                              nullptr);
    return GtkRequisition{0, height};
  }
  // What the compositor counts as the window: the title bar and the client area, no shadow.
  const int left = std::min(bar.x, client.x);
  const int top = std::min(bar.y, client.y);
  const int right = std::max(bar.x + bar.width, client.x + client.width);
  const int bottom = std::max(bar.y + bar.height, client.y + client.height);
  return GtkRequisition{right - left - client.width, bottom - top - client.height};
}

// Once GTK's window has the size GTK asked for (`width` x `height` in its units), the device
// pixels GTK could not ask for. GTK may set its own size again once or twice while the window
// manager answers its earlier requests: the device size then follows again.
void ViewerWindow::ApplyDeviceSize(int width, int height) {
  GdkWindow* native = gtk_widget_get_window(window_);
  if (!device_size_ || native == nullptr) return;
  if (gdk_window_get_width(native) != width || gdk_window_get_height(native) != height) return;
  ResizeInDevicePixels(native, device_size_->first, device_size_->second);
  if (--device_tries_ <= 0) device_size_.reset();
}

gboolean ViewerWindow::OnConfigure(GtkWidget*, GdkEventConfigure* event, gpointer self) {
  auto* window = static_cast<ViewerWindow*>(self);
  if (window->device_size_ && std::pair{event->width, event->height} == window->applied_) {
    window->ApplyDeviceSize(event->width, event->height);
  }
  return FALSE;
}

bool ViewerWindow::OwnFrameMeasured() const {
  return gtk_widget_get_realized(window_) && gtk_widget_get_allocated_height(content_) > 1;
}

// The size asked for is the outer size: the client area is what is left of it once the frame is
// taken off, the window manager's (X11) and GTK's own (client-side decorations) alike. The frame
// is known only once the window is realized and laid out and the window manager has taken it on;
// until then the size is set again each time more of it is known. Sizes are in 96-dpi units,
// scaled to the screen as the design's client area is, and worked out in device pixels so that a
// frame of an odd size at scale 2 costs no pixel. As Windows limits a window to about the screen,
// the outer size, design size included, is at most what the reader can see of the monitor.
void ViewerWindow::ApplySize() {
  if (!sizing_) return;
  GtkWindow* window = As<GtkWindow>(window_);
  GdkWindow* native = gtk_widget_get_window(window_);
  const int scale = std::max(1, gtk_widget_get_scale_factor(window_));
  const std::optional<FrameExtents> managed = ReadFrameExtents(native);
  const FrameExtents wm = managed.value_or(FrameExtents{});
  const GtkRequisition own = OwnFrame().value_or(GtkRequisition{0, 0});
  const std::optional<GdkRectangle> area = VisibleArea(window_);
  // The client area in device pixels.
  const auto client = [&](const std::optional<int>& outer, int design, int frame, int limit) {
    int wanted = outer ? ScaledToScreen(*outer) * scale : ScaledToScreen(design) * scale + frame;
    if (area) wanted = std::min(wanted, limit * scale);
    return std::max(scale, wanted - frame);
  };
  const int device_width = client(outer_width_, kDesignClientWidth,
                                  wm.left + wm.right + own.width * scale, area ? area->width : 0);
  const int device_height =
      client(outer_height_, kDesignClientHeight, wm.top + wm.bottom + own.height * scale,
             area ? area->height : 0);
  // In GTK's units rounded down, never past the monitor's edge; what a frame of an odd size at
  // scale 2 leaves over is given in device pixels once GTK has set its size.
  const int width = device_width / scale;
  const int height = device_height / scale;
  // A window that cannot be resized keeps GTK's size: GTK holds it to that as its only one.
  device_size_.reset();
  if (!fixed_ && (device_width % scale != 0 || device_height % scale != 0)) {
    device_size_ = std::pair{device_width, device_height};
    device_tries_ = 3;
  }
  // A window that cannot be resized keeps the larger of its default size and its requested one.
  // A size asked for again is not asked for: GTK would wait for an answer that never comes.
  if (applied_ != std::pair{width, height}) {
    applied_ = {width, height};
    gtk_window_set_default_size(window, width, height);
    gtk_window_resize(window, width, height);
  } else {
    ApplyDeviceSize(width, height);
  }
  const bool wm_known = managed.has_value() || (native != nullptr && !IsX11Window(native));
  if (wm_known && OwnFrameMeasured()) sizing_ = false;
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
  window->ApplySize();
}

// The first layout measures GTK's own frame; later ones are the reader's resizing. The size is
// set once the layout is over: GTK forgets a size asked for while it lays the window out.
void ViewerWindow::OnAllocated(GtkWidget*, GdkRectangle*, gpointer self) {
  auto* window = static_cast<ViewerWindow*>(self);
  if (window->laid_out_ || !window->OwnFrameMeasured()) return;
  window->laid_out_ = true;
  window->after_layout_ = g_idle_add(
      [](gpointer data) {
        auto* laid_out = static_cast<ViewerWindow*>(data);
        laid_out->after_layout_ = 0;
        laid_out->ApplySize();
        return G_SOURCE_REMOVE;
      },
      window);
}

gboolean ViewerWindow::OnProperty(GtkWidget*, GdkEventProperty* event, gpointer self) {
  if (IsFrameExtentsChange(*event)) static_cast<ViewerWindow*>(self)->ApplySize();
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
  RunMessageBox(caption, text, icon);
}

void ViewerApp::RunLoop() {
  loop_ = g_main_loop_new(nullptr, FALSE);
  g_main_loop_run(loop_);
  g_main_loop_unref(std::exchange(loop_, nullptr));
  EndWebProcesses();
  ended_ = true;
}

void ViewerApp::QuitLoop() {
  if (loop_ != nullptr) g_main_loop_quit(loop_);
}

// Ends the web processes outright, once the loop has returned and outside any of WebKit's own
// handlers. Left to themselves, they would take down page after page, each view waiting its turn,
// and the program would take seconds per hundred popups to end. The page services let these ends
// be. The windows still open go with the process, all at once, a few milliseconds later.
void ViewerApp::EndWebProcesses() {
  for (ViewerWindow* window : windows_) EndWebProcess(window->view());
}

void ViewerApp::Queue(std::function<void()> task) {
  posted_.push_back(std::move(task));
  if (idle_source_ == 0) idle_source_ = g_idle_add(RunQueued, this);
}

gboolean ViewerApp::RunQueued(gpointer self) {
  auto* app = static_cast<ViewerApp*>(self);
  // Tasks posted while these run wait for the next turn of the loop.
  std::deque<std::function<void()>> tasks = std::exchange(app->posted_, {});
  app->idle_source_ = 0;
  for (auto& task : tasks) task();  // guarded by Post
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
  // Every window shows the program's icon (platform/icon), as on Windows.
  if (GdkPixbuf* icon = gdk_pixbuf_new_from_resource("/org/vellum/icons/vellum.png", nullptr)) {
    gtk_window_set_default_icon(icon);
    g_object_unref(icon);
  }
  std::string why;
  if (!gtk::webkit_library::Load(why)) {
    // Said in a box, as the program's other boxes are captioned, and on the standard error.
    const std::string text = gtk::webkit_library::MissingText(gtk::OsRelease());
    gtk::RunMessageBox(gtk::ProgramCaption(), text, BoxIcon::Error, /*selectable=*/true);
    throw PlatformError(text + "\n(" + why + ")");
  }
  return std::make_unique<gtk::ViewerApp>();
}

}  // namespace vellum::platform
