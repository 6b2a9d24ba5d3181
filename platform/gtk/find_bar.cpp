// SPDX-License-Identifier: MIT
#include "platform/gtk/find_bar.h"

// No C++ exception can leave these callbacks: nothing below throws.

namespace vellum::platform::gtk {
namespace {

// Matches beyond this many are not counted; the bar then says "More than ...".
constexpr guint kMaxCountedMatches = 1000;
constexpr guint32 kFindOptions =
    WEBKIT_FIND_OPTIONS_CASE_INSENSITIVE | WEBKIT_FIND_OPTIONS_WRAP_AROUND;

GtkWidget* Named(GtkWidget* widget, const char* name, const char* accessible_name) {
  gtk_widget_set_name(widget, name);
  // What a screen reader says for it; a tooltip is only its description.
  atk_object_set_name(gtk_widget_get_accessible(widget), accessible_name);
  return widget;
}

GtkWidget* IconButton(const char* icon, const char* tooltip) {
  GtkWidget* button = gtk_button_new_from_icon_name(icon, GTK_ICON_SIZE_BUTTON);
  gtk_widget_set_tooltip_text(button, tooltip);
  gtk_widget_set_focus_on_click(button, FALSE);
  gtk_widget_set_valign(button, GTK_ALIGN_CENTER);
  return button;
}

// Connects `handler` for as long as `owner` is not disposed.
void ConnectWhile(gpointer instance, const char* signal, GCallback handler, gpointer data,
                  GtkWidget* owner) {
  GClosure* closure = g_cclosure_new(handler, data, nullptr);
  g_object_watch_closure(G_OBJECT(owner), closure);
  g_signal_connect_closure(instance, signal, closure, FALSE);
}

}  // namespace

FindBar& FindBar::Add(GtkBox* content, WebKitWebView* view) {
  auto* bar = new FindBar(content, view);
  g_object_set_data_full(G_OBJECT(bar->bar_), "vellum-find-bar", bar,
                         [](gpointer self) { delete static_cast<FindBar*>(self); });
  return *bar;
}

FindBar::FindBar(GtkBox* content, WebKitWebView* view)
    : view_(view), find_(webkit_web_view_get_find_controller(view)) {
  g_object_add_weak_pointer(G_OBJECT(view_), reinterpret_cast<gpointer*>(&view_));
  GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 4);
  gtk_container_set_border_width(GTK_CONTAINER(row), 4);
  entry_ = Named(gtk_search_entry_new(), kFindEntryName, "Find");
  gtk_entry_set_placeholder_text(GTK_ENTRY(entry_), "Find in page");
  gtk_entry_set_width_chars(GTK_ENTRY(entry_), 12);
  gtk_entry_set_max_width_chars(GTK_ENTRY(entry_), 30);
  GtkWidget* previous_button = Named(IconButton("go-up-symbolic", "Previous match (Shift+Enter)"),
                                     kFindPreviousName, "Previous match");
  GtkWidget* next_button =
      Named(IconButton("go-down-symbolic", "Next match (Enter)"), kFindNextName, "Next match");
  count_ = gtk_label_new("");
  gtk_widget_set_name(count_, kFindCountName);
  gtk_label_set_xalign(GTK_LABEL(count_), 0.0F);
  gtk_label_set_ellipsize(GTK_LABEL(count_), PANGO_ELLIPSIZE_END);
  GtkWidget* close_button = Named(IconButton("window-close-symbolic", "Close (Escape)"),
                                  kFindCloseName, "Close find bar");
  gtk_button_set_relief(GTK_BUTTON(close_button), GTK_RELIEF_NONE);
  gtk_box_pack_start(GTK_BOX(row), entry_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(row), previous_button, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(row), next_button, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(row), count_, TRUE, TRUE, 4);
  gtk_box_pack_end(GTK_BOX(row), close_button, FALSE, FALSE, 0);

  bar_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_widget_set_name(bar_, kFindBarName);
  gtk_box_pack_start(GTK_BOX(bar_), gtk_separator_new(GTK_ORIENTATION_HORIZONTAL), FALSE, FALSE, 0);
  // The row asks for no width of its own: a narrow window with a fixed border would otherwise
  // grow to fit it. It is clipped instead.
  GtkWidget* clip = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(clip), GTK_POLICY_EXTERNAL, GTK_POLICY_NEVER);
  gtk_scrolled_window_set_propagate_natural_width(GTK_SCROLLED_WINDOW(clip), FALSE);
  gtk_container_add(GTK_CONTAINER(clip), row);
  gtk_box_pack_start(GTK_BOX(bar_), clip, FALSE, FALSE, 0);
  gtk_widget_show_all(bar_);
  gtk_widget_hide(bar_);
  gtk_widget_set_no_show_all(bar_, TRUE);
  gtk_box_pack_end(content, bar_, FALSE, FALSE, 0);

  // The bar's own widgets go before this object; the view and its find controller may outlive
  // it, so their connections end as the bar is disposed.
  g_signal_connect(entry_, "key-press-event", G_CALLBACK(OnEntryKeyPress), this);
  constexpr auto start = +[](GtkWidget*, FindBar* self) { self->StartSearch(); };
  constexpr auto next = +[](GtkWidget*, FindBar* self) { self->Search(Direction::kNext); };
  constexpr auto back = +[](GtkWidget*, FindBar* self) { self->Search(Direction::kPrevious); };
  g_signal_connect(entry_, "search-changed", G_CALLBACK(start), this);
  g_signal_connect(entry_, "next-match", G_CALLBACK(next), this);
  g_signal_connect(entry_, "previous-match", G_CALLBACK(back), this);
  g_signal_connect(next_button, "clicked", G_CALLBACK(next), this);
  g_signal_connect(previous_button, "clicked", G_CALLBACK(back), this);
  g_signal_connect(close_button, "clicked",
                   G_CALLBACK(+[](GtkWidget*, FindBar* self) { self->Close(); }), this);
  ConnectWhile(find_, "counted-matches",
               G_CALLBACK(+[](WebKitFindController*, guint count, FindBar* self) {
                 // Counts that come in after the reader cleared the text or closed the bar
                 // are stale.
                 if (self->IsOpen() && self->Text()[0] != '\0') self->ShowMatchCount(count);
               }),
               this, bar_);
  ConnectWhile(view_, "load-changed", G_CALLBACK(OnLoadChanged), this, bar_);
}

