// SPDX-License-Identifier: MIT
#include "platform/gtk/reader_actions.h"

#include <array>
#include <cmath>
#include <vector>

// Keys reach the web view first. WebKit sends each key to the page; a key the page leaves alone
// (no editing command, no cancelled keydown, no default action) comes back to the toolkit and
// goes up from the view to the window a second time. The window's key handler below is connected
// *after* the window's own class handler, so it only ever sees those returned keys, and keys from
// the find bar that the entry did not use.
//
// Alt+Left and Alt+Right never come back: WebKit's default action for an arrow key scrolls the
// page, Alt or not, and counts the key as used. Those two are taken before the page, as browsers
// do with their history keys; no text field uses them. Mouse buttons 8 and 9 and Ctrl+wheel are
// taken before the page as well.
//
// No C++ exception can leave these callbacks: nothing below throws (allocation failures abort in
// GLib as they would in std::terminate).

namespace vellum::platform::gtk {
namespace {

enum class Action {
  kBack,
  kForward,
  kReload,
  kReloadBypassingCache,
  kStop,
  kZoomIn,
  kZoomOut,
  kZoomReset,
  kFind,
  kFindNext,
  kFindPrevious,
  kPrint,
};

// Whether a binding also matches with Shift held: "plus" is Shift+"=" on many layouts.
enum class ShiftHeld { kNotAllowed, kAllowed };

// Who sees a key first: the page (the window takes what it leaves), or the window.
enum class First { kPage, kWindow };

struct KeyBinding {
  guint keyval;  // lower case
  guint modifiers;
  ShiftHeld shift;
  Action action;
  First first = First::kPage;
};

constexpr guint kCtrl = GDK_CONTROL_MASK;
constexpr guint kShift = GDK_SHIFT_MASK;
constexpr guint kAlt = GDK_MOD1_MASK;
// The modifiers a binding looks at; Num Lock, Caps Lock and the like are ignored.
constexpr guint kBindingModifiers = kCtrl | kShift | kAlt | GDK_SUPER_MASK;

constexpr std::array kKeyBindings{
    KeyBinding{GDK_KEY_Left, kAlt, ShiftHeld::kNotAllowed, Action::kBack, First::kWindow},
    KeyBinding{GDK_KEY_KP_Left, kAlt, ShiftHeld::kNotAllowed, Action::kBack, First::kWindow},
    KeyBinding{GDK_KEY_Back, 0, ShiftHeld::kNotAllowed, Action::kBack},
    KeyBinding{GDK_KEY_Right, kAlt, ShiftHeld::kNotAllowed, Action::kForward, First::kWindow},
    KeyBinding{GDK_KEY_KP_Right, kAlt, ShiftHeld::kNotAllowed, Action::kForward, First::kWindow},
    KeyBinding{GDK_KEY_Forward, 0, ShiftHeld::kNotAllowed, Action::kForward},
    KeyBinding{GDK_KEY_F5, 0, ShiftHeld::kNotAllowed, Action::kReload},
    KeyBinding{GDK_KEY_r, kCtrl, ShiftHeld::kNotAllowed, Action::kReload},
    KeyBinding{GDK_KEY_Reload, 0, ShiftHeld::kNotAllowed, Action::kReload},
    KeyBinding{GDK_KEY_F5, kCtrl, ShiftHeld::kNotAllowed, Action::kReloadBypassingCache},
    KeyBinding{GDK_KEY_r, kCtrl | kShift, ShiftHeld::kNotAllowed, Action::kReloadBypassingCache},
    KeyBinding{GDK_KEY_Escape, 0, ShiftHeld::kNotAllowed, Action::kStop},
    KeyBinding{GDK_KEY_Stop, 0, ShiftHeld::kNotAllowed, Action::kStop},
    KeyBinding{GDK_KEY_plus, kCtrl, ShiftHeld::kAllowed, Action::kZoomIn},
    KeyBinding{GDK_KEY_equal, kCtrl, ShiftHeld::kAllowed, Action::kZoomIn},
    KeyBinding{GDK_KEY_KP_Add, kCtrl, ShiftHeld::kNotAllowed, Action::kZoomIn},
    KeyBinding{GDK_KEY_ZoomIn, 0, ShiftHeld::kNotAllowed, Action::kZoomIn},
    KeyBinding{GDK_KEY_minus, kCtrl, ShiftHeld::kAllowed, Action::kZoomOut},
    KeyBinding{GDK_KEY_KP_Subtract, kCtrl, ShiftHeld::kNotAllowed, Action::kZoomOut},
    KeyBinding{GDK_KEY_ZoomOut, 0, ShiftHeld::kNotAllowed, Action::kZoomOut},
    KeyBinding{GDK_KEY_0, kCtrl, ShiftHeld::kNotAllowed, Action::kZoomReset},
    KeyBinding{GDK_KEY_KP_0, kCtrl, ShiftHeld::kNotAllowed, Action::kZoomReset},
    KeyBinding{GDK_KEY_f, kCtrl, ShiftHeld::kNotAllowed, Action::kFind},
    KeyBinding{GDK_KEY_Find, 0, ShiftHeld::kNotAllowed, Action::kFind},
    KeyBinding{GDK_KEY_g, kCtrl, ShiftHeld::kNotAllowed, Action::kFindNext},
    KeyBinding{GDK_KEY_F3, 0, ShiftHeld::kNotAllowed, Action::kFindNext},
    KeyBinding{GDK_KEY_g, kCtrl | kShift, ShiftHeld::kNotAllowed, Action::kFindPrevious},
    KeyBinding{GDK_KEY_F3, kShift, ShiftHeld::kNotAllowed, Action::kFindPrevious},
    KeyBinding{GDK_KEY_p, kCtrl, ShiftHeld::kNotAllowed, Action::kPrint},
    KeyBinding{GDK_KEY_Print, kCtrl, ShiftHeld::kNotAllowed, Action::kPrint},
};

const KeyBinding* FindBinding(const GdkEventKey& event) {
  const guint keyval = gdk_keyval_to_lower(event.keyval);
  const guint modifiers = event.state & kBindingModifiers;
  for (const KeyBinding& binding : kKeyBindings) {
    if (binding.keyval != keyval) continue;
    const guint held = binding.shift == ShiftHeld::kAllowed ? modifiers & ~kShift : modifiers;
    if (held == binding.modifiers) return &binding;
  }
  return nullptr;
}

// Zoom levels, as browsers step through them.
constexpr std::array kZoomLevels{0.3,  0.5, 0.67, 0.8, 0.9, 1.0, 1.1,
                                 1.25, 1.5, 1.75, 2.0, 2.5, 3.0};
constexpr double kZoomEpsilon = 0.001;

double NextZoomLevel(double current) {
  for (double level : kZoomLevels) {
    if (level > current + kZoomEpsilon) return level;
  }
  return kZoomLevels.back();
}

double PreviousZoomLevel(double current) {
  for (auto it = kZoomLevels.rbegin(); it != kZoomLevels.rend(); ++it) {
    if (*it < current - kZoomEpsilon) return *it;
  }
  return kZoomLevels.front();
}

// Matches beyond this many are not counted; the find bar then says "More than ...".
constexpr guint kMaxCountedMatches = 1000;
constexpr guint32 kFindOptions =
    WEBKIT_FIND_OPTIONS_CASE_INSENSITIVE | WEBKIT_FIND_OPTIONS_WRAP_AROUND;

constexpr guint kBackButton = 8;
constexpr guint kForwardButton = 9;

// One viewer window's reader state. Owned by the window (its object data): deleted when the
// window object goes. Its ties to the widgets are cut as the window is destroyed; a print dialog
// that runs then holds a reference to the window until it returns.
class ReaderWindow {
 public:
  ReaderWindow(GtkWindow* window, GtkBox* content, WebKitWebView* view);
  ~ReaderWindow();
  ReaderWindow(const ReaderWindow&) = delete;
  ReaderWindow& operator=(const ReaderWindow&) = delete;
  // The window's destroy notification for this object.
  static void Free(gpointer self) { delete static_cast<ReaderWindow*>(self); }

