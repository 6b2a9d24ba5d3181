// SPDX-License-Identifier: MIT
// The reader's keys on a real X server: a window laid out as the GTK backend lays out its viewer
// windows, real key and button events sent through XTest, WebKit's state read in-process.
#include <glib/gstdio.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <gtk/gtkunixprint.h>
#include <webkit2/webkit2.h>

// After GoogleTest, whose names Xlib's macros (None, Bool) would replace.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <gdk/gdkx.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "platform/gtk/find_bar.h"
#include "platform/gtk/reader_actions.h"

namespace vellum::platform::gtk {
namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr const char* kTitle = "Reader test";
constexpr const char* kStalledScheme = "stalled";

// Runs the main loop until `done` holds, or for at most `timeout_ms`.
bool RunUntil(const std::function<bool()>& done, int timeout_ms = 10000) {
  const gint64 deadline = g_get_monotonic_time() + gint64{timeout_ms} * 1000;
  while (!done()) {
    if (g_get_monotonic_time() > deadline) return false;
    if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(2000);
  }
  return true;
}

// Real input events, through the XTest extension on GDK's own X connection.
class Input {
 public:
  Input() : display_(GDK_DISPLAY_XDISPLAY(gdk_display_get_default())) {}

  // Presses `key` with `modifiers` held, as a person would. Adds Shift when the key's symbol
  // sits on the shifted level of its key ("plus" on a US layout).
  void Tap(std::initializer_list<KeySym> modifiers, KeySym key) const {
    const KeyCode code = XKeysymToKeycode(display_, key);
    ASSERT_NE(code, 0) << "no key for " << XKeysymToString(key);
    std::vector<KeyCode> held;
    for (KeySym modifier : modifiers) held.push_back(XKeysymToKeycode(display_, modifier));
    if (XkbKeycodeToKeysym(display_, code, 0, 0) != key &&
        XkbKeycodeToKeysym(display_, code, 0, 1) == key) {
      held.push_back(XKeysymToKeycode(display_, XK_Shift_L));
    }
    for (KeyCode modifier : held) XTestFakeKeyEvent(display_, modifier, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, False, CurrentTime);
    for (auto it = held.rbegin(); it != held.rend(); ++it) {
      XTestFakeKeyEvent(display_, *it, False, CurrentTime);
    }
    XSync(display_, False);
  }

  void Type(const char* text) const {
    for (const char* c = text; *c != '\0'; ++c) {
      const char name[2] = {*c, '\0'};
      Tap({}, XStringToKeysym(name));
    }
  }

  // Clicks `button` in the middle of `widget`, with `modifiers` held.
  void Click(GtkWidget* widget, unsigned button, std::initializer_list<KeySym> modifiers = {}) {
    int x = 0;
    int y = 0;
    gdk_window_get_origin(gtk_widget_get_window(widget), &x, &y);
    GtkAllocation allocation;
    gtk_widget_get_allocation(widget, &allocation);
    XTestFakeMotionEvent(display_, -1, x + allocation.x + allocation.width / 2,
                         y + allocation.y + allocation.height / 2, CurrentTime);
    for (KeySym modifier : modifiers) {
      XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, modifier), True, CurrentTime);
    }
    XTestFakeButtonEvent(display_, button, True, CurrentTime);
    XTestFakeButtonEvent(display_, button, False, CurrentTime);
    for (KeySym modifier : modifiers) {
      XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, modifier), False, CurrentTime);
    }
    XSync(display_, False);
  }

 private:
  Display* display_;
};

GtkWidget* FindNamed(GtkWidget* root, const char* name) {
  if (g_strcmp0(gtk_widget_get_name(root), name) == 0) return root;
  if (!GTK_IS_CONTAINER(root)) return nullptr;
  GList* children = gtk_container_get_children(GTK_CONTAINER(root));
  GtkWidget* found = nullptr;
  for (GList* child = children; child != nullptr && found == nullptr; child = child->next) {
    found = FindNamed(GTK_WIDGET(child->data), name);
  }
  g_list_free(children);
  return found;
}

