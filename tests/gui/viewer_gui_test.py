#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The real program on a real X server with a window manager.

Each test copies the built program alone into a fresh program directory with a settings file and
pages, starts it, and checks what the X server and the window manager report: titles, outer sizes,
maximized state, the fixed border, message boxes, popups and their owners, and the program's end.

Needs DISPLAY (scripts/with-display.sh provides Xvfb and openbox) and xprop, xwininfo, xdotool
and wmctrl. VELLUM_PROGRAM names the program, VELLUM_TEST_PAGES the folder of test pages.
"""

import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
import uuid

PROGRAM = os.environ.get("VELLUM_PROGRAM", "")
PAGES = os.environ.get("VELLUM_TEST_PAGES", os.path.join(os.path.dirname(__file__), "pages"))

SCRAMBLE_KEY = bytes([0x3C, 0x91, 0x5E, 0x07, 0xD2, 0x6A, 0xF8, 0x14])
FIELD_COUNT = 44
HEIGHT, WIDTH, START_PAGE, TITLE, BORDER = 1, 2, 6, 41, 42

POPUP_TITLE = "newwindow"
DESIGN_CLIENT = (756, 619)  # at 96 dots per inch, which Xvfb reports
TIMEOUT = 30.0  # seconds for anything the program does on its own; the machine may be busy


def settings_line(fields):
    """The settings file's line: the fields joined by '`', scrambled, as hexadecimal."""
    plain = b"`".join(fields)
    return "".join("%02X" % (b ^ SCRAMBLE_KEY[i % 8]) for i, b in enumerate(plain)).encode()


def settings_fields(height=b"600", width=b"800", start=b"plain.html", title=b"Book",
                    border=b"1"):
    fields = [b""] * FIELD_COUNT
    fields[HEIGHT], fields[WIDTH], fields[START_PAGE] = height, width, start
    fields[TITLE], fields[BORDER] = title, border
    return fields


def wait_for(what, probe, timeout=TIMEOUT, interval=0.1):
    """Polls `probe` until it returns something true; fails naming `what` after `timeout`."""
    deadline = time.monotonic() + timeout
    last = None
    while True:
        last = probe()
        if last:
            return last
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for %s (last seen: %r)" % (what, last))
        time.sleep(interval)


# ----------------------------------------------------------------------------------------------
# What the X server says


def run(*command):
    return subprocess.run(command, capture_output=True, text=True, check=False).stdout


def xprop(window, *names):
    """{name: value text} for the properties of `window` that are set."""
    args = ["xprop", "-notype", "-f", "_NET_WM_NAME", "8x"]
    args += ["-root"] if window is None else ["-id", str(window)]
    values = {}
    for line in run(*args, *names).splitlines():
        match = re.match(r"^(\w+)(?: = |: )(.*)$", line)
        if match and "not found" not in match.group(2):
            values[match.group(1)] = match.group(2).strip()
    return values


def window_ids(text):
    return [int(w, 16) for w in re.findall(r"0x[0-9a-fA-F]+", text or "")]


def atoms(text):
    return set(a.strip() for a in (text or "").split(",") if a.strip())