 private:
  bool Run(Action action);
  void Zoom(double level);
  void OpenFindBar();
  void CloseFindBar();
  bool FindBarOpen() const;
  const char* FindText() const;
  void StartSearch();
  void FindAgain(Action direction);
  void ShowMatchCount(guint count);
  void Print(WebKitPrintOperation* operation);
  void DismissPrintDialog();
  void Detach();

  static gboolean OnWindowKeyPress(GtkWidget*, GdkEventKey* event, gpointer self);
  static gboolean OnViewKeyPress(GtkWidget*, GdkEventKey* event, gpointer self);
  static gboolean OnViewButton(GtkWidget*, GdkEventButton* event, gpointer self);
  static gboolean OnViewScroll(GtkWidget*, GdkEventScroll* event, gpointer self);
  static gboolean OnPrintRequest(WebKitWebView*, WebKitPrintOperation* operation, gpointer self);
  static void OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self);
  static gboolean OnEntryKeyPress(GtkWidget*, GdkEventKey* event, gpointer self);
  static void OnSearchChanged(GtkSearchEntry*, gpointer self);
  static void OnEntryNext(GtkWidget*, gpointer self);
  static void OnEntryPrevious(GtkWidget*, gpointer self);
  static void OnCloseClicked(GtkButton*, gpointer self);
  static void OnCountedMatches(WebKitFindController*, guint count, gpointer self);
  static void OnPrintFailed(WebKitPrintOperation*, GError* error, gpointer window);
  static void OnWindowDestroy(GtkWidget*, gpointer self);
  static void OnAnyEvent(GdkEvent* event, gpointer);