// The print dialog shown for `parent`, if there is one.
GtkWidget* PrintDialogFor(GtkWindow* parent) {
  GList* toplevels = gtk_window_list_toplevels();
  GtkWidget* found = nullptr;
  for (GList* item = toplevels; item != nullptr; item = item->next) {
    GtkWindow* window = GTK_WINDOW(item->data);
    if (GTK_IS_PRINT_UNIX_DIALOG(window) && gtk_widget_get_visible(GTK_WIDGET(window)) &&
        gtk_window_get_transient_for(window) == parent) {
      found = GTK_WIDGET(window);
    }
  }
  g_list_free(toplevels);
  return found;
}

constexpr const char* kFilePrinter = "Print to File";

std::string SelectedPrinter(GtkWidget* dialog) {
  GtkPrinter* printer = gtk_print_unix_dialog_get_selected_printer(GTK_PRINT_UNIX_DIALOG(dialog));
  return printer != nullptr ? gtk_printer_get_name(printer) : "";
}

// The first four bytes of a file, or less.
std::string FileStart(const std::string& path) {
  gchar* contents = nullptr;
  gsize length = 0;
  if (!g_file_get_contents(path.c_str(), &contents, &length, nullptr)) return "";
  std::string start(contents, std::min<gsize>(length, 4));
  g_free(contents);
  return start;
}

class ReaderActionsTest : public testing::Test {
 protected:
  // The window as the settings shape it, before it is shown.
  virtual void Shape(GtkWindow* window) { gtk_window_set_default_size(window, kWidth, kHeight); }