class XWindow:
    """A managed top-level window as the X server and the window manager report it."""

    def __init__(self, xid):
        self.xid = xid
        p = xprop(xid, "_NET_WM_NAME", "_NET_WM_PID", "WM_TRANSIENT_FOR", "_NET_WM_STATE",
                  "_NET_FRAME_EXTENTS", "_NET_WM_WINDOW_TYPE", "_NET_WM_ALLOWED_ACTIONS")
        self.pid = int(p["_NET_WM_PID"]) if "_NET_WM_PID" in p else None
        name = p.get("_NET_WM_NAME", "")
        self.title = bytes(int(b, 16) for b in re.findall(r"0x[0-9a-f]+", name)).decode()
        owners = window_ids(p.get("WM_TRANSIENT_FOR"))
        self.transient_for = owners[0] if owners else None
        self.state = atoms(p.get("_NET_WM_STATE"))
        self.types = atoms(p.get("_NET_WM_WINDOW_TYPE"))
        self.allowed = atoms(p.get("_NET_WM_ALLOWED_ACTIONS"))
        extents = [int(v) for v in re.findall(r"\d+", p.get("_NET_FRAME_EXTENTS", ""))]
        self.frame = extents if len(extents) == 4 else [0, 0, 0, 0]
        info = run("xwininfo", "-id", str(xid))
        width = re.search(r"Width: (\d+)", info)
        height = re.search(r"Height: (\d+)", info)
        self.client = (int(width.group(1)), int(height.group(1))) if width and height else None
        corner = re.findall(r"Absolute upper-left [XY]: +(-?\d+)", info)
        self.position = tuple(int(v) for v in corner) if len(corner) == 2 else None

    @property
    def outer(self):
        left, right, top, bottom = self.frame
        return (self.client[0] + left + right, self.client[1] + top + bottom)

    @property
    def maximized(self):
        return {"_NET_WM_STATE_MAXIMIZED_VERT", "_NET_WM_STATE_MAXIMIZED_HORZ"} <= self.state

    @property
    def modal(self):
        return "_NET_WM_STATE_MODAL" in self.state

    def size_hints(self):
        """(minimum, maximum) sizes from WM_NORMAL_HINTS; None where not given."""
        text = run("xprop", "-id", str(self.xid), "WM_NORMAL_HINTS")

        def size(kind):
            match = re.search(r"program specified %s size: (\d+) by (\d+)" % kind, text)
            return (int(match.group(1)), int(match.group(2))) if match else None

        return size("minimum"), size("maximum")

    def __repr__(self):
        return "<window 0x%x %r outer=%r state=%r>" % (self.xid, self.title, self.outer,
                                                        sorted(self.state))


def managed_windows(pid):
    """The windows of process `pid` the window manager has taken on (mapped or minimized)."""
    listed = window_ids(xprop(None, "_NET_CLIENT_LIST").get("_NET_CLIENT_LIST"))
    windows = []
    for xid in listed:
        window = XWindow(xid)
        if window.pid == pid and window.client is not None:
            windows.append(window)
    return windows


def close_window(window):
    """Closes `window` as the reader's close button does (the window manager's close request)."""
    subprocess.run(["wmctrl", "-i", "-c", "0x%x" % window.xid], check=False)


def acknowledge(window):
    """Presses Return in `window`, as a reader acknowledging a message box."""
    subprocess.run(["xdotool", "windowactivate", "--sync", str(window.xid)], check=False,
                   timeout=TIMEOUT)
    subprocess.run(["xdotool", "key", "--clearmodifiers", "Return"], check=False)


