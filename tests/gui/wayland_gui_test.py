#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The real program as a native Wayland client, under a headless weston of the test's own.

What the program asks of the compositor is read from weston's protocol log (titles, which window
a popup belongs to); what it draws, from weston's screenshots; its end, from its exit status.

Uses the program harness of viewer_gui_test.py. Needs weston (with weston-screenshooter) and
ImageMagick's convert. VELLUM_PROGRAM names the program, VELLUM_TEST_PAGES the test pages.
"""

import glob
import os
import re
import subprocess
import tempfile
import unittest
import uuid

import viewer_gui_test as viewer

PAGE_COLOUR = (51, 153, 102)  # the background of does_as_told.html
SCREEN = (1280, 800)


class Weston:
    """A headless weston on a socket of its own, logging every request its clients make."""

    def __init__(self, size=SCREEN, scale=1):
        self.dir = tempfile.mkdtemp(prefix="vellum-weston-")
        self.runtime = os.path.join(self.dir, "runtime")
        os.mkdir(self.runtime, 0o700)
        self.socket = "vellum-%s" % uuid.uuid4().hex[:12]
        self.log = os.path.join(self.dir, "weston.log")
        self.env = dict(os.environ, XDG_RUNTIME_DIR=self.runtime, WAYLAND_DISPLAY=self.socket,
                        XDG_CONFIG_HOME=os.path.join(self.dir, "config"))
        self.env.pop("DISPLAY", None)
        # --debug offers the screenshooter to clients; "proto" logs every request and event.
        self.process = subprocess.Popen(
            ["weston", "--backend=headless-backend.so", "--use-pixman", "--no-config",
             "--socket=" + self.socket, "--width=%d" % size[0], "--height=%d" % size[1],
             "--scale=%d" % scale,
             "--debug", "--log=" + self.log, "--logger-scopes=log,proto"],
            env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        viewer.wait_for("weston's socket", lambda: self.process.poll() is not None or
                        os.path.exists(os.path.join(self.runtime, self.socket)))
        if self.process.poll() is not None:
            raise AssertionError("weston did not start:\n" + self.protocol())

    def protocol(self):
        try:
            with open(self.log, encoding="utf-8", errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    def requests(self, client, name):
        """(object, argument text) of every `name` request `client` made, in order."""
        pattern = r"client %s rq (xdg_toplevel@\d+)\.%s\((.*)\)$" % (re.escape(client), name)
        return re.findall(pattern, self.protocol(), re.MULTILINE)

    def client_that_set_title(self, title):
        match = re.search(r"client (\S+) rq xdg_toplevel@\d+\.set_title\(\"%s\"\)" %
                          re.escape(title), self.protocol())
        return match.group(1) if match else None

    def screenshot(self):
        """The whole output as raw RGB bytes."""
        for old in glob.glob(os.path.join(self.dir, "wayland-screenshot-*.png")):
            os.remove(old)
        subprocess.run(["weston-screenshooter"], cwd=self.dir, env=self.env, check=False,
                       timeout=viewer.TIMEOUT, capture_output=True)
        shots = glob.glob(os.path.join(self.dir, "wayland-screenshot-*.png"))
        if not shots:
            return b""
        return subprocess.run(["convert", shots[0], "-depth", "8", "rgb:-"], check=False,
                              capture_output=True).stdout

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(15)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        subprocess.run(["rm", "-rf", self.dir], check=False)


def pixels_of(colour, shot):
    return sum(1 for pixel in zip(shot[0::3], shot[1::3], shot[2::3]) if pixel == colour)


class Wayland(viewer.ViewerTestCase):
    """Start page with its title, a popup belonging to its opener, and the end on closing."""

    def setUp(self):
        self.weston = Weston()
        self.addCleanup(self.weston.stop)
        # The program's environment: Wayland only, no X server to fall back on.
        saved = dict(os.environ)
        self.addCleanup(lambda: (os.environ.clear(), os.environ.update(saved)))
        os.environ.pop("DISPLAY", None)
        os.environ.update(GDK_BACKEND="wayland", WAYLAND_DISPLAY=self.weston.socket,
                          XDG_RUNTIME_DIR=self.weston.runtime)

    def test_start_page_popup_and_end(self):
        program = viewer.Program(viewer.settings_fields(start=b"does_as_told.html", title=b"Book"))
        program.start()
        self.addCleanup(program.stop)

        def tell(what):
            with open(os.path.join(program.dir, "told.txt"), "w", encoding="ascii") as f:
                f.write(what)

        client = viewer.wait_for("the title Book", lambda: self.weston.client_that_set_title("Book"))
        main = [o for o, title in self.weston.requests(client, "set_title") if title == '"Book"'][0]
        viewer.wait_for("the start page on screen",
                        lambda: pixels_of(PAGE_COLOUR, self.weston.screenshot()) > 100000,
                        interval=0.5)

        tell("open")

        def popup():
            titled = [o for o, t in self.weston.requests(client, "set_title") if t == '"newwindow"']
            return titled[0] if titled else None
        window = viewer.wait_for("a popup titled newwindow", popup)
        parents = [p for o, p in self.weston.requests(client, "set_parent") if o == window]
        self.assertEqual(parents[-1:], [main])

        tell("close")
        self.assertEqual(program.wait_exit(), 0, program.read_log())
        # Nothing of the program's own complains, X11 calls off X11 least of all. (A headless
        # weston offers no seat: GTK and WebKit note the missing keyboard themselves.)
        complaints = [line for line in program.read_log().splitlines()
                      if ("CRITICAL" in line or "WARNING" in line) and "gdk_seat_" not in line]
        self.assertEqual(complaints, [])
        self.assertEqual(program.stop(), [])


if __name__ == "__main__":
    if not viewer.PROGRAM:
        raise SystemExit("VELLUM_PROGRAM must be set")
    unittest.main()