  void SetUp() override {
    window_ = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
    gtk_window_set_title(window_, kTitle);
    Shape(window_);
    content_ = GTK_BOX(gtk_box_new(GTK_ORIENTATION_VERTICAL, 0));
    gtk_container_add(GTK_CONTAINER(window_), GTK_WIDGET(content_));
    view_ = WEBKIT_WEB_VIEW(webkit_web_view_new());
    gtk_box_pack_start(content_, GTK_WIDGET(view_), TRUE, TRUE, 0);
    AttachReaderActions(window_, content_, view_);
    g_signal_connect(view_, "load-changed",
                     G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer self) {
                       auto* test = static_cast<ReaderActionsTest*>(self);
                       if (event == WEBKIT_LOAD_COMMITTED) ++test->commits_;
                       if (event == WEBKIT_LOAD_FINISHED) ++test->finishes_;
                     }),
                     this);
    g_signal_connect(
        view_, "load-failed",
        G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent, char*, GError* error, gpointer self) {
          static_cast<ReaderActionsTest*>(self)->load_error_ = error->code;
          return FALSE;
        }),
        this);
    gtk_widget_show_all(GTK_WIDGET(window_));
    ASSERT_TRUE(RunUntil([this] { return gtk_window_is_active(window_) != FALSE; }))
        << "the test window never got the keyboard focus";
    gtk_widget_grab_focus(GTK_WIDGET(view_));
    find_bar_ = FindNamed(GTK_WIDGET(window_), kFindBarName);
    find_entry_ = FindNamed(GTK_WIDGET(window_), kFindEntryName);
    find_count_ = FindNamed(GTK_WIDGET(window_), kFindCountName);
    ASSERT_NE(find_bar_, nullptr);
    ASSERT_NE(find_entry_, nullptr);
    ASSERT_NE(find_count_, nullptr);
    gtk_window_get_size(window_, &width_, &height_);
    resizable_ = gtk_window_get_resizable(window_) != FALSE;
  }

  void TearDown() override {
    // None of the reader's keys touches what the settings decide.
    EXPECT_STREQ(gtk_window_get_title(window_), kTitle);
    EXPECT_EQ(Size(), (std::pair{width_, height_}));
    EXPECT_EQ(gtk_window_get_resizable(window_) != FALSE, resizable_);
    EXPECT_TRUE(gtk_window_get_decorated(window_));
    gtk_widget_destroy(GTK_WIDGET(window_));
    RunUntil([] { return false; }, 50);
  }

  std::pair<int, int> Size() const {
    int width = 0;
    int height = 0;
    gtk_window_get_size(window_, &width, &height);
    return {width, height};
  }

  static std::string BookUri(const char* page) {
    gchar* uri = g_strconcat("file://", VELLUM_READER_BOOK, "/", page, nullptr);
    std::string result(uri);
    g_free(uri);
    return result;
  }

  void Load(const char* page) {
    const int finishes = finishes_;
    webkit_web_view_load_uri(view_, BookUri(page).c_str());
    ASSERT_TRUE(RunUntil([&] { return finishes_ > finishes; })) << "loading " << page;
  }

  std::string Uri() const {
    const char* uri = webkit_web_view_get_uri(view_);
    return uri != nullptr ? uri : "";
  }

  // Waits for the view to show `page`, fully loaded.
  bool Shows(const char* page) {
    const std::string uri = BookUri(page);
    return RunUntil([&] { return Uri() == uri && !webkit_web_view_is_loading(view_); });
  }

  // Runs `script` in the page and returns its value as text. Key events queue up for the page
  // while a script goes straight to it: wait for a key's effect, never assume it.
  std::string Eval(const char* script) {
    struct Answer {
      bool done = false;
      std::string text;
    };
    // Left to the callback when the page never answers, so that a late answer lands safely.
    auto* answer = new Answer;
    webkit_web_view_evaluate_javascript(
        view_, script, -1, nullptr, nullptr, nullptr,
        +[](GObject* view, GAsyncResult* result, gpointer data) {
          auto* out = static_cast<Answer*>(data);
          GError* error = nullptr;
          JSCValue* value =
              webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, &error);
          if (value != nullptr) {
            gchar* text = jsc_value_to_string(value);
            out->text = text;
            g_free(text);
            g_object_unref(value);
          } else {
            out->text = std::string("error: ") + error->message;
            g_error_free(error);
          }
          out->done = true;
        },
        answer);
    if (!RunUntil([&] { return answer->done; })) {
      ADD_FAILURE() << "no answer to " << script;
      return "";
    }
    std::string text = std::move(answer->text);
    delete answer;
    return text;
  }

  // The items of the context menu a right click in the view brings up; the menu itself is
  // not shown.
  std::vector<WebKitContextMenuAction> ContextMenuActions() {
    struct Seen {
      std::vector<WebKitContextMenuAction> actions;
      bool done = false;
    } seen;
    const gulong handler = g_signal_connect(
        view_, "context-menu",
        G_CALLBACK(+[](WebKitWebView*, WebKitContextMenu* menu, GdkEvent*, WebKitHitTestResult*,
                       gpointer data) {
          auto* out = static_cast<Seen*>(data);
          for (GList* item = webkit_context_menu_get_items(menu); item != nullptr;
               item = item->next) {
            out->actions.push_back(
                webkit_context_menu_item_get_stock_action(WEBKIT_CONTEXT_MENU_ITEM(item->data)));
          }
          out->done = true;
          return TRUE;
        }),
        &seen);
    input_.Click(GTK_WIDGET(view_), 3);
    EXPECT_TRUE(RunUntil([&] { return seen.done; }));
    g_signal_handler_disconnect(view_, handler);
    return seen.actions;
  }

  // Waits for `script` to give `expected`: keys reach the page one after the other, and a script
  // may overtake them.
  bool EvalGives(const char* script, const std::string& expected) {
    return RunUntil([&] { return Eval(script) == expected; });
  }

  double Zoom() const { return webkit_web_view_get_zoom_level(view_); }
  bool FindBarShown() const { return gtk_widget_get_visible(find_bar_) != FALSE; }
  std::string MatchCount() const { return gtk_label_get_text(GTK_LABEL(find_count_)); }
  bool MatchCountIs(const char* text) {
    return RunUntil([&] { return MatchCount() == text; });
  }

  Input input_;
  GtkWindow* window_ = nullptr;
  GtkBox* content_ = nullptr;
  WebKitWebView* view_ = nullptr;
  GtkWidget* find_bar_ = nullptr;
  GtkWidget* find_entry_ = nullptr;
  GtkWidget* find_count_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  bool resizable_ = true;
  int commits_ = 0;
  int finishes_ = 0;
  int load_error_ = 0;
};