  GtkWindow* window_;
  WebKitWebView* view_;  // cleared by GObject when the view goes first
  WebKitFindController* find_;
  GtkWidget* find_bar_;
  GtkWidget* find_entry_;
  GtkWidget* find_count_;
  GtkWidget* find_previous_;
  GtkWidget* find_next_;
  GtkWidget* find_close_;
  bool search_active_ = false;
  double scroll_steps_ = 0.0;
  // Kept from the last print of this window, so the next one starts from the reader's choices.
  GtkPrintSettings* print_settings_ = nullptr;
  GtkPageSetup* page_setup_ = nullptr;
  bool printing_ = false;
  bool destroyed_ = false;  // the window was destroyed while its print dialog ran
};

// The windows whose print dialog runs, innermost last.
std::vector<ReaderWindow*>& PrintingWindows() {
  static std::vector<ReaderWindow*> windows;
  return windows;
}

// The print dialog WebKit runs for `window`, if one is open.
GtkDialog* PrintDialogOf(GtkWindow* window);

GtkWidget* IconButton(const char* name, const char* icon, const char* tooltip) {
  GtkWidget* button = gtk_button_new_from_icon_name(icon, GTK_ICON_SIZE_BUTTON);
  gtk_widget_set_name(button, name);
  gtk_widget_set_tooltip_text(button, tooltip);
  gtk_widget_set_focus_on_click(button, FALSE);
  gtk_widget_set_valign(button, GTK_ALIGN_CENTER);
  return button;
}

ReaderWindow::ReaderWindow(GtkWindow* window, GtkBox* content, WebKitWebView* view)
    : window_(window), view_(view), find_(webkit_web_view_get_find_controller(view)) {
  g_object_add_weak_pointer(G_OBJECT(view_), reinterpret_cast<gpointer*>(&view_));

  // Zoom scales the whole page, not only its text.
  webkit_settings_set_zoom_text_only(webkit_web_view_get_settings(view_), FALSE);

  // The find bar: entry, previous, next, match count, close. Hidden, and kept out of
  // gtk_widget_show_all() on the window, until the reader asks for it.
  GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 4);
  gtk_container_set_border_width(GTK_CONTAINER(row), 4);
  find_entry_ = gtk_search_entry_new();
  gtk_widget_set_name(find_entry_, kFindEntryName);
  gtk_entry_set_placeholder_text(GTK_ENTRY(find_entry_), "Find in page");
  gtk_entry_set_width_chars(GTK_ENTRY(find_entry_), 12);
  gtk_entry_set_max_width_chars(GTK_ENTRY(find_entry_), 30);
  find_previous_ = IconButton(kFindPreviousName, "go-up-symbolic", "Previous match (Shift+Enter)");
  find_next_ = IconButton(kFindNextName, "go-down-symbolic", "Next match (Enter)");
  find_count_ = gtk_label_new("");
  gtk_widget_set_name(find_count_, kFindCountName);
  gtk_label_set_xalign(GTK_LABEL(find_count_), 0.0F);
  gtk_label_set_ellipsize(GTK_LABEL(find_count_), PANGO_ELLIPSIZE_END);
  find_close_ = IconButton(kFindCloseName, "window-close-symbolic", "Close (Escape)");
  gtk_button_set_relief(GTK_BUTTON(find_close_), GTK_RELIEF_NONE);
  gtk_box_pack_start(GTK_BOX(row), find_entry_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(row), find_previous_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(row), find_next_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(row), find_count_, TRUE, TRUE, 4);
  gtk_box_pack_end(GTK_BOX(row), find_close_, FALSE, FALSE, 0);

