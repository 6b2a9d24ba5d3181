// SPDX-License-Identifier: MIT
#include "platform/gtk/reader_actions.h"

#include <array>
#include <cmath>

#include "platform/gtk/find_bar.h"
#include "platform/gtk/print_dialog.h"

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
  kCaretBrowsing
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
    KeyBinding{GDK_KEY_F7, 0, ShiftHeld::kNotAllowed, Action::kCaretBrowsing},
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

constexpr guint kBackButton = 8;
constexpr guint kForwardButton = 9;

// A copy of `settings` for one view alone.
WebKitSettings* CopyOf(WebKitSettings* settings) {
  WebKitSettings* copy = webkit_settings_new();
  guint count = 0;
  GParamSpec** specs = g_object_class_list_properties(G_OBJECT_GET_CLASS(settings), &count);
  for (guint i = 0; i < count; ++i) {
    if ((specs[i]->flags & G_PARAM_READWRITE) != G_PARAM_READWRITE ||
        (specs[i]->flags & (G_PARAM_CONSTRUCT_ONLY | G_PARAM_DEPRECATED)) != 0) {
      continue;
    }
    GValue value = G_VALUE_INIT;
    g_value_init(&value, specs[i]->value_type);
    g_object_get_property(G_OBJECT(settings), specs[i]->name, &value);
    g_object_set_property(G_OBJECT(copy), specs[i]->name, &value);
    g_value_unset(&value);
  }
  g_free(specs);
  return copy;
}

// One viewer window's reader state. Owned by the window (its object data): deleted when the
// window object goes, after the window and its view were destroyed and their signals with them.
struct ReaderWindow {
  ReaderWindow(GtkWindow* window, GtkBox* content, WebKitWebView* view);
  bool Run(Action action);
  void Zoom(double level);
  void ToggleCaretBrowsing();
  gboolean OnScroll(const GdkEventScroll& event);

  GtkWindow* window;
  WebKitWebView* view;
  FindBar& find_bar;  // goes with the window's widgets, when no key reaches here any more
  WebKitSettings* own_settings = nullptr;  // the view's, once caret browsing was toggled
  double scroll_steps = 0.0;
};

ReaderWindow::ReaderWindow(GtkWindow* of, GtkBox* content, WebKitWebView* showing)
    : window(of), view(showing), find_bar(FindBar::Add(content, showing)) {
  // Zoom scales the whole page, not only its text.
  webkit_settings_set_zoom_text_only(webkit_web_view_get_settings(view), FALSE);
  g_signal_connect_after(
      window, "key-press-event",
      G_CALLBACK(+[](GtkWidget*, GdkEventKey* event, ReaderWindow* self) -> gboolean {
        const KeyBinding* binding = FindBinding(*event);
        return binding != nullptr && self->Run(binding->action);
      }),
      this);
  g_signal_connect(view, "key-press-event",
                   G_CALLBACK(+[](GtkWidget*, GdkEventKey* event, ReaderWindow* self) -> gboolean {
                     const KeyBinding* binding = FindBinding(*event);
                     return binding != nullptr && binding->first == First::kWindow &&
                            self->Run(binding->action);
                   }),
                   this);
  // The release and the double-click events of the back and forward buttons are taken too, so
  // the page never sees half a click.
  constexpr auto on_button =
      +[](GtkWidget*, GdkEventButton* event, ReaderWindow* self) -> gboolean {
    if (event->button != kBackButton && event->button != kForwardButton) return FALSE;
    if (event->type == GDK_BUTTON_PRESS) {
      self->Run(event->button == kBackButton ? Action::kBack : Action::kForward);
    }
    return TRUE;
  };
  g_signal_connect(view, "button-press-event", G_CALLBACK(on_button), this);
  g_signal_connect(view, "button-release-event", G_CALLBACK(on_button), this);
  g_signal_connect(
      view, "scroll-event",
      G_CALLBACK(+[](GtkWidget*, GdkEventScroll* event, ReaderWindow* self) -> gboolean {
        return self->OnScroll(*event);
      }),
      this);
  // A page's window.print(): the same dialog as Ctrl+P. The page goes on at once.
  g_signal_connect(
      view, "print",
      G_CALLBACK(+[](WebKitWebView*, WebKitPrintOperation*, ReaderWindow* self) -> gboolean {
        return self->Run(Action::kPrint);
      }),
      this);
}