TEST_F(ReaderActionsTest, AltArrowsAndMouseButtonsGoBackAndForward) {
  Load("page1.html");
  Load("page2.html");

  input_.Tap({XK_Alt_L}, XK_Left);
  EXPECT_TRUE(Shows("page1.html"));
  input_.Tap({XK_Alt_L}, XK_Right);
  EXPECT_TRUE(Shows("page2.html"));
  input_.Click(GTK_WIDGET(view_), 8);
  EXPECT_TRUE(Shows("page1.html"));
  input_.Click(GTK_WIDGET(view_), 9);
  EXPECT_TRUE(Shows("page2.html"));
}

TEST_F(ReaderActionsTest, F5AndCtrlRReload) {
  Load("page1.html");
  Eval("window.marker = 'before reload'");
  struct Case {
    std::initializer_list<KeySym> modifiers;
    KeySym key;
  };
  for (const Case& reload : {Case{{}, XK_F5}, Case{{XK_Control_L}, XK_r},
                             Case{{XK_Control_L}, XK_F5}, Case{{XK_Control_L, XK_Shift_L}, XK_r}}) {
    SCOPED_TRACE(XKeysymToString(reload.key));
    const int commits = commits_;
    input_.Tap(reload.modifiers, reload.key);
    EXPECT_TRUE(RunUntil([&] { return commits_ == commits + 1; }));
    EXPECT_TRUE(Shows("page1.html"));
    EXPECT_EQ(Eval("String(window.marker)"), "undefined");
    Eval("window.marker = 'before reload'");
  }
}

TEST_F(ReaderActionsTest, EscapeStopsLoading) {
  Load("page1.html");
  webkit_web_view_load_uri(view_, (std::string(kStalledScheme) + ":page").c_str());
  ASSERT_TRUE(RunUntil([&] { return webkit_web_view_is_loading(view_) != FALSE; }));
  input_.Tap({}, XK_Escape);
  EXPECT_TRUE(RunUntil([&] { return webkit_web_view_is_loading(view_) == FALSE; }));
  EXPECT_EQ(load_error_, WEBKIT_NETWORK_ERROR_CANCELLED);
}

TEST_F(ReaderActionsTest, CtrlKeysAndCtrlWheelZoomTheWholePage) {
  Load("page1.html");
  const int css_width = std::stoi(Eval("window.innerWidth"));
  struct Step {
    std::initializer_list<KeySym> modifiers;
    KeySym key;  // 0: the wheel, up (4) or down (5)
    unsigned button;
    double zoom;
  };
  const Step steps[] = {
      {{XK_Control_L}, XK_plus, 0, 1.1},
      {{XK_Control_L}, XK_equal, 0, 1.25},
      {{XK_Control_L}, XK_KP_Add, 0, 1.5},
      {{XK_Control_L}, XK_minus, 0, 1.25},
      {{XK_Control_L}, XK_KP_Subtract, 0, 1.1},
      {{XK_Control_L}, XK_0, 0, 1.0},
      {{XK_Control_L}, XK_minus, 0, 0.9},
      {{XK_Control_L}, XK_0, 0, 1.0},
      {{XK_Control_L}, 0, 4, 1.1},
      {{XK_Control_L}, 0, 5, 1.0},
      {{XK_Control_L}, 0, 5, 0.9},
      {{}, 0, 4, 0.9},  // the plain wheel scrolls
      {{XK_Control_L}, XK_0, 0, 1.0},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.key != 0      ? XKeysymToString(step.key)
                 : step.button == 4 ? "wheel up"
                                    : "wheel down");
    if (step.key != 0) {
      input_.Tap(step.modifiers, step.key);
    } else {
      input_.Click(GTK_WIDGET(view_), step.button, step.modifiers);
    }
    EXPECT_TRUE(RunUntil([&] { return std::abs(Zoom() - step.zoom) < 0.001; }))
        << "zoom is " << Zoom();
  }

  // Ctrl+wheel is the window's; the plain wheel stays the page's.
  EXPECT_TRUE(EvalGives("wheels", "1")) << Eval("wheels");

  // Zooming scales the layout, not only the text; the level stays with the window's pages.
  input_.Tap({XK_Control_L}, XK_plus);
  input_.Tap({XK_Control_L}, XK_plus);
  ASSERT_TRUE(RunUntil([&] { return std::abs(Zoom() - 1.25) < 0.001; }));
  EXPECT_LT(std::stoi(Eval("window.innerWidth")), css_width * 0.85);
  Load("page2.html");
  EXPECT_DOUBLE_EQ(Zoom(), 1.25);
  input_.Tap({XK_Control_L}, XK_0);
  EXPECT_TRUE(RunUntil([&] { return Zoom() == 1.0; }));
}

