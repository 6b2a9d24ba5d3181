// SPDX-License-Identifier: MIT
// The desktop's light or dark style, as the desktop portal tells it, for GTK and thus for pages.
#pragma once

#include <gio/gio.h>

namespace vellum::platform::gtk {

// From construction to destruction, GTK's prefer-dark setting follows the desktop's colour scheme
// (the Settings portal's org.freedesktop.appearance color-scheme): dark when the desktop prefers
// dark, light when it prefers light, and the reader's own GTK setting when it says nothing.
// WebKit reports the setting to pages as prefers-color-scheme. The portal is asked without
// waiting for its answer; with no portal nothing changes, and a reader's GTK_THEME is left alone.
class DesktopColorScheme {
 public:
  DesktopColorScheme();
  ~DesktopColorScheme();
  // Neither copied nor moved (a deleted move deletes the copies too): the portal's answers
  // come back to this address.
  DesktopColorScheme(DesktopColorScheme&&) = delete;

 private:
  static void OnBus(GObject*, GAsyncResult* result, gpointer self);
  static void OnReadOne(GObject* bus, GAsyncResult* result, gpointer self);
  static void OnRead(GObject* bus, GAsyncResult* result, gpointer self);
  static void OnChanged(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                        GVariant* parameters, gpointer self);
  void Read(const char* method, GAsyncReadyCallback done);
  void Apply(GVariant* value);

  GCancellable* cancellable_ = nullptr;
  GDBusConnection* bus_ = nullptr;
  guint subscription_ = 0;
  gboolean readers_own_ = FALSE;  // the prefer-dark setting before the desktop had its say
};

}  // namespace vellum::platform::gtk