  find_bar_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_widget_set_name(find_bar_, kFindBarName);
  gtk_box_pack_start(GTK_BOX(find_bar_), gtk_separator_new(GTK_ORIENTATION_HORIZONTAL), FALSE,
                     FALSE, 0);
  // The row asks for no width of its own: a narrow window with a fixed border would otherwise
  // grow to fit it. It is clipped instead.
  GtkWidget* clip = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(clip), GTK_POLICY_EXTERNAL, GTK_POLICY_NEVER);
  gtk_scrolled_window_set_propagate_natural_width(GTK_SCROLLED_WINDOW(clip), FALSE);
  gtk_container_add(GTK_CONTAINER(clip), row);
  gtk_box_pack_start(GTK_BOX(find_bar_), clip, FALSE, FALSE, 0);
  gtk_widget_show_all(find_bar_);
  gtk_widget_hide(find_bar_);
  gtk_widget_set_no_show_all(find_bar_, TRUE);
  gtk_box_pack_end(content, find_bar_, FALSE, FALSE, 0);

  g_signal_connect_after(window_, "key-press-event", G_CALLBACK(OnWindowKeyPress), this);
  g_signal_connect(window_, "destroy", G_CALLBACK(OnWindowDestroy), this);
  g_signal_connect(view_, "key-press-event", G_CALLBACK(OnViewKeyPress), this);
  g_signal_connect(view_, "button-press-event", G_CALLBACK(OnViewButton), this);
  g_signal_connect(view_, "button-release-event", G_CALLBACK(OnViewButton), this);
  g_signal_connect(view_, "scroll-event", G_CALLBACK(OnViewScroll), this);
  g_signal_connect(view_, "print", G_CALLBACK(OnPrintRequest), this);
  g_signal_connect(view_, "load-changed", G_CALLBACK(OnLoadChanged), this);
  g_signal_connect(find_, "counted-matches", G_CALLBACK(OnCountedMatches), this);
  g_signal_connect(find_entry_, "key-press-event", G_CALLBACK(OnEntryKeyPress), this);
  g_signal_connect(find_entry_, "search-changed", G_CALLBACK(OnSearchChanged), this);
  g_signal_connect(find_entry_, "next-match", G_CALLBACK(OnEntryNext), this);
  g_signal_connect(find_entry_, "previous-match", G_CALLBACK(OnEntryPrevious), this);
  g_signal_connect(find_next_, "clicked", G_CALLBACK(OnEntryNext), this);
  g_signal_connect(find_previous_, "clicked", G_CALLBACK(OnEntryPrevious), this);
  g_signal_connect(find_close_, "clicked", G_CALLBACK(OnCloseClicked), this);
}