TEST_F(ReaderActionsTest, FindBarFindsCountsAndCloses) {
  Load("page1.html");
  // Showing the whole window, as the backend does, leaves the find bar hidden.
  EXPECT_FALSE(FindBarShown());

  input_.Tap({XK_Control_L}, XK_f);
  ASSERT_TRUE(RunUntil([&] { return FindBarShown(); }));
  EXPECT_TRUE(gtk_widget_has_focus(find_entry_));
  EXPECT_EQ(Size(), (std::pair{width_, height_}));

  input_.Type("lantern");
  EXPECT_TRUE(MatchCountIs("3 matches")) << MatchCount();
  const char* kSelected = "window.getSelection().anchorNode.parentNode.id";
  EXPECT_TRUE(RunUntil([&] { return Eval(kSelected) == "match1"; })) << Eval(kSelected);
  input_.Tap({}, XK_Return);
  EXPECT_TRUE(RunUntil([&] { return Eval(kSelected) == "match2"; })) << Eval(kSelected);
  input_.Tap({}, XK_Return);
  EXPECT_TRUE(RunUntil([&] { return Eval(kSelected) == "match3"; })) << Eval(kSelected);
  input_.Tap({}, XK_Return);  // wraps around
  EXPECT_TRUE(RunUntil([&] { return Eval(kSelected) == "match1"; })) << Eval(kSelected);
  input_.Tap({XK_Shift_L}, XK_Return);
  EXPECT_TRUE(RunUntil([&] { return Eval(kSelected) == "match3"; })) << Eval(kSelected);

  input_.Type("s");
  EXPECT_TRUE(MatchCountIs("No matches")) << MatchCount();
  input_.Tap({}, XK_BackSpace);
  input_.Tap({}, XK_BackSpace);
  input_.Tap({}, XK_BackSpace);
  EXPECT_TRUE(MatchCountIs("3 matches")) << MatchCount();  // "lante"

  // Another page under the open bar: its matches are counted.
  Load("form.html");
  EXPECT_TRUE(MatchCountIs("1 match")) << MatchCount();

  input_.Tap({}, XK_Escape);
  EXPECT_TRUE(RunUntil([&] { return !FindBarShown(); }));
  EXPECT_TRUE(gtk_widget_has_focus(GTK_WIDGET(view_)));

  // Reopened, the bar searches for the last text again.
  Load("page1.html");
  input_.Tap({XK_Control_L}, XK_f);
  ASSERT_TRUE(RunUntil([&] { return FindBarShown(); }));
  EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(find_entry_)), "lante");
  EXPECT_TRUE(MatchCountIs("3 matches")) << MatchCount();
  EXPECT_TRUE(RunUntil([&] { return Eval(kSelected) == "match1"; })) << Eval(kSelected);
  // The page's own Escape closes the bar when nothing is loading.
  gtk_widget_grab_focus(GTK_WIDGET(view_));
  input_.Tap({}, XK_Escape);
  EXPECT_TRUE(RunUntil([&] { return !FindBarShown(); }));
}