bool ReaderWindow::Run(Action action) {
  switch (action) {
    case Action::kBack:
      webkit_web_view_go_back(view);
      return true;
    case Action::kForward:
      webkit_web_view_go_forward(view);
      return true;
    case Action::kReload:
      webkit_web_view_reload(view);
      return true;
    case Action::kReloadBypassingCache:
      webkit_web_view_reload_bypass_cache(view);
      return true;
    case Action::kStop:
      // Escape the page did not use: stop a load, or else put the find bar away.
      if (webkit_web_view_is_loading(view)) {
        webkit_web_view_stop_loading(view);
        return true;
      }
      if (!find_bar.IsOpen()) return false;
      find_bar.Close();
      return true;
    case Action::kZoomIn:
      Zoom(NextZoomLevel(webkit_web_view_get_zoom_level(view)));
      return true;
    case Action::kZoomOut:
      Zoom(PreviousZoomLevel(webkit_web_view_get_zoom_level(view)));
      return true;
    case Action::kZoomReset:
      Zoom(1.0);
      return true;
    case Action::kFind:
      find_bar.Open();
      return true;
    case Action::kFindNext:
    case Action::kFindPrevious:
      find_bar.FindAgain(action == Action::kFindNext ? FindBar::Direction::kNext
                                                     : FindBar::Direction::kPrevious);
      return true;
    case Action::kPrint:
      ShowPrintDialog(window, view);
      return true;
    case Action::kCaretBrowsing:
      ToggleCaretBrowsing();
      return true;
  }
  return false;
}

void ReaderWindow::Zoom(double level) {
  scroll_steps = 0.0;
  webkit_web_view_set_zoom_level(view, level);
}

// Caret browsing is a setting, which views share with the views their pages opened: the first
// toggle gives this view settings of its own.
void ReaderWindow::ToggleCaretBrowsing() {
  WebKitSettings* settings = webkit_web_view_get_settings(view);
  if (settings != own_settings) {
    own_settings = settings = CopyOf(settings);
    webkit_web_view_set_settings(view, settings);
    g_object_unref(settings);  // the view's now
  }
  webkit_settings_set_enable_caret_browsing(settings,
                                            !webkit_settings_get_enable_caret_browsing(settings));
}

// Ctrl+wheel zooms; the plain wheel stays the page's.
gboolean ReaderWindow::OnScroll(const GdkEventScroll& event) {
  if ((event.state & kBindingModifiers) != kCtrl) return FALSE;
  switch (event.direction) {
    case GDK_SCROLL_UP:
      return Run(Action::kZoomIn);
    case GDK_SCROLL_DOWN:
      return Run(Action::kZoomOut);
    case GDK_SCROLL_SMOOTH:
      // Touchpads scroll in fractions of a step; a zoom step is taken per whole step.
      scroll_steps -= event.delta_y;
      if (std::fabs(scroll_steps) >= 1.0) {
        const double steps = scroll_steps;
        Run(steps > 0 ? Action::kZoomIn : Action::kZoomOut);
        scroll_steps = steps - std::trunc(steps);
      }
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void AttachReaderActions(GtkWindow* window, GtkBox* content, WebKitWebView* view) {
  g_return_if_fail(GTK_IS_WINDOW(window));
  g_return_if_fail(GTK_IS_BOX(content));
  g_return_if_fail(WEBKIT_IS_WEB_VIEW(view));
  g_object_set_data_full(G_OBJECT(window), "vellum-reader-window",
                         new ReaderWindow(window, content, view),
                         [](gpointer self) { delete static_cast<ReaderWindow*>(self); });
}

}  // namespace vellum::platform::gtk