ReaderWindow::~ReaderWindow() {
  if (print_settings_ != nullptr) g_object_unref(print_settings_);
  if (page_setup_ != nullptr) g_object_unref(page_setup_);
}

// Cuts every tie from the widgets to this object. The window is being destroyed, with its
// children still alive; only the view may have gone before it.
void ReaderWindow::Detach() {
  g_signal_handlers_disconnect_by_data(window_, this);
  for (GtkWidget* widget : {find_entry_, find_next_, find_previous_, find_close_}) {
    g_signal_handlers_disconnect_by_data(widget, this);
  }
  if (view_ != nullptr) {
    g_signal_handlers_disconnect_by_data(view_, this);
    g_signal_handlers_disconnect_by_data(find_, this);
    g_object_remove_weak_pointer(G_OBJECT(view_), reinterpret_cast<gpointer*>(&view_));
    view_ = nullptr;
  }
}

bool ReaderWindow::Run(Action action) {
  if (view_ == nullptr) return false;
  switch (action) {
    case Action::kBack:
      webkit_web_view_go_back(view_);
      return true;
    case Action::kForward:
      webkit_web_view_go_forward(view_);
      return true;
    case Action::kReload:
      webkit_web_view_reload(view_);
      return true;
    case Action::kReloadBypassingCache:
      webkit_web_view_reload_bypass_cache(view_);
      return true;
    case Action::kStop:
      // Escape the page did not use: stop a load, or else put the find bar away.
      if (webkit_web_view_is_loading(view_)) {
        webkit_web_view_stop_loading(view_);
        return true;
      }
      if (FindBarOpen()) {
        CloseFindBar();
        return true;
      }
      return false;
    case Action::kZoomIn:
      Zoom(NextZoomLevel(webkit_web_view_get_zoom_level(view_)));
      return true;
    case Action::kZoomOut:
      Zoom(PreviousZoomLevel(webkit_web_view_get_zoom_level(view_)));
      return true;
    case Action::kZoomReset:
      Zoom(1.0);
      return true;
    case Action::kFind:
      OpenFindBar();
      return true;
    case Action::kFindNext:
    case Action::kFindPrevious:
      if (FindText()[0] == '\0') {
        OpenFindBar();
      } else {
        if (!FindBarOpen()) gtk_widget_show(find_bar_);
        FindAgain(action);
      }
      return true;
    case Action::kPrint: {
      WebKitPrintOperation* operation = webkit_print_operation_new(view_);
      Print(operation);
      g_object_unref(operation);
      return true;
    }
  }
  return false;
}

void ReaderWindow::Zoom(double level) {
  scroll_steps_ = 0.0;
  webkit_web_view_set_zoom_level(view_, level);
}

bool ReaderWindow::FindBarOpen() const { return gtk_widget_get_visible(find_bar_) != FALSE; }

const char* ReaderWindow::FindText() const { return gtk_entry_get_text(GTK_ENTRY(find_entry_)); }

void ReaderWindow::OpenFindBar() {
  const bool was_open = FindBarOpen();
  gtk_widget_show(find_bar_);
  // Focusing the entry selects its text, so typing replaces the last search.
  gtk_widget_grab_focus(find_entry_);
  if (!was_open && FindText()[0] != '\0') StartSearch();
}

void ReaderWindow::CloseFindBar() {
  const bool had_focus = gtk_widget_has_focus(find_entry_) != FALSE;
  gtk_widget_hide(find_bar_);
  if (view_ != nullptr) {
    webkit_find_controller_search_finish(find_);
    if (had_focus) gtk_widget_grab_focus(GTK_WIDGET(view_));
  }
  search_active_ = false;
}