TEST_F(ReaderActionsTest, TextFieldsKeepTheirKeys) {
  Load("form.html");
  Eval("document.getElementById('field').focus()");
  input_.Type("Hello");
  input_.Tap({}, XK_BackSpace);
  input_.Tap({}, XK_Escape);
  input_.Tap({XK_Control_L}, XK_a);  // the field's own select-all...
  input_.Type("Lantern");            // ...replaced by typing
  EXPECT_TRUE(EvalGives("document.getElementById('field').value", "Lantern"))
      << Eval("document.getElementById('field').value");

  // A field that handles the reader's keys itself keeps them, as in a browser.
  Load("form.html");
  const double zoom = Zoom();
  const int commits = commits_;
  Eval("document.getElementById('claimer').focus()");
  input_.Tap({}, XK_F5);
  input_.Tap({XK_Control_L}, XK_r);
  input_.Tap({XK_Control_L}, XK_f);
  input_.Tap({XK_Control_L}, XK_p);
  input_.Tap({XK_Control_L}, XK_plus);
  input_.Tap({}, XK_Escape);
  input_.Type("ok");
  EXPECT_TRUE(EvalGives("document.getElementById('claimer').value", "ok"))
      << Eval("document.getElementById('claimer').value");
  EXPECT_EQ(Eval("claimed.join(' ')"), "F5 Ctrl+r Ctrl+f Ctrl+p Ctrl++ Escape");
  EXPECT_EQ(commits_, commits);
  EXPECT_FALSE(FindBarShown());
  EXPECT_EQ(Zoom(), zoom);
  EXPECT_EQ(PrintDialogFor(window_), nullptr);
  EXPECT_TRUE(Shows("form.html"));

  // Keys a field leaves alone are still the reader's, as in a browser.
  Eval("document.getElementById('field').focus()");
  input_.Tap({XK_Control_L}, XK_f);
  EXPECT_TRUE(RunUntil([&] { return FindBarShown(); }));
}

// A small window with a fixed border: GTK gives a window that cannot be resized the larger of
// its default size and what its contents ask for.
class FixedWindowTest : public ReaderActionsTest {
 protected:
  void Shape(GtkWindow* window) override {
    gtk_window_set_default_size(window, 180, 120);
    gtk_window_set_resizable(window, FALSE);
  }
};

TEST_F(FixedWindowTest, FindBarKeepsTheWindowSize) {
  Load("page1.html");
  input_.Tap({XK_Control_L}, XK_f);
  ASSERT_TRUE(RunUntil([&] { return FindBarShown(); }));
  input_.Type("a word that is nowhere in this page");
  EXPECT_TRUE(MatchCountIs("No matches")) << MatchCount();
  RunUntil([] { return false; }, 300);  // time for a resize to happen
  EXPECT_EQ(Size(), (std::pair{width_, height_}));
  input_.Tap({}, XK_Escape);
  EXPECT_TRUE(RunUntil([&] { return !FindBarShown(); }));
}

// Starts something that opens this window's print dialog, and cancels the dialog with Escape
// once it shows.
class PrintDialogWatch {
 public:
  PrintDialogWatch(GtkWindow* parent, Input& input) : parent_(parent), input_(input) {
    deadline_ = g_get_monotonic_time() + 20 * G_USEC_PER_SEC;
    g_timeout_add(50, &PrintDialogWatch::Check, this);
  }
  ~PrintDialogWatch() { g_source_remove_by_user_data(this); }
  PrintDialogWatch(const PrintDialogWatch&) = delete;
  PrintDialogWatch& operator=(const PrintDialogWatch&) = delete;

  bool Finished() const { return finished_; }
  bool Shown() const { return shown_; }
  bool Cancelled() const { return shown_ && !forced_; }

 private:
  static gboolean Check(gpointer data) {
    auto* watch = static_cast<PrintDialogWatch*>(data);
    GtkWidget* dialog = PrintDialogFor(watch->parent_);
    if (dialog == nullptr) {
      if (!watch->shown_) return G_SOURCE_CONTINUE;
      watch->finished_ = true;
      return G_SOURCE_REMOVE;
    }
    watch->shown_ = true;
    if (g_get_monotonic_time() > watch->deadline_) {
      watch->forced_ = true;
      gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
    } else if (!watch->escape_sent_ && gtk_window_is_active(GTK_WINDOW(dialog))) {
      watch->escape_sent_ = true;
      watch->input_.Tap({}, XK_Escape);
    }
    return G_SOURCE_CONTINUE;
  }

  GtkWindow* parent_;
  Input& input_;
  gint64 deadline_;
  bool shown_ = false;
  bool escape_sent_ = false;
  bool forced_ = false;
  bool finished_ = false;
};

