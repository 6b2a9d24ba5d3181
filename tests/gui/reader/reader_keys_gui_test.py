#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The reader's keys in the real program, on a real X server with a window manager.

Keys are sent with xdotool to the main window of the built program. What they do is seen in the
window's own pixels (zoom, the find bar) and in the windows the program shows (the print dialog);
what they must not do is seen in the title, outer size, border and window type the window
manager reports, which stay as the settings made them.

Uses the program harness of ../viewer_gui_test.py. VELLUM_PROGRAM names the program,
VELLUM_TEST_PAGES the test book.
"""

import hashlib
import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import viewer_gui_test as viewer  # noqa: E402


def pixels(window):
    """The window's client area as it is on screen now, as raw RGB bytes."""
    return subprocess.run(["import", "-silent", "-window", str(window.xid), "rgb:-"],
                          capture_output=True, check=False).stdout


def screenshot(window):
    """A digest of the window's picture now."""
    shot = pixels(window)
    return hashlib.sha256(shot).hexdigest() if shot else None


def settled_screenshot(window):
    """The window's picture once the page's text is drawn and two shots in a row agree."""
    last = [None]

    def probe():
        shot = pixels(window)
        drawn = bool(shot) and min(shot) < 64  # dark text on the light page
        digest = hashlib.sha256(shot).hexdigest() if drawn else None
        stable = digest is not None and digest == last[0]
        last[0] = digest
        return digest if stable else None

    return viewer.wait_for("the page to be drawn", probe, interval=0.3)


def press(window, *keys):
    subprocess.run(["xdotool", "windowactivate", "--sync", str(window.xid)], check=False,
                   timeout=viewer.TIMEOUT)
    subprocess.run(["xdotool", "key", "--clearmodifiers", *keys], check=False)


def what_the_settings_decide(window):
    window = viewer.XWindow(window.xid)
    return {
        "title": window.title,
        "outer size": window.outer,
        "state": window.state,
        "types": window.types,
        "allowed actions": window.allowed,
        "size hints": window.size_hints(),
    }


class ReaderKeys(viewer.ViewerTestCase):
    def test_keys_work_and_leave_what_the_settings_decide(self):
        # A fixed border makes the window the least forgiving: GTK would grow it to fit anything
        # that asks for more room.
        program = self.launch(viewer.settings_fields(b"600", b"800", b"page1.html", b"Book", b"0"))
        main = program.main_window()
        viewer.wait_for("the configured size", lambda: viewer.XWindow(main.xid).outer == (800, 600))
        before = what_the_settings_decide(main)
        plain = settled_screenshot(main)

        with self.subTest("zoom in, and back to 100%"):
            press(main, "ctrl+plus")
            viewer.wait_for("a zoomed page", lambda: screenshot(main) not in (None, plain))
            press(main, "ctrl+0")
            viewer.wait_for("the page at 100%", lambda: screenshot(main) == plain)

        with self.subTest("find bar opens and closes"):
            press(main, "ctrl+f")
            viewer.wait_for("the find bar", lambda: screenshot(main) not in (None, plain))
            self.assertEqual(what_the_settings_decide(main), before)
            press(main, "Escape")
            viewer.wait_for("the find bar to close", lambda: screenshot(main) == plain)

        with self.subTest("print dialog opens and is cancelled"):
            press(main, "ctrl+p")

            def dialog():
                found = [w for w in program.windows() if w.transient_for == main.xid]
                return found[0] if found else None

            shown = viewer.wait_for("the print dialog", dialog)
            press(shown, "Escape")
            viewer.wait_for("the print dialog to close", lambda: dialog() is None)

        with self.subTest("reload"):
            press(main, "F5")
            viewer.wait_for("the reloaded page", lambda: screenshot(main) == plain)

        self.assertEqual(what_the_settings_decide(main), before)
        self.assertTrue(program.alive(), program.read_log())


if __name__ == "__main__":
    unittest.main()