void ReaderWindow::StartSearch() {
  if (view_ == nullptr) return;
  const char* text = FindText();
  if (text[0] == '\0') {
    webkit_find_controller_search_finish(find_);
    search_active_ = false;
    gtk_label_set_text(GTK_LABEL(find_count_), "");
    gtk_style_context_remove_class(gtk_widget_get_style_context(find_entry_), "error");
    return;
  }
  webkit_find_controller_search(find_, text, kFindOptions, kMaxCountedMatches);
  webkit_find_controller_count_matches(find_, text, kFindOptions, kMaxCountedMatches);
  search_active_ = true;
}

void ReaderWindow::FindAgain(Action direction) {
  if (view_ == nullptr || FindText()[0] == '\0') return;
  if (!search_active_) {
    StartSearch();  // finds the first match
  } else if (direction == Action::kFindPrevious) {
    webkit_find_controller_search_previous(find_);
  } else {
    webkit_find_controller_search_next(find_);
  }
}

void ReaderWindow::ShowMatchCount(guint count) {
  GtkStyleContext* style = gtk_widget_get_style_context(find_entry_);
  if (count == 0) {
    gtk_label_set_text(GTK_LABEL(find_count_), "No matches");
    gtk_style_context_add_class(style, "error");
    return;
  }
  gtk_style_context_remove_class(style, "error");
  gchar* text = nullptr;
  if (count > kMaxCountedMatches) {
    text = g_strdup_printf("More than %u matches", kMaxCountedMatches);
  } else if (count == 1) {
    text = g_strdup("1 match");
  } else {
    text = g_strdup_printf("%u matches", count);
  }
  gtk_label_set_text(GTK_LABEL(find_count_), text);
  g_free(text);
}

void ReaderWindow::Print(WebKitPrintOperation* operation) {
  if (printing_) return;  // one print dialog per window at a time
  printing_ = true;
  if (print_settings_ != nullptr) {
    webkit_print_operation_set_print_settings(operation, print_settings_);
  }
  if (page_setup_ != nullptr) webkit_print_operation_set_page_setup(operation, page_setup_);
  g_signal_connect_object(operation, "failed", G_CALLBACK(OnPrintFailed), window_,
                          static_cast<GConnectFlags>(0));
  // Modal; runs the main loop until the reader answers. The window may be destroyed meanwhile:
  // the reference taken here keeps the window object, and with it this object, until the end.
  GtkWindow* const window = window_;
  g_object_ref(window);
  // The dialog holds the toolkit's grab, which drops a close request for its window: while any
  // print dialog runs, every event passes through OnAnyEvent first.
  std::vector<ReaderWindow*>& printing = PrintingWindows();
  if (printing.empty()) gdk_event_handler_set(OnAnyEvent, nullptr, nullptr);
  printing.push_back(this);
  const WebKitPrintOperationResponse response =
      webkit_print_operation_run_dialog(operation, window_);
  std::erase(printing, this);
  if (printing.empty()) {
    // The toolkit's own handler again, set as gtk_init() sets it.
    gdk_event_handler_set(
        reinterpret_cast<GdkEventFunc>(reinterpret_cast<void (*)()>(gtk_main_do_event)), nullptr,
        nullptr);
  }
  printing_ = false;
  if (!destroyed_ && response == WEBKIT_PRINT_OPERATION_RESPONSE_PRINT) {
    GtkPrintSettings* settings = webkit_print_operation_get_print_settings(operation);
    GtkPageSetup* setup = webkit_print_operation_get_page_setup(operation);
    if (settings != nullptr) g_object_ref(settings);
    if (setup != nullptr) g_object_ref(setup);
    if (print_settings_ != nullptr) g_object_unref(print_settings_);
    if (page_setup_ != nullptr) g_object_unref(page_setup_);
    print_settings_ = settings;
    page_setup_ = setup;
  }
  g_object_unref(window);  // may delete this: nothing of it is used after
}