TEST_F(ReaderActionsTest, CtrlPAndWindowPrintOpenThePrintDialog) {
  Load("print.html");
  {
    PrintDialogWatch watch(window_, input_);
    input_.Tap({XK_Control_L}, XK_p);
    EXPECT_TRUE(RunUntil([&] { return watch.Finished(); }, 30000));
    EXPECT_TRUE(watch.Shown());
    EXPECT_TRUE(watch.Cancelled()) << "Escape did not close the print dialog";
  }
  {
    PrintDialogWatch watch(window_, input_);
    webkit_web_view_evaluate_javascript(view_, "document.getElementById('print').click()", -1,
                                        nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_TRUE(RunUntil([&] { return watch.Finished(); }, 30000));
    EXPECT_TRUE(watch.Shown());
    EXPECT_TRUE(watch.Cancelled()) << "Escape did not close the print dialog";
  }
  // The page goes on working after the dialogs.
  EXPECT_EQ(Eval("document.title"), "Printable");
}

// A window may go while its print dialog is open: a popup its page or its opener closes. Its
// dialog goes with it; left open, the dialog's Print button would print a web view that is gone.
class WindowGoneUnderPrintDialogTest : public ReaderActionsTest {
 protected:
  void TearDown() override {
    if (window_ != nullptr) gtk_widget_destroy(GTK_WIDGET(window_));
    RunUntil([] { return false; }, 50);
  }
};

TEST_F(WindowGoneUnderPrintDialogTest, DialogClosesWithItsWindow) {
  Load("print.html");
  struct Watch {
    GtkWindow** window;
    GtkWidget* dialog = nullptr;  // weak
    gint64 deadline = 0;
    bool destroyed = false;
    bool forced = false;
  } watch{&window_};
  g_timeout_add(
      50,
      +[](gpointer data) -> gboolean {
        auto* w = static_cast<Watch*>(data);
        if (!w->destroyed) {
          GtkWidget* dialog = PrintDialogFor(*w->window);
          if (dialog == nullptr) return G_SOURCE_CONTINUE;
          w->dialog = dialog;
          g_object_add_weak_pointer(G_OBJECT(dialog), reinterpret_cast<gpointer*>(&w->dialog));
          gtk_widget_destroy(GTK_WIDGET(*w->window));
          *w->window = nullptr;
          w->destroyed = true;
          w->deadline = g_get_monotonic_time() + 5 * G_USEC_PER_SEC;
          return G_SOURCE_CONTINUE;
        }
        if (w->dialog == nullptr) return G_SOURCE_REMOVE;
        if (g_get_monotonic_time() > w->deadline) {
          // Still open without its window: put it away, as the reader's Cancel would.
          w->forced = true;
          gtk_dialog_response(GTK_DIALOG(w->dialog), GTK_RESPONSE_CANCEL);
        }
        return G_SOURCE_CONTINUE;
      },
      &watch);
  input_.Tap({XK_Control_L}, XK_p);
  EXPECT_TRUE(RunUntil([&] { return watch.destroyed && watch.dialog == nullptr; }, 30000));
  g_source_remove_by_user_data(&watch);
  EXPECT_TRUE(watch.destroyed) << "the print dialog never showed";
  EXPECT_FALSE(watch.forced) << "the print dialog outlived its window";
}

// The dialog's Print prints the page with the reader's choices, which the next dialog starts from.
TEST_F(ReaderActionsTest, PrintDialogPrintsWithTheChosenSettings) {
  Load("print.html");
  gchar* dir = g_dir_make_tmp("vellum-print-XXXXXX", nullptr);
  ASSERT_NE(dir, nullptr);
  const std::string pdf = std::string(dir) + "/page.pdf";
  gchar* uri = g_filename_to_uri(pdf.c_str(), nullptr, nullptr);
  GtkPrintSettings* settings = gtk_print_settings_new();
  gtk_print_settings_set_printer(settings, kFilePrinter);
  gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_URI, uri);
  gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_FILE_FORMAT, "pdf");
  g_free(uri);
  input_.Tap({XK_Control_L}, XK_p);
  GtkWidget* dialog = nullptr;
  ASSERT_TRUE(RunUntil([&] { return (dialog = PrintDialogFor(window_)) != nullptr; }));
  gtk_print_unix_dialog_set_settings(GTK_PRINT_UNIX_DIALOG(dialog), settings);
  g_object_unref(settings);
  ASSERT_TRUE(RunUntil([&] { return SelectedPrinter(dialog) == kFilePrinter; }))
      << "the file printer never showed up";
  gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
  EXPECT_EQ(PrintDialogFor(window_), nullptr);
  EXPECT_TRUE(RunUntil([&] { return FileStart(pdf) == "%PDF"; }, 30000)) << "nothing printed";

  input_.Tap({XK_Control_L}, XK_p);
  ASSERT_TRUE(RunUntil([&] { return (dialog = PrintDialogFor(window_)) != nullptr; }));
  EXPECT_TRUE(RunUntil([&] { return SelectedPrinter(dialog) == kFilePrinter; }));
  gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
  EXPECT_EQ(PrintDialogFor(window_), nullptr);
  g_remove(pdf.c_str());
  g_rmdir(dir);
  g_free(dir);
}