FindBar::~FindBar() {
  if (view_ != nullptr) {
    g_object_remove_weak_pointer(G_OBJECT(view_), reinterpret_cast<gpointer*>(&view_));
  }
}

void FindBar::Open() {
  const bool was_open = IsOpen();
  gtk_widget_show(bar_);
  // Focusing the entry selects its text, so typing replaces the last search.
  gtk_widget_grab_focus(entry_);
  if (!was_open && Text()[0] != '\0') StartSearch();
}

void FindBar::Close() {
  const bool had_focus = gtk_widget_has_focus(entry_) != FALSE;
  gtk_widget_hide(bar_);
  search_active_ = false;
  if (view_ == nullptr) return;
  webkit_find_controller_search_finish(find_);
  if (had_focus) gtk_widget_grab_focus(GTK_WIDGET(view_));
}

void FindBar::FindAgain(Direction direction) {
  if (Text()[0] == '\0') {
    Open();
    return;
  }
  gtk_widget_show(bar_);
  Search(direction);
}

void FindBar::StartSearch() {
  if (view_ == nullptr) return;
  const char* text = Text();
  search_active_ = text[0] != '\0';
  if (!search_active_) {
    webkit_find_controller_search_finish(find_);
    gtk_label_set_text(GTK_LABEL(count_), "");
    gtk_style_context_remove_class(gtk_widget_get_style_context(entry_), "error");
    return;
  }
  webkit_find_controller_search(find_, text, kFindOptions, kMaxCountedMatches);
  webkit_find_controller_count_matches(find_, text, kFindOptions, kMaxCountedMatches);
}

void FindBar::Search(Direction direction) {
  if (view_ == nullptr || Text()[0] == '\0') return;
  if (!search_active_) {
    StartSearch();  // finds the first match
  } else if (direction == Direction::kPrevious) {
    webkit_find_controller_search_previous(find_);
  } else {
    webkit_find_controller_search_next(find_);
  }
}

void FindBar::ShowMatchCount(guint count) {
  GtkStyleContext* style = gtk_widget_get_style_context(entry_);
  if (count == 0) {
    gtk_label_set_text(GTK_LABEL(count_), "No matches");
    gtk_style_context_add_class(style, "error");
    return;
  }
  gtk_style_context_remove_class(style, "error");
  gchar* text = count > kMaxCountedMatches
                    ? g_strdup_printf("More than %u matches", kMaxCountedMatches)
                : count == 1 ? g_strdup("1 match")
                             : g_strdup_printf("%u matches", count);
  gtk_label_set_text(GTK_LABEL(count_), text);
  g_free(text);
}

gboolean FindBar::OnEntryKeyPress(GtkWidget*, GdkEventKey* event, FindBar* bar) {
  const guint modifiers =
      event->state & (GDK_CONTROL_MASK | GDK_SHIFT_MASK | GDK_MOD1_MASK | GDK_SUPER_MASK);
  switch (event->keyval) {
    case GDK_KEY_Escape:
      if (modifiers != 0) return FALSE;
      bar->Close();
      return TRUE;
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_ISO_Enter:
      if (modifiers != 0 && modifiers != GDK_SHIFT_MASK) return FALSE;
      bar->Search(modifiers == 0 ? Direction::kNext : Direction::kPrevious);
      return TRUE;
    default:
      return FALSE;
  }
}

void FindBar::OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, FindBar* bar) {
  // A new page under an open bar: its matches are counted, and the next Enter starts from its
  // top. The page is left where it is until then.
  if (event != WEBKIT_LOAD_FINISHED || !bar->IsOpen() || bar->view_ == nullptr) return;
  bar->search_active_ = false;
  if (bar->Text()[0] != '\0') {
    webkit_find_controller_count_matches(bar->find_, bar->Text(), kFindOptions, kMaxCountedMatches);
  }
}

}  // namespace vellum::platform::gtk