gboolean ReaderWindow::OnWindowKeyPress(GtkWidget*, GdkEventKey* event, gpointer self) {
  const KeyBinding* binding = FindBinding(*event);
  if (binding == nullptr) return FALSE;
  return static_cast<ReaderWindow*>(self)->Run(binding->action) ? TRUE : FALSE;
}

gboolean ReaderWindow::OnViewKeyPress(GtkWidget*, GdkEventKey* event, gpointer self) {
  const KeyBinding* binding = FindBinding(*event);
  if (binding == nullptr || binding->first != First::kWindow) return FALSE;
  return static_cast<ReaderWindow*>(self)->Run(binding->action) ? TRUE : FALSE;
}

gboolean ReaderWindow::OnViewButton(GtkWidget*, GdkEventButton* event, gpointer self) {
  if (event->button != kBackButton && event->button != kForwardButton) return FALSE;
  // The release and the double-click events of these buttons are swallowed too, so the page
  // never sees half a click.
  if (event->type == GDK_BUTTON_PRESS) {
    static_cast<ReaderWindow*>(self)->Run(event->button == kBackButton ? Action::kBack
                                                                       : Action::kForward);
  }
  return TRUE;
}

gboolean ReaderWindow::OnViewScroll(GtkWidget*, GdkEventScroll* event, gpointer self) {
  if ((event->state & kBindingModifiers) != kCtrl) return FALSE;
  auto* reader = static_cast<ReaderWindow*>(self);
  switch (event->direction) {
    case GDK_SCROLL_UP:
      reader->Run(Action::kZoomIn);
      break;
    case GDK_SCROLL_DOWN:
      reader->Run(Action::kZoomOut);
      break;
    case GDK_SCROLL_SMOOTH: {
      // Touchpads scroll in fractions of a step; a zoom step is taken per whole step.
      reader->scroll_steps_ -= event->delta_y;
      const double steps = reader->scroll_steps_;
      if (std::fabs(steps) >= 1.0) {
        reader->Run(steps > 0 ? Action::kZoomIn : Action::kZoomOut);
        reader->scroll_steps_ = steps - std::trunc(steps);
      }
      break;
    }
    default:
      return FALSE;
  }
  return TRUE;
}

gboolean ReaderWindow::OnPrintRequest(WebKitWebView*, WebKitPrintOperation* operation,
                                      gpointer self) {
  static_cast<ReaderWindow*>(self)->Print(operation);
  return TRUE;
}

void ReaderWindow::OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self) {
  // A new page under an open find bar: its matches are counted, and the next Enter starts from
  // its top. The page is left where it is until then.
  auto* reader = static_cast<ReaderWindow*>(self);
  if (event != WEBKIT_LOAD_FINISHED || !reader->FindBarOpen() || reader->view_ == nullptr) return;
  reader->search_active_ = false;
  const char* text = reader->FindText();
  if (text[0] != '\0') {
    webkit_find_controller_count_matches(reader->find_, text, kFindOptions, kMaxCountedMatches);
  }
}

gboolean ReaderWindow::OnEntryKeyPress(GtkWidget*, GdkEventKey* event, gpointer self) {
  auto* reader = static_cast<ReaderWindow*>(self);
  const guint modifiers = event->state & kBindingModifiers;
  switch (event->keyval) {
    case GDK_KEY_Escape:
      if (modifiers != 0) return FALSE;
      reader->CloseFindBar();
      return TRUE;
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_ISO_Enter:
      if (modifiers == kShift) {
        reader->FindAgain(Action::kFindPrevious);
      } else if (modifiers == 0) {
        reader->FindAgain(Action::kFindNext);
      } else {
        return FALSE;
      }
      return TRUE;
    default:
      return FALSE;
  }
}

void ReaderWindow::OnSearchChanged(GtkSearchEntry*, gpointer self) {
  static_cast<ReaderWindow*>(self)->StartSearch();
}

void ReaderWindow::OnEntryNext(GtkWidget*, gpointer self) {
  static_cast<ReaderWindow*>(self)->FindAgain(Action::kFindNext);
}