TEST_F(ReaderActionsTest, F7TogglesCaretBrowsing) {
  Load("page1.html");
  Eval("var keyups = 0; addEventListener('keyup', function () { ++keyups; })");
  // Where Right leaves a caret put at the start of the first match, once the page saw the key.
  int keyups = 0;
  const auto right_from_start = [&] {
    Eval("getSelection().collapse(document.getElementById('match1').firstChild, 0)");
    input_.Tap({}, XK_Right);
    EXPECT_TRUE(EvalGives("keyups", std::to_string(++keyups)));
    return Eval("String(getSelection().focusOffset)");
  };
  EXPECT_EQ(right_from_start(), "0") << "off at start: the arrow scrolls";
  input_.Tap({}, XK_F7);
  ++keyups;
  EXPECT_EQ(right_from_start(), "1") << "on: the caret moves";
  input_.Tap({}, XK_F7);
  ++keyups;
  EXPECT_EQ(right_from_start(), "0") << "off again";
}

TEST_F(ReaderActionsTest, FindBarControlsHaveNamesForScreenReaders) {
  const std::pair<const char*, const char*> names[] = {{kFindEntryName, "Find"},
                                                       {kFindPreviousName, "Previous match"},
                                                       {kFindNextName, "Next match"},
                                                       {kFindCloseName, "Close find bar"}};
  for (const auto& [widget, name] : names) {
    GtkWidget* found = FindNamed(GTK_WIDGET(window_), widget);
    ASSERT_NE(found, nullptr) << widget;
    EXPECT_STREQ(atk_object_get_name(gtk_widget_get_accessible(found)), name) << widget;
  }
}

TEST_F(ReaderActionsTest, ContextMenuKeepsHistoryReloadAndCopy) {
  Load("page1.html");
  Load("page2.html");
  const auto has = [](const std::vector<WebKitContextMenuAction>& actions,
                      WebKitContextMenuAction action) {
    return std::find(actions.begin(), actions.end(), action) != actions.end();
  };
  const std::vector<WebKitContextMenuAction> page = ContextMenuActions();
  EXPECT_TRUE(has(page, WEBKIT_CONTEXT_MENU_ACTION_GO_BACK));
  EXPECT_TRUE(has(page, WEBKIT_CONTEXT_MENU_ACTION_GO_FORWARD));
  EXPECT_TRUE(has(page, WEBKIT_CONTEXT_MENU_ACTION_RELOAD));

  Eval("window.getSelection().selectAllChildren(document.body)");
  EXPECT_TRUE(has(ContextMenuActions(), WEBKIT_CONTEXT_MENU_ACTION_COPY));
}

// A page load that never ends, to have something for Escape to stop.
void StallRequest(WebKitURISchemeRequest* request, gpointer) {
  g_object_ref(request);  // never answered; released with the process
}

}  // namespace
}  // namespace vellum::platform::gtk

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "These tests need an X display; run them under scripts/with-display.sh\n");
    return 1;
  }
  webkit_web_context_register_uri_scheme(webkit_web_context_get_default(),
                                         vellum::platform::gtk::kStalledScheme,
                                         vellum::platform::gtk::StallRequest, nullptr, nullptr);
  return RUN_ALL_TESTS();
}