def processes_with(marker):
    """Process ids whose environment carries `marker`: the program and everything it started."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/environ" % entry, "rb") as f:
                if marker in f.read().split(b"\0"):
                    found.append(int(entry))
        except OSError:
            pass
    return found


# ----------------------------------------------------------------------------------------------
# The program under test


class Program:
    """The built program copied alone into a fresh program directory, with pages beside it."""

    def __init__(self, settings=None, name="vellum", raw_settings=None):
        self.dir = tempfile.mkdtemp(prefix="vellum-gui-")
        self.path = os.path.join(self.dir, name)
        shutil.copy2(PROGRAM, self.path)
        for page in os.listdir(PAGES):
            shutil.copy2(os.path.join(PAGES, page), self.dir)
        if raw_settings is not None:
            self.write_settings(raw_settings)
        elif settings is not None:
            self.write_settings(settings_line(settings) + b"\r\n")
        self.marker = ("VELLUM_GUI_TEST=%s" % uuid.uuid4().hex).encode()
        self.process = None
        self.log = None

    def write_settings(self, data):
        with open(os.path.join(self.dir, "Vellum.ini"), "wb") as f:
            f.write(data)

    def add_page(self, relative_name, template="closes_itself.html"):
        """Copies a page from the test pages under a name of the test's choosing (bytes)."""
        target = os.path.join(os.fsencode(self.dir), relative_name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copy2(os.path.join(PAGES, template), target)

    def start(self, launcher=()):
        """Starts the program from the root folder, through `launcher` (a command) if given."""
        env = dict(os.environ)
        key, value = self.marker.decode().split("=", 1)
        env[key] = value
        # Keep GTK's bridge and WebKit's web process off the accessibility bus. (WebKit still
        # asks the session bus for its address, which starts the bus launcher there; it ends
        # with the test run's own session bus.)
        env.setdefault("NO_AT_BRIDGE", "1")
        env.setdefault("GTK_A11Y", "none")
        env.setdefault("WEBKIT_A11Y_BUS_ADDRESS", "")
        self.log = open(os.path.join(self.dir, "program.log"), "wb")
        self.process = subprocess.Popen([*launcher, self.path], cwd="/", env=env, stdout=self.log,
                                        stderr=subprocess.STDOUT, start_new_session=True)
        return self

    @property
    def pid(self):
        return self.process.pid

    def windows(self):
        return managed_windows(self.pid)

    def alive(self):
        return self.process.poll() is None

    def main_window(self):
        """The main window once the window manager has it: not a popup and not a message box."""
        def probe():
            found = [w for w in self.windows() if w.title != POPUP_TITLE and not w.modal]
            return found[0] if found else None
        return wait_for("the main window", probe)

    def message_box(self):
        def probe():
            found = [w for w in self.windows() if w.modal]
            return found[0] if found else None
        return wait_for("a message box", probe)

    def popups(self, count):
        def probe():
            found = [w for w in self.windows() if w.title == POPUP_TITLE]
            return (found,) if len(found) == count else None
        return wait_for("%d popup window(s)" % count, probe)[0]

    def wait_exit(self, timeout=TIMEOUT):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError("the program did not end; log:\n" + self.read_log()) from None

    def read_log(self):
        try:
            with open(os.path.join(self.dir, "program.log"), "rb") as f:
                return f.read().decode(errors="replace")
        except OSError:
            return ""

    def stop(self):
        """Ends whatever is left and reports processes that outlived the program."""
        leftovers = []
        if self.process is not None:
            if self.alive():
                os.killpg(self.process.pid, signal.SIGKILL)
                self.process.wait()
            # WebKit's helper processes end shortly after the program; none may stay.
            deadline = time.monotonic() + 15
            while processes_with(self.marker) and time.monotonic() < deadline:
                time.sleep(0.1)
            leftovers = processes_with(self.marker)
            for pid in leftovers:
                try:
                    os.kill(pid, signal.SIGKILL)
                except OSError:
                    pass
        if self.log is not None:
            self.log.close()
        shutil.rmtree(self.dir, ignore_errors=True)
        return leftovers


class ViewerTestCase(unittest.TestCase):
    def launch(self, *args, **kwargs):
        program = Program(*args, **kwargs).start()

        def finish():
            leftovers = program.stop()
            self.assertEqual(leftovers, [], "processes outlived the program")

        self.addCleanup(finish)
        return program

    def assert_centred(self, window):
        screen = re.search(r"dimensions: +(\d+)x(\d+)", run("xdpyinfo"))
        # The frame around it, title bar included; GTK centres the client area, the window
        # manager then adds the frame around it, so allow for the frame's share.
        left, _, top, _ = window.frame
        origin = (window.position[0] - left, window.position[1] - top)
        for axis in (0, 1):
            centre = origin[axis] + window.outer[axis] / 2
            self.assertAlmostEqual(centre, int(screen.group(axis + 1)) / 2,
                                   delta=max(window.frame) / 2 + 2)

    def assert_ends_normally(self, program):
        self.assertEqual(program.wait_exit(), 0, program.read_log())
        self.assertEqual(program.windows(), [])


# ----------------------------------------------------------------------------------------------
# The tests


class Sizing(ViewerTestCase):
    """Title, outer size, maximized state and border, as the window manager sees them."""

    CASES = [
        # name, height, width, border, title bytes, title shown, outer size or "maximized", fixed
        ("fixed 800x600", b"600", b"800", b"0", b"Fixed \xc3\x9cbung", "Fixed Übung",
         (800, 600), True),
        ("resizable 700x500", b"500", b"700", b"1", b"Caf\xe9 \x80 \x9d", "Café € \u009d",
         (700, 500), False),
        ("hexadecimal sizes, empty border", b"$1F4", b"0x2BC", b"", b"", "", (700, 500), False),
        ("height 0 maximizes, border not consulted", b"0", b"640", b"0", b"Tall", "Tall",
         "maximized", False),
        ("empty width maximizes", b"480", b"", b"0", b"Wide", "Wide", "maximized", False),
        ("title newwindow on the main window", b"450", b"650", b"1", b"newwindow", "newwindow",
         (650, 450), False),
    ]

    def test_window_as_configured(self):
        for name, height, width, border, title, shown, size, fixed in self.CASES:
            with self.subTest(name):
                program = self.launch(settings_fields(height, width, b"plain.html", title, border))
                if title == POPUP_TITLE.encode():
                    main = wait_for("the main window", lambda: program.windows())[0]
                else:
                    main = program.main_window()
                self.assertEqual(main.title, shown)
                if size == "maximized":
                    main = wait_for("maximized", lambda: [w for w in program.windows()
                                                          if w.maximized])[0]
                else:
                    # The frame is known once the window manager has taken the window on; the
                    # size is then set again.
                    seen = []

                    def sized():
                        seen[:] = program.windows()
                        return [w for w in seen if w.outer == size]

                    try:
                        wait_for("outer size %r" % (size,), sized)
                    except AssertionError as e:
                        raise AssertionError("%s; windows: %r" % (e, seen)) from None
                    main = program.windows()[0]
                    self.assertFalse(main.maximized)
                minimum, maximum = main.size_hints()
                if fixed:
                    self.assertEqual(minimum, main.client)
                    self.assertEqual(maximum, main.client)
                    self.assertIn("_NET_WM_WINDOW_TYPE_DIALOG", main.types)
                    for action in ("RESIZE", "MAXIMIZE_HORZ", "MAXIMIZE_VERT"):
                        self.assertNotIn("_NET_WM_ACTION_" + action, main.allowed)
                else:
                    self.assertTrue(maximum is None or maximum != minimum, (minimum, maximum))
                    self.assertIn("_NET_WM_ACTION_RESIZE", main.allowed)
                close_window(main)
                self.assert_ends_normally(program)

    def test_out_of_range_size_is_clamped(self):
        program = self.launch(settings_fields(b"-5", b"100000", b"plain.html", b"Odd", b"1"))
        main = program.main_window()
        self.assertTrue(program.alive())
        self.assertGreater(main.client[0], 0)
        self.assertGreater(main.client[1], 0)
        close_window(main)
        self.assert_ends_normally(program)

    def test_size_larger_than_the_screen_fits_the_screen(self):
        screen = tuple(int(v) for v in re.search(r"dimensions: +(\d+)x(\d+)",
                                                 run("xdpyinfo")).groups())
        for height, width in [(b"99999", b"640"), (b"480", b"$7FFFFFFF"), (b"99999", b"99999")]:
            with self.subTest(height=height, width=width):
                program = self.launch(settings_fields(height, width, b"plain.html", b"Huge", b"1"))
                program.main_window()
                seen = []

                def inside():
                    # Once the frame is known, the whole frame on the screen.
                    seen[:] = [w for w in program.windows() if any(w.frame)]
                    # A size that fits is kept as asked, once the frame has been taken off it.
                    return [w for w in seen if w.outer[0] <= screen[0] and w.outer[1] <= screen[1]
                            and w.position[0] - w.frame[0] >= 0
                            and w.position[1] - w.frame[2] >= 0
                            and (height != b"480" or w.outer[1] == 480)]

                try:
                    main = wait_for("a window inside the %dx%d screen" % screen, inside)[0]
                except AssertionError as e:
                    raise AssertionError("%s; windows: %r" % (e, seen)) from None
                close_window(main)
                self.assert_ends_normally(program)


class StartPage(ViewerTestCase):
    """The start page opens from the program directory, whatever its file name holds."""

    NAMES = [
        b"closes_itself.html",
        b"with spaces #1 100%.html",
        b"sub dir/\xc3\x9cnic\xc3\xb8de %41 ?.html",
        b"#hash%25.html",
    ]

    def test_opens_the_named_file(self):
        for name in self.NAMES:
            with self.subTest(name.decode()):
                program = Program(settings_fields(start=name))
                if name != b"closes_itself.html":
                    program.add_page(name)
                # The page closes its window once loaded: the program ending proves it opened.
                program.start()
                self.addCleanup(program.stop)
                self.assertEqual(program.wait_exit(), 0, program.read_log())
                self.assertEqual(program.stop(), [])

    def test_name_stored_in_windows_1252_opens_its_utf8_named_file(self):
        # A book made on Windows: the settings hold the name in Windows-1252, the disk in UTF-8.
        for stored, on_disk in [(b"caf\xe9.html", "café.html"),
                                (b"\x80 sub/\xdcbung.html", "€ sub/Übung.html")]:
            with self.subTest(on_disk):
                program = Program(settings_fields(start=stored))
                program.add_page(on_disk.encode())
                program.start()
                self.addCleanup(program.stop)
                self.assertEqual(program.wait_exit(), 0, program.read_log())
                self.assertEqual(program.stop(), [])

    def test_program_folder_not_utf8_never_leaves_the_window_empty(self):
        # WebKit opens no path that is not UTF-8, not even to show its own error page: the viewer
        # asks for it as the title bar reads it, Windows-1252. Here a folder of that name holds
        # a page that closes itself; without one the reader gets WebKit's "file not found" page.
        program = Program(settings_fields(start=b"closes_itself.html"))
        base = os.fsencode(program.dir)
        os.makedirs(os.path.join(base, b"caf\xe9"))
        for name in (b"vellum", b"Vellum.ini"):
            os.rename(os.path.join(base, name), os.path.join(base, b"caf\xe9", name))
        program.add_page("café/closes_itself.html".encode())
        program.path = os.path.join(base, b"caf\xe9", b"vellum")
        program.start()
        self.addCleanup(program.stop)
        self.assertEqual(program.wait_exit(), 0, program.read_log())
        self.assertEqual(program.stop(), [])

    def test_started_through_the_loader_opens_its_own_book(self):
        # A medium that keeps no executable bits: the reader starts the book through the dynamic
        # loader, from another folder.
        loader = re.search(r"program interpreter: (.*?)\]", run("readelf", "-l", PROGRAM)).group(1)
        program = Program(settings_fields(start=b"closes_itself.html"))
        os.chmod(program.path, 0o644)
        program.start(launcher=[loader])
        self.addCleanup(program.stop)
        self.assertEqual(program.wait_exit(), 0, program.read_log())
        self.assertEqual(program.stop(), [])

    def test_page_reads_a_file_beside_it(self):
        program = self.launch(settings_fields(start=b"reads_json.html"))
        self.assert_ends_normally(program)

    def test_view_has_the_keyboard_focus(self):
        program = self.launch(settings_fields(start=b"closes_on_key.html"))
        main = program.main_window()
        wait_for("the main window to be active", lambda: main.xid in window_ids(
            xprop(None, "_NET_ACTIVE_WINDOW").get("_NET_ACTIVE_WINDOW")))
        # No click first: the key goes wherever the keyboard focus is. The page may still be
        # loading on a busy machine, so the key is pressed again until the window closes.
        def pressed():
            subprocess.run(["xdotool", "key", "k"], check=False)
            return not program.alive()
        wait_for("the page to close its window on a key", pressed, interval=0.5)
        self.assert_ends_normally(program)


class Failures(ViewerTestCase):
    """The two failure messages end the program; an error report leaves it running."""

    CASES = [
        # name, program file name, settings file bytes (None: no file), caption
        ("no settings file", "vellum", None, "vellum"),
        ("undecodable settings", "vellum", b"zz\r\n", "vellum"),
        ("43 fields", "vellum", settings_line(settings_fields()[:43]), "vellum"),
        ("45 fields", "MyBook.run", settings_line(settings_fields() + [b""]), "Mybook"),
    ]

    def test_failure_message_then_end(self):
        for name, program_name, data, caption in self.CASES:
            with self.subTest(name):
                program = Program(name=program_name, raw_settings=data).start()
                self.addCleanup(program.stop)
                box = program.message_box()
                self.assertEqual(box.title, caption)
                self.assert_centred(box)
                self.assertNotIn("_NET_WM_STATE_HIDDEN", box.state)
                # The main window never shows a page; it may not even appear.
                self.assertEqual([w.title for w in program.windows() if w.title], [caption])
                self.assertTrue(program.alive())
                acknowledge(box)
                self.assertEqual(program.wait_exit(), 0, program.read_log())
                self.assertEqual(program.stop(), [])

    def test_conversion_error_is_reported_and_the_program_runs_on(self):
        program = self.launch(settings_fields(b"abc", b"800", b"plain.html", b"Book", b"0"))
        box = program.message_box()
        self.assertEqual(box.title, "vellum")
        acknowledge(box)
        main = program.main_window()
        self.assertEqual(main.title, "Book")
        # The size stays the design size and the border resizable: sizing stopped at the error.
        self.assertEqual(main.client, DESIGN_CLIENT)
        self.assertIn("_NET_WM_ACTION_RESIZE", main.allowed)
        time.sleep(0.5)
        self.assertTrue(program.alive())
        self.assertEqual([w for w in program.windows() if w.modal], [])
        close_window(main)
        self.assert_ends_normally(program)


class MissingWebKit(ViewerTestCase):
    """Without WebKitGTK the reader is told what to install instead of getting nothing at all."""

    def test_box_says_what_to_install_then_the_program_fails(self):
        found = re.search(r"libwebkit2gtk-4\.1\.so\.0 .*=> (\S+)", run("ldconfig", "-p"))
        private = shutil.which("unshare") and subprocess.run(
            ["unshare", "-m", "true"], capture_output=True, check=False).returncode == 0
        if os.geteuid() != 0 or not private or not found:
            self.skipTest("needs root for a private mount namespace and WebKitGTK to hide")
        program = Program(settings_fields(start=b"plain.html"))
        empty = os.path.join(program.dir, "empty")
        open(empty, "wb").close()
        # The library is an empty file in the program's own mount namespace only.
        program.start(launcher=["unshare", "-m", "sh", "-c", 'mount --bind "$0" "$1" && exec "$2"',
                                empty, found.group(1)])
        self.addCleanup(program.stop)
        box = program.message_box()
        self.assertEqual(box.title, "vellum")
        self.assertEqual([w.title for w in program.windows()], ["vellum"])
        if os.environ.get("VELLUM_SCREENSHOT"):
            subprocess.run(["import", "-window", "root", os.environ["VELLUM_SCREENSHOT"]],
                           check=False)
        acknowledge(box)
        self.assertEqual(program.wait_exit(), 1)
        # The box's text, which the program also writes to its standard error.
        self.assertIn("This book needs WebKitGTK 4.1", program.read_log())
        self.assertEqual(program.stop(), [])


class Popups(ViewerTestCase):
    """Pages that open windows get popups owned by their opener."""

    def assert_main_window_alone_then_ends(self, program, main):
        """Once the popups are gone, the program runs on with its main window alone, and
        closing that ends it."""
        program.popups(0)
        time.sleep(0.5)
        self.assertTrue(program.alive())
        self.assertEqual([w.xid for w in program.windows()], [main.xid])
        close_window(main)
        self.assert_ends_normally(program)

    def check_popup(self, start_page):
        program = self.launch(settings_fields(start=start_page, title=b"Book"))
        main = program.main_window()
        (popup,) = program.popups(1)
        self.assertEqual(popup.transient_for, main.xid)
        self.assertEqual(popup.client, DESIGN_CLIENT)
        # The page's own <title> never replaces the popup's.
        time.sleep(1)
        (popup,) = program.popups(1)
        self.assertEqual(popup.title, POPUP_TITLE)
        self.assertEqual(program.main_window().title, "Book")
        close_window(popup)
        self.assert_main_window_alone_then_ends(program, main)

    def test_link_with_target_blank(self):
        self.check_popup(b"opens_link.html")

    def test_window_open_from_script(self):
        self.check_popup(b"opens_window.html")

    def test_nested_popup_goes_with_its_owner(self):
        program = self.launch(settings_fields(start=b"opens_nested.html"))
        main = program.main_window()
        popups = program.popups(2)
        first = [p for p in popups if p.transient_for == main.xid]
        second = [p for p in popups if first and p.transient_for == first[0].xid]
        self.assertEqual((len(first), len(second)), (1, 1), popups)
        close_window(first[0])
        self.assert_main_window_alone_then_ends(program, main)

    def test_popup_page_closing_itself(self):
        program = self.launch(settings_fields(start=b"opens_closing_popup.html"))
        main = program.main_window()
        program.popups(1)
        self.assert_main_window_alone_then_ends(program, main)

    def test_closing_the_main_window_ends_the_program_with_its_popups(self):
        program = self.launch(settings_fields(start=b"opens_nested.html"))
        main = program.main_window()
        program.popups(2)
        close_window(main)
        self.assert_ends_normally(program)


class ColourScheme(ViewerTestCase):
    """Pages follow the desktop's dark style as the Settings portal tells it, and its changes."""

    DARK, LIGHT = (20, 40, 80), (250, 230, 200)  # the backgrounds of colour_scheme.html

    def private_bus(self):
        """A session bus of the test's own: the portal below is the only one on it."""
        config = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts",
                              "dbus-session.conf")
        daemon = subprocess.Popen(["dbus-daemon", "--config-file=" + config, "--nofork",
                                   "--print-address=1"], stdout=subprocess.PIPE, text=True)
        self.addCleanup(daemon.stdout.close)
        self.addCleanup(daemon.wait)
        self.addCleanup(daemon.terminate)
        return daemon.stdout.readline().strip()

    def start_portal(self, bus, scheme):
        # GLib's Python bindings come with Debian's python3, which may not be this one.
        python = next(p for p in (sys.executable, "/usr/bin/python3") if subprocess.run(
            [p, "-c", "import gi"], capture_output=True, check=False).returncode == 0)
        portal = subprocess.Popen(
            [python, os.path.join(os.path.dirname(os.path.abspath(__file__)), "settings_portal.py"),
             str(scheme)], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
            env=dict(os.environ, DBUS_SESSION_BUS_ADDRESS=bus))
        self.addCleanup(portal.stdout.close)
        self.addCleanup(portal.wait)
        self.addCleanup(portal.stdin.close)
        self.assertEqual(portal.stdout.readline().strip(), "ready")
        return portal

    def test_follows_the_portal(self):
        bus = self.private_bus()
        portal = self.start_portal(bus, 1)
        saved = dict(os.environ)
        self.addCleanup(lambda: (os.environ.clear(), os.environ.update(saved)))
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = bus
        os.environ.pop("GTK_THEME", None)
        program = self.launch(settings_fields(start=b"colour_scheme.html"))
        main = program.main_window()

        def showing(colour):
            def probe():
                shot = subprocess.run(["import", "-silent", "-window", str(main.xid), "-depth",
                                       "8", "rgb:-"], capture_output=True, check=False).stdout
                return bytes(colour) * 100 in shot
            return probe

        wait_for("the dark page", showing(self.DARK))
        portal.stdin.write("0\n")
        portal.stdin.flush()
        wait_for("the light page", showing(self.LIGHT))
        close_window(main)
        self.assert_ends_normally(program)


