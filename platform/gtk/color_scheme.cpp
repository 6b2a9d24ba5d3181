// SPDX-License-Identifier: MIT
#include "platform/gtk/color_scheme.h"

#include <gtk/gtk.h>

#include "platform/gtk/gobject_cast.h"

namespace vellum::platform::gtk {

namespace {

constexpr char kPortal[] = "org.freedesktop.portal.Desktop";
constexpr char kPortalPath[] = "/org/freedesktop/portal/desktop";
constexpr char kSettings[] = "org.freedesktop.portal.Settings";
constexpr char kAppearance[] = "org.freedesktop.appearance";
constexpr char kColorScheme[] = "color-scheme";
constexpr char kPreferDark[] = "gtk-application-prefer-dark-theme";

// The portal's values: no preference, prefer dark, prefer light.
enum ColorScheme : guint32 { kNoPreference = 0, kPreferDarkScheme = 1, kPreferLightScheme = 2 };

// A finished call's reply, or nothing; true in `cancelled` when the owner is gone.
GVariant* Reply(GObject* bus, GAsyncResult* result, bool& cancelled, bool& unknown_method) {
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_finish(As<GDBusConnection>(bus), result, &error);
  cancelled = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
  unknown_method = g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD);
  g_clear_error(&error);
  return reply;
}

}  // namespace

DesktopColorScheme::DesktopColorScheme() {
  // A theme the reader names, dark or light, is the reader's choice and stays as it is.
  if (g_getenv("GTK_THEME") != nullptr) return;
  GtkSettings* settings = gtk_settings_get_default();
  if (settings == nullptr) return;
  g_object_get(settings, kPreferDark, &readers_own_, nullptr);
  cancellable_ = g_cancellable_new();
  g_bus_get(G_BUS_TYPE_SESSION, cancellable_, OnBus, this);
}

DesktopColorScheme::~DesktopColorScheme() {
  if (cancellable_ != nullptr) {
    g_cancellable_cancel(cancellable_);
    g_object_unref(cancellable_);
  }
  if (subscription_ != 0) g_dbus_connection_signal_unsubscribe(bus_, subscription_);
  if (bus_ != nullptr) g_object_unref(bus_);
}

void DesktopColorScheme::OnBus(GObject*, GAsyncResult* result, gpointer self) {
  GDBusConnection* bus = g_bus_get_finish(result, nullptr);
  if (bus == nullptr) return;  // no session bus, or the program is ending
  auto* scheme = static_cast<DesktopColorScheme*>(self);
  if (g_cancellable_is_cancelled(scheme->cancellable_)) {
    g_object_unref(bus);
    return;
  }
  scheme->bus_ = bus;
  scheme->subscription_ = g_dbus_connection_signal_subscribe(
      bus, kPortal, kSettings, "SettingChanged", kPortalPath, kAppearance, G_DBUS_SIGNAL_FLAGS_NONE,
      OnChanged, scheme, nullptr);
  scheme->Read("ReadOne", OnReadOne);
}

void DesktopColorScheme::Read(const char* method, GAsyncReadyCallback done) {
  g_dbus_connection_call(bus_, kPortal, kPortalPath, kSettings, method,
                         g_variant_new("(ss)", kAppearance, kColorScheme), G_VARIANT_TYPE("(v)"),
                         G_DBUS_CALL_FLAGS_NONE, -1, cancellable_, done, this);
}

void DesktopColorScheme::OnReadOne(GObject* bus, GAsyncResult* result, gpointer self) {
  bool cancelled = false;
  bool unknown_method = false;
  GVariant* reply = Reply(bus, result, cancelled, unknown_method);
  if (cancelled) return;
  auto* scheme = static_cast<DesktopColorScheme*>(self);
  if (reply == nullptr) {
    // Portals older than ReadOne have Read alone.
    if (unknown_method) scheme->Read("Read", OnRead);
    return;
  }
  scheme->Apply(reply);
  g_variant_unref(reply);
}

void DesktopColorScheme::OnRead(GObject* bus, GAsyncResult* result, gpointer self) {
  bool cancelled = false;
  bool unknown_method = false;
  GVariant* reply = Reply(bus, result, cancelled, unknown_method);
  if (reply == nullptr) return;
  if (!cancelled) static_cast<DesktopColorScheme*>(self)->Apply(reply);
  g_variant_unref(reply);
}

void DesktopColorScheme::OnChanged(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                   const gchar*, GVariant* parameters, gpointer self) {
  const gchar* name_space = nullptr;
  const gchar* key = nullptr;
  GVariant* value = nullptr;
  if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ssv)"))) return;
  g_variant_get(parameters, "(&s&sv)", &name_space, &key, &value);
  if (g_strcmp0(name_space, kAppearance) == 0 && g_strcmp0(key, kColorScheme) == 0) {
    static_cast<DesktopColorScheme*>(self)->Apply(value);
  }
  g_variant_unref(value);
}

// `value` holds the scheme as a uint32, in as many variants as the portal wrapped it (Read wraps
// it twice).
void DesktopColorScheme::Apply(GVariant* value) {
  GVariant* inner = g_variant_ref(value);
  while (g_variant_is_of_type(inner, G_VARIANT_TYPE_VARIANT) ||
         g_variant_is_of_type(inner, G_VARIANT_TYPE("(v)"))) {
    GVariant* next = g_variant_get_child_value(inner, 0);
    g_variant_unref(inner);
    inner = next;
  }
  if (g_variant_is_of_type(inner, G_VARIANT_TYPE_UINT32)) {
    const guint32 scheme = g_variant_get_uint32(inner);
    const gboolean dark = scheme == kPreferDarkScheme    ? TRUE
                          : scheme == kPreferLightScheme ? FALSE
                                                         : readers_own_;
    g_object_set(gtk_settings_get_default(), kPreferDark, dark, nullptr);
  }
  g_variant_unref(inner);
}

}  // namespace vellum::platform::gtk