void ReaderWindow::OnEntryPrevious(GtkWidget*, gpointer self) {
  static_cast<ReaderWindow*>(self)->FindAgain(Action::kFindPrevious);
}

void ReaderWindow::OnCloseClicked(GtkButton*, gpointer self) {
  static_cast<ReaderWindow*>(self)->CloseFindBar();
}

void ReaderWindow::OnCountedMatches(WebKitFindController*, guint count, gpointer self) {
  auto* reader = static_cast<ReaderWindow*>(self);
  // Counts that come in after the reader cleared the text or closed the bar are stale.
  if (reader->FindBarOpen() && reader->FindText()[0] != '\0') reader->ShowMatchCount(count);
}

void ReaderWindow::OnPrintFailed(WebKitPrintOperation*, GError* error, gpointer window) {
  GtkWidget* dialog = gtk_message_dialog_new(
      GTK_WINDOW(window), static_cast<GtkDialogFlags>(GTK_DIALOG_DESTROY_WITH_PARENT),
      GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, "Printing failed.");
  if (error != nullptr && error->message != nullptr) {
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s", error->message);
  }
  g_signal_connect(dialog, "response", G_CALLBACK(gtk_widget_destroy), nullptr);
  gtk_widget_show(dialog);
}

// The print dialog WebKit runs for `window`, if one is open.
GtkDialog* PrintDialogOf(GtkWindow* window) {
  const GType dialog_type = g_type_from_name("GtkPrintUnixDialog");
  if (dialog_type == 0) return nullptr;
  GList* toplevels = gtk_window_list_toplevels();
  GtkDialog* found = nullptr;
  for (GList* item = toplevels; item != nullptr; item = item->next) {
    if (G_TYPE_CHECK_INSTANCE_TYPE(item->data, dialog_type) &&
        gtk_window_get_transient_for(GTK_WINDOW(item->data)) == window) {
      found = GTK_DIALOG(item->data);
    }
  }
  g_list_free(toplevels);
  return found;
}

// Answers the print dialog of this window, if one is open, as its Cancel button would, and takes
// it off the screen now rather than once its loop has returned: its grab goes with it.
void ReaderWindow::DismissPrintDialog() {
  if (GtkDialog* dialog = PrintDialogOf(window_)) {
    gtk_dialog_response(dialog, GTK_RESPONSE_CANCEL);
    gtk_widget_hide(GTK_WIDGET(dialog));
  }
}

// A close request for a window whose print dialog runs dismisses the dialog first, so that the
// request reaches the window: one request closes it.
void ReaderWindow::OnAnyEvent(GdkEvent* event, gpointer) {
  if (event->type == GDK_DELETE && event->any.window != nullptr) {
    gpointer target = nullptr;
    gdk_window_get_user_data(event->any.window, &target);
    for (ReaderWindow* reader : PrintingWindows()) {
      if (target == reader->window_) reader->DismissPrintDialog();
    }
  }
  gtk_main_do_event(event);
}

void ReaderWindow::OnWindowDestroy(GtkWidget*, gpointer self) {
  auto* reader = static_cast<ReaderWindow*>(self);
  reader->Detach();
  if (reader->printing_) {
    // The dialog goes with its window: answered later, it would print a view that is gone.
    if (GtkDialog* dialog = PrintDialogOf(reader->window_)) {
      gtk_dialog_response(dialog, GTK_RESPONSE_CANCEL);
    }
    reader->destroyed_ = true;
  }
}

}  // namespace

void AttachReaderActions(GtkWindow* window, GtkBox* content, WebKitWebView* view) {
  g_return_if_fail(GTK_IS_WINDOW(window));
  g_return_if_fail(GTK_IS_BOX(content));
  g_return_if_fail(WEBKIT_IS_WEB_VIEW(view));
  g_object_set_data_full(G_OBJECT(window), "vellum-reader-window",
                         new ReaderWindow(window, content, view), &ReaderWindow::Free);
}

}  // namespace vellum::platform::gtk