class ManyPopups(ViewerTestCase):
    """However many popups a page opens, closing the main window ends everything at once."""

    COUNT = 200  # as opens_many_popups.html opens
    GONE_WITHIN = 3.0  # seconds from the close request to the last process's end

    def popup_count(self, program):
        # One call for every window: asking the X server window by window would take minutes.
        listed = run("wmctrl", "-lp").splitlines()
        return sum(1 for line in listed
                   if line.split(None, 4)[2:3] == [str(program.pid)] and line.endswith(POPUP_TITLE))

    def test_closing_the_main_window_with_many_popups(self):
        program = self.launch(settings_fields(start=b"opens_many_popups.html"))
        main = program.main_window()
        wait_for("%d popups" % self.COUNT, lambda: self.popup_count(program) == self.COUNT,
                 timeout=240, interval=1)
        closed = time.monotonic()
        close_window(main)
        wait_for("the program and its WebKit processes to end",
                 lambda: not program.alive() and not processes_with(program.marker), interval=0.05)
        elapsed = time.monotonic() - closed
        self.assertEqual(program.wait_exit(), 0, program.read_log())
        self.assertLess(elapsed, self.GONE_WITHIN, program.read_log())


if __name__ == "__main__":
    if not PROGRAM or not os.environ.get("DISPLAY"):
        raise SystemExit("VELLUM_PROGRAM and DISPLAY must be set (see scripts/with-display.sh)")
    unittest.main()
