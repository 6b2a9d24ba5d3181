#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""A stand-in for the desktop portal's Settings, on the session bus it is started on.

Answers org.freedesktop.appearance color-scheme with the number on its command line (ReadOne,
and Read as older portals do), prints "ready" once it owns the portal's name, and for every
number it then reads on a line of its input takes it as the new value and says so with
SettingChanged. Needs GLib's Python bindings (Debian's python3-gi).
"""

import sys

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

INTERFACE = """
<node>
  <interface name="org.freedesktop.portal.Settings">
    <method name="ReadAll">
      <arg type="as" name="namespaces" direction="in"/>
      <arg type="a{sa{sv}}" name="value" direction="out"/>
    </method>
    <method name="Read">
      <arg type="s" name="namespace" direction="in"/>
      <arg type="s" name="key" direction="in"/>
      <arg type="v" name="value" direction="out"/>
    </method>
    <method name="ReadOne">
      <arg type="s" name="namespace" direction="in"/>
      <arg type="s" name="key" direction="in"/>
      <arg type="v" name="value" direction="out"/>
    </method>
    <signal name="SettingChanged">
      <arg type="s" name="namespace"/>
      <arg type="s" name="key"/>
      <arg type="v" name="value"/>
    </signal>
    <property name="version" type="u" access="read"/>
  </interface>
</node>
"""
PATH = "/org/freedesktop/portal/desktop"
NAMESPACE, KEY = "org.freedesktop.appearance", "color-scheme"

scheme = [int(sys.argv[1])]


def call(bus, sender, path, interface, method, args, invocation):
    value = GLib.Variant("u", scheme[0])
    if method == "ReadAll":
        invocation.return_value(GLib.Variant("(a{sa{sv}})", ({NAMESPACE: {KEY: value}},)))
    elif tuple(args) != (NAMESPACE, KEY):
        invocation.return_dbus_error("org.freedesktop.portal.Error.NotFound", "no such setting")
    elif method == "Read":
        invocation.return_value(GLib.Variant("(v)", (GLib.Variant("v", value),)))
    else:
        invocation.return_value(GLib.Variant("(v)", (value,)))


def get_property(bus, sender, path, interface, name):
    return GLib.Variant("u", 2)


def on_input(channel, condition, bus):
    line = channel.readline()
    if not line:
        loop.quit()
        return False
    scheme[0] = int(line)
    bus.emit_signal(None, PATH, "org.freedesktop.portal.Settings", "SettingChanged",
                    GLib.Variant("(ssv)", (NAMESPACE, KEY, GLib.Variant("u", scheme[0]))))
    bus.flush_sync(None)
    return True


loop = GLib.MainLoop()
bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
info = Gio.DBusNodeInfo.new_for_xml(INTERFACE).interfaces[0]
bus.register_object(PATH, info, call, get_property, None)


def acquired(*_):
    print("ready", flush=True)


Gio.bus_own_name_on_connection(bus, "org.freedesktop.portal.Desktop", Gio.BusNameOwnerFlags.NONE,
                               acquired, lambda *_: loop.quit())
GLib.io_add_watch(GLib.IOChannel.unix_new(sys.stdin.fileno()), GLib.PRIORITY_DEFAULT,
                  GLib.IOCondition.IN | GLib.IOCondition.HUP, on_input, bus)
loop.run()
