#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The main window's outer size on every display server, scale and text dpi.

Each row runs the real program on a display of its own: an Xvfb with openbox (optionally with
GDK_SCALE or an Xft.dpi resource) or a headless weston. The outer size is read where the display
server keeps it, in device pixels: on X11 the client window plus the window manager's frame, on
Wayland the window geometry the program gives its surface (its own title bar included, its
shadow not) times the output's scale.

Uses the program harness of viewer_gui_test.py and the weston of wayland_gui_test.py.
VELLUM_PROGRAM names the program, VELLUM_TEST_PAGES the test pages.
"""

import os
import re
import signal
import subprocess
import sys
import tempfile
import time
import unittest

import viewer_gui_test as viewer
import wayland_gui_test as wayland

SCREEN = (1600, 1000)  # every display's size in 96-dpi units: device pixels times the scale


class Xserver:
    """An Xvfb of the test's own with openbox, and optionally an Xft.dpi resource."""

    def __init__(self, size, dpi=None):
        self.display_file = tempfile.NamedTemporaryFile(prefix="vellum-xvfb-")
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(self.display_file.fileno()), "-screen", "0",
             "%dx%dx24" % size, "-nolisten", "tcp", "-noreset"],
            pass_fds=(self.display_file.fileno(),), stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        def number_written():
            with open(self.display_file.name, encoding="ascii") as f:
                return f.read().strip()

        number = viewer.wait_for("Xvfb's display number", number_written)
        self.env = {"DISPLAY": ":" + number, "GDK_BACKEND": "x11"}
        env = dict(os.environ, **self.env)
        if dpi is not None:
            # What xrdb would load: Xlib reads the resources from this property.
            subprocess.run(["xprop", "-root", "-f", "RESOURCE_MANAGER", "8s", "-set",
                            "RESOURCE_MANAGER", "Xft.dpi:\t%d\n" % dpi], env=env, check=True)
        self.wm = subprocess.Popen(["openbox", "--sm-disable"], env=env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        viewer.wait_for("openbox", lambda: "window id" in subprocess.run(
            ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=env, capture_output=True,
            text=True, check=False).stdout)

    def mark(self):
        pass

    def outer_size(self, program):
        windows = program.windows()
        return windows[0].outer if windows and any(windows[0].frame) else None

    def work_area(self):
        area = viewer.xprop(None, "_NET_WORKAREA").get("_NET_WORKAREA", "")
        values = [int(v) for v in re.findall(r"\d+", area)]
        return tuple(values[2:4]) if len(values) >= 4 else None

    def stop(self):
        for process in (self.wm, self.xvfb):
            process.send_signal(signal.SIGTERM)
            process.wait()
        self.display_file.close()


class Weston(wayland.Weston):
    def __init__(self, scale):
        super().__init__(SCREEN, scale)  # weston scales the size it is given
        self.scale = scale
        self.env = {"GDK_BACKEND": "wayland", "WAYLAND_DISPLAY": self.socket,
                    "XDG_RUNTIME_DIR": self.runtime}
        self.since = 0

    def mark(self):
        """Only what is logged from now on counts: a program started earlier is no answer."""
        self.since = len(self.protocol())

    def outer_size(self, program):
        # The toplevel titled Book, its xdg_surface, and the last geometry given to that.
        log = self.protocol()[self.since:]
        titled = re.findall(r"client (\S+) rq (xdg_toplevel@\d+)\.set_title\(\"Book\"\)", log)
        if not titled:
            return None
        client, toplevel = (re.escape(v) for v in titled[-1])
        surface = re.findall(r"client %s rq (xdg_surface@\d+)\.get_toplevel\(new id %s\)" %
                             (client, toplevel), log)[-1]
        geometry = re.findall(r"client %s rq %s\.set_window_geometry\(-?\d+, -?\d+, (\d+), (\d+)\)"
                              % (client, re.escape(surface)), log)
        if not geometry:
            return None
        return tuple(int(v) * self.scale for v in geometry[-1])

    def work_area(self):
        return tuple(v * self.scale for v in SCREEN)


class Sizes(viewer.ViewerTestCase):
    """An explicit 800x600 is the outer size in 96-dpi units, and no window outgrows its screen."""

    ROWS = [
        # name, display server, scale, text dpi
        ("X11", "x11", 1, 96),
        ("X11 GDK_SCALE=2", "x11", 2, 96),
        ("X11 Xft.dpi 144", "x11", 1, 144),
        ("weston", "wayland", 1, 96),
        ("weston scale 2", "wayland", 2, 96),
    ]

    def start_display(self, kind, scale, dpi):
        if kind == "x11":
            display = Xserver(tuple(v * scale for v in SCREEN), None if dpi == 96 else dpi)
        else:
            display = Weston(scale)
        self.addCleanup(display.stop)
        saved = dict(os.environ)
        self.addCleanup(lambda: (os.environ.clear(), os.environ.update(saved)))
        os.environ.pop("DISPLAY", None)
        os.environ.pop("WAYLAND_DISPLAY", None)
        os.environ.update(display.env)
        if kind == "x11" and scale != 1:
            os.environ["GDK_SCALE"] = str(scale)
        return display

    def measure(self, display, height, width):
        """The outer size once it has stayed the same for a second, or the last one seen."""
        program = viewer.Program(viewer.settings_fields(height, width, b"plain.html", b"Book"))
        display.mark()
        program.start()
        self.addCleanup(program.stop)
        state = {"seen": None, "since": 0}

        def settled():
            now = time.monotonic()
            size = display.outer_size(program)
            if size != state["seen"]:
                state["seen"], state["since"] = size, now
            return size if size and now - state["since"] >= 1.0 else None

        try:
            viewer.wait_for("a settled outer size", settled, timeout=20, interval=0.2)
        except AssertionError:
            pass
        program.stop()
        return state["seen"]

    def test_outer_size_table(self):
        for name, kind, scale, dpi in self.ROWS:
            with self.subTest(name):
                try:
                    display = self.start_display(kind, scale, dpi)
                    outer = self.measure(display, b"600", b"800")
                    huge = self.measure(display, b"99999", b"99999")
                    area = display.work_area()
                finally:
                    self.doCleanups()  # no row's display nor environment in the next
                want = (800 * dpi // 96 * scale, 600 * dpi // 96 * scale)
                print("%-16s 800x600 -> %r (want %r); 99999x99999 -> %r in %r" %
                      (name, outer, want, huge, area), file=sys.stderr)
                self.assertEqual(outer, want)
                self.assertTrue(huge and huge[0] <= area[0] and huge[1] <= area[1], huge)


if __name__ == "__main__":
    if not viewer.PROGRAM:
        raise SystemExit("VELLUM_PROGRAM must be set")
    unittest.main()
