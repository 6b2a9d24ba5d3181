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

import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import viewer_gui_test as viewer  # noqa: E402


def pixels(window):
    """The window's client area as it is on screen now, as raw RGB bytes."""
    return subprocess.run(["import", "-silent", "-window", str(window.xid), "rgb:-"],
                          capture_output=True, check=False).stdout


def activate(window):
    subprocess.run(["xdotool", "windowactivate", "--sync", str(window.xid)], check=False,
                   timeout=viewer.TIMEOUT)


def press(window, *keys):
    activate(window)
    subprocess.run(["xdotool", "key", "--clearmodifiers", *keys], check=False)


# How long the picture must stay the same before it counts as the page at rest. A busy machine
# (the sanitizer build, other tests) can leave an old frame on screen for a good part of a second
# while the web process draws the next one.
SETTLE_SECONDS = 1.5


def settled_picture(window):
    """The window's picture once the page's text is drawn and it has stayed the same for a while.

    The window is made active first: the picture of an inactive window may differ, and every key
    below activates it."""
    activate(window)
    state = {"shot": None, "since": None}

    def probe():
        shot = pixels(window)
        drawn = bool(shot) and min(shot) < 64  # dark text on the light page
        now = time.monotonic()
        if not drawn or shot != state["shot"]:
            state["shot"], state["since"] = (shot if drawn else None), now
            return None
        return shot if now - state["since"] >= SETTLE_SECONDS else None

    return viewer.wait_for("the page to be drawn and at rest", probe, interval=0.25)


def difference(window, expected, actual):
    """Where two pictures of the window differ, in words, for a failure message."""
    if not actual:
        return "no picture"
    if len(actual) != len(expected):
        return "a picture of %d bytes instead of %d" % (len(actual), len(expected))
    width = viewer.XWindow(window.xid).client[0]
    changed = [i // 3 for i in range(0, len(expected), 3) if expected[i:i + 3] != actual[i:i + 3]]
    if not changed:
        return "no difference"
    xs = [p % width for p in changed]
    ys = [p // width for p in changed]
    return "%d pixels differ, within x %d..%d, y %d..%d" % (len(changed), min(xs), max(xs),
                                                          min(ys), max(ys))


def wait_for_picture(window, what, expected):
    """Waits until the window shows exactly the picture `expected`; says where it differs if not."""
    last = [None]

    def probe():
        last[0] = pixels(window)
        return last[0] == expected

    try:
        viewer.wait_for(what, probe)
    except AssertionError as error:
        raise AssertionError("%s; %s" % (error, difference(window, expected, last[0]))) from None


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
        plain = settled_picture(main)

        def changed():
            return pixels(main) not in (b"", plain)

        with self.subTest("zoom in, and back to 100%"):
            press(main, "ctrl+plus")
            viewer.wait_for("a zoomed page", changed)
            press(main, "ctrl+0")
            wait_for_picture(main, "the page at 100%", plain)

        with self.subTest("find bar opens and closes"):
            press(main, "ctrl+f")
            viewer.wait_for("the find bar", changed)
            self.assertEqual(what_the_settings_decide(main), before)
            press(main, "Escape")
            wait_for_picture(main, "the find bar to close", plain)

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
            wait_for_picture(main, "the reloaded page", plain)

        self.assertEqual(what_the_settings_decide(main), before)
        self.assertTrue(program.alive(), program.read_log())

        with self.subTest("one close request ends the program, print dialog and all"):
            press(main, "ctrl+p")
            viewer.wait_for("the print dialog", dialog)
            viewer.close_window(main)
            self.assert_ends_normally(program)

    def test_one_close_request_closes_a_popup_whose_print_dialog_is_open(self):
        program = self.launch(viewer.settings_fields(start=b"opens_two_popups.html"))
        main = program.main_window()
        first, second = program.popups(2)

        def dialog_of(window):
            found = [w for w in program.windows()
                     if w.transient_for == window.xid and w.title != viewer.POPUP_TITLE]
            return found[0] if found else None

        press(first, "ctrl+p")
        viewer.wait_for("the first popup's print dialog", lambda: dialog_of(first))
        viewer.close_window(first)
        program.popups(1)
        viewer.wait_for("the dialog to go with its popup", lambda: dialog_of(first) is None)
        self.assertTrue(program.alive(), program.read_log())

        # The main window closes on the first request, a popup's print dialog open or not.
        press(second, "ctrl+p")
        viewer.wait_for("the second popup's print dialog", lambda: dialog_of(second))
        viewer.close_window(main)
        self.assert_ends_normally(program)


if __name__ == "__main__":
    unittest.main()
