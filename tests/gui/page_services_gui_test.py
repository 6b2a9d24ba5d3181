#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""What the program does for its pages that the view does not do by itself, in the real program
on a real X server with a window manager: files the view cannot show, downloads, and a web
process that ends.

Each test gives the program private XDG data and config folders: a default application that
records what it is given, and a Downloads folder of its own.

Uses the program harness of viewer_gui_test.py. VELLUM_PROGRAM names the program,
VELLUM_TEST_PAGES the test pages.
"""

import os
import shutil
import signal
import subprocess
import tempfile
import threading
import time
import unittest

import viewer_gui_test as viewer

RECORDER = "vellum-test-recorder.desktop"
# The recorder is the default application for these, programs included: none of those may
# reach it.
RECORDED_TYPES = ["application/zip", "application/x-shellscript", "application/x-desktop",
                  "application/x-executable", "application/octet-stream"]


class PageServicesTestCase(viewer.ViewerTestCase):
    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="vellum-xdg-")
        self.addCleanup(shutil.rmtree, self.home, True)
        config = os.path.join(self.home, "config")
        applications = os.path.join(self.home, "data", "applications")
        self.downloads = os.path.join(self.home, "Downloads")
        self.recorded = os.path.join(self.home, "recorded.txt")
        for folder in (config, applications, self.downloads):
            os.makedirs(folder)
        recorder = os.path.join(self.home, "record")
        with open(recorder, "w", encoding="utf-8") as f:
            f.write('#!/bin/sh\nprintf "%%s\\n" "$1" >> "%s"\n' % self.recorded)
        os.chmod(recorder, 0o755)
        with open(os.path.join(applications, RECORDER), "w", encoding="utf-8") as f:
            f.write("[Desktop Entry]\nType=Application\nName=Recorder\nExec=%s %%f\n"
                    "MimeType=%s;\nNoDisplay=true\n" % (recorder, ";".join(RECORDED_TYPES)))
        with open(os.path.join(config, "mimeapps.list"), "w", encoding="utf-8") as f:
            f.write("[Default Applications]\n")
            f.writelines("%s=%s\n" % (t, RECORDER) for t in RECORDED_TYPES)
        with open(os.path.join(config, "user-dirs.dirs"), "w", encoding="utf-8") as f:
            f.write('XDG_DOWNLOAD_DIR="%s"\n' % self.downloads)
        saved = dict(os.environ)
        self.addCleanup(lambda: (os.environ.clear(), os.environ.update(saved)))
        # The file chooser keeps its settings in memory rather than in dconf.
        os.environ.update(XDG_CONFIG_HOME=config, XDG_DATA_HOME=os.path.dirname(applications),
                          GSETTINGS_BACKEND="memory")

    def recorded_lines(self):
        try:
            with open(self.recorded, encoding="utf-8") as f:
                return f.read().splitlines()
        except OSError:
            return []


ZIP = b"PK\x05\x06" + bytes(18)
ELF = b"\x7fELF\x02\x01\x01" + bytes(57)
LAUNCHER = b"[Desktop Entry]\nType=Application\nName=Tool\nExec=true\n"


class FilesTheViewCannotShow(PageServicesTestCase):
    """A local file the view cannot show gets one question in its window, and nothing is
    opened before the answer; programs are only offered Save; requests that come while the
    question is open are dropped, and a close request closes the window at once."""

    CASES = [
        # name, page, file (and the link's target, after a line break), bytes, mode, what Alt+O
        # does: opens it (True), nothing (False); None: the main window is closed while the
        # question is open
        ("an archive", "opens_file.html", "notes.zip", ZIP, 0o644, True),
        ("a script", "opens_file.html", "run.sh", b"#!/bin/sh\ntrue\n", 0o644, False),
        ("a launcher", "opens_file.html", "tool.desktop", LAUNCHER, 0o644, False),
        ("a program known by its mode", "opens_file.html", "tool", ELF, 0o755, False),
        ("200 requests at once", "asks_many_files.html", "notes.zip", ZIP, 0o644, None),
        ("a link to a new window", "opens_file.html", "notes.zip\n_blank", ZIP, 0o644, True),
    ]

    def test_one_question_first(self):
        for name, page, target, data, mode, opens in self.CASES:
            with self.subTest(name):
                program = self.launch(viewer.settings_fields(start=page.encode()))
                file_name = target.split("\n")[0]
                path = os.path.join(program.dir, file_name)
                with open(path, "wb") as f:
                    f.write(data)
                os.chmod(path, mode)
                with open(os.path.join(program.dir, "target.txt"), "w", encoding="utf-8") as f:
                    f.write(target)
                main = program.main_window()
                (question,) = viewer.wait_for("a question", lambda: dialogs(program))
                self.assertEqual(question.transient_for, main.xid)
                time.sleep(1.5)
                self.assertEqual(len(dialogs(program)), 1)
                self.assertEqual(self.recorded_lines(), [])
                # A new window whose page is handed elsewhere closes itself.
                self.assertEqual([w for w in program.windows() if w.title == viewer.POPUP_TITLE],
                                 [])
                if opens is None:
                    closed = time.monotonic()
                    viewer.close_window(main)
                    self.assert_ends_normally(program)
                    self.assertLess(time.monotonic() - closed, 5)
                    continue
                press(question, "alt+o")
                if opens:
                    viewer.wait_for("the recorder to be given the file",
                                    lambda: self.recorded_lines() == [path])
                    os.remove(self.recorded)
                else:
                    time.sleep(1)
                    self.assertEqual(self.recorded_lines(), [])
                    press(question, "alt+s")
                    viewer.wait_for("the Save dialog alone", lambda: [
                        w.title for w in dialogs(program)] == ["Save File"])
                viewer.close_window(main)
                self.assert_ends_normally(program)


class Downloads(PageServicesTestCase):
    """A download asks where to save it, proposing its own name, cut to fit, in the Downloads
    folder, and writes exactly its bytes there; cancelled or failed, it leaves nothing."""

    LONG = "\u96fb" * 85 + ".bin"  # 259 bytes
    CASES = [
        # kind of link (see downloads.html), proposed name, key pressed in the Save dialog,
        # what the Downloads folder then holds (None: the folder fails; a message says so)
        ("file", "data.bin", "Return", ["data.bin"]),
        ("blob", "data.bin", "Return", ["data.bin"]),
        ("data", "data.bin", "Return", ["data.bin"]),
        ("file", "data.bin", "Escape", []),
        ("file", LONG, "Return", ["\u96fb" * 80 + ".bin"]),
        ("file", "data.bin", "Return", None),
    ]

    def test_saved_where_the_reader_chooses(self):
        data = os.urandom(3 << 20)
        for kind, proposed, key, saved in self.CASES:
            with self.subTest(kind=kind, name=proposed[:12], key=key, saved=saved):
                program = self.launch(viewer.settings_fields(start=b"downloads.html"))
                with open(os.path.join(program.dir, "data.bin"), "wb") as f:
                    f.write(data)
                with open(os.path.join(program.dir, "kind.txt"), "w", encoding="utf-8") as f:
                    f.write("%s %s" % (kind, proposed))
                if saved is None:
                    # Where WebKit would write its partial file, a folder: it cannot.
                    os.makedirs(os.path.join(self.downloads, "data.bin.wkdownload", "in"))
                before = sorted(os.listdir(self.downloads))
                main = program.main_window()
                (dialog,) = viewer.wait_for("the Save dialog", lambda: dialogs(program))
                self.assertEqual(dialog.title, "Save File")
                press(dialog, key)
                target = os.path.join(self.downloads, saved[0]) if saved else None
                if saved is None:
                    (message,) = viewer.wait_for("the failure message", lambda: [
                        w for w in dialogs(program) if w.title == "Book"])
                    self.assertEqual(message.transient_for, main.xid)
                    self.assertEqual(sorted(os.listdir(self.downloads)), before)
                elif saved:
                    viewer.wait_for("the saved file, whole", lambda: sorted(
                        os.listdir(self.downloads)) == saved and read(target) == data)
                else:
                    viewer.wait_for("the dialog to go", lambda: not dialogs(program))
                    time.sleep(1)
                if saved is not None:
                    self.assertEqual(sorted(os.listdir(self.downloads)), saved)
                self.assertTrue(program.alive())
                viewer.close_window(main)
                self.assert_ends_normally(program)
                shutil.rmtree(self.downloads)
                os.mkdir(self.downloads)


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None


def dialogs(program):
    """The program's dialogs: windows over another that are not popups."""
    return [w for w in program.windows()
            if w.transient_for is not None and w.title != viewer.POPUP_TITLE]


def press(window, key):
    subprocess.run(["xdotool", "windowactivate", "--sync", str(window.xid)], check=False,
                   timeout=viewer.TIMEOUT)
    subprocess.run(["xdotool", "key", "--clearmodifiers", key], check=False)


def web_processes(program):
    found = []
    for pid in viewer.processes_with(program.marker):
        try:
            with open("/proc/%d/comm" % pid, encoding="utf-8") as f:
                if f.read().startswith("WebKitWebProces"):
                    found.append(pid)
        except OSError:
            pass
    return found


def drawing(pid):
    """Whether web process `pid` has its compositor's threads, which it starts for a page."""
    try:
        for task in os.listdir("/proc/%d/task" % pid):
            with open("/proc/%d/task/%s/comm" % (pid, task), encoding="utf-8") as f:
                if f.read().strip().endswith("Compositor"):
                    return True
    except OSError:
        pass
    return False


def shows_text(window):
    """Whether a screenshot of `window` holds dark text on a light page: more than one colour,
    and not only the grey of an empty window and the white of an empty view."""
    shot = subprocess.run(["import", "-silent", "-window", str(window.xid), "rgb:-"],
                          capture_output=True, check=False).stdout
    return min(shot or b"\xff") < 64


class WebProcessEnds(PageServicesTestCase):
    """The page comes back when its web process is killed, whenever that happens."""

    ON_SCREEN_WITHIN = 10.0  # seconds from the kill
    CASES = [
        # seconds after the start, start page held back until the kill (nothing shown before)
        (0.1, True),
        (0.3, True),
        (0.7, False),
    ]

    def test_page_on_screen_after_an_early_end(self):
        for delay, held_back in self.CASES:
            with self.subTest(delay=delay, held_back=held_back):
                program = viewer.Program(viewer.settings_fields(start=b"start.html"))
                start = os.path.join(program.dir, "start.html")
                with open(os.path.join(viewer.PAGES, "plain.html"), "rb") as f:
                    page = f.read()
                if held_back:
                    # A pipe: WebKit waits for the page until something writes it.
                    os.mkfifo(start)
                else:
                    with open(start, "wb") as f:
                        f.write(page)
                self.launch_prepared(program)
                started = time.monotonic()
                # The first web process, killed `delay` seconds after the start, or once it
                # draws for a page: WebKit itself aborts when one dies before it has told the
                # program who it is.
                def due():
                    return time.monotonic() - started >= delay and [
                        pid for pid in web_processes(program) if drawing(pid)]
                killed = viewer.wait_for("the web process", due, interval=0.01)
                for pid in killed:
                    os.kill(pid, signal.SIGKILL)
                at = time.monotonic() - started
                if held_back:
                    self.serve_through_pipe(start, page)
                main = program.main_window()
                viewer.wait_for("the page on screen (killed at %.2f s)" % at,
                                lambda: shows_text(main), timeout=self.ON_SCREEN_WITHIN,
                                interval=0.25)
                self.assertTrue(program.alive(), program.read_log())
                viewer.close_window(main)
                self.assert_ends_normally(program)

    def launch_prepared(self, program):
        program.start()

        def finish():
            self.assertEqual(program.stop(), [], "processes outlived the program")

        self.addCleanup(finish)

    def serve_through_pipe(self, path, data):
        """Writes `data` to every reader of the pipe at `path` until the test ends."""
        stop = threading.Event()

        def serve():
            while not stop.wait(0.05):
                try:
                    pipe = os.open(path, os.O_WRONLY | os.O_NONBLOCK)
                except OSError:
                    continue  # nobody reading yet
                try:
                    os.write(pipe, data)
                except OSError:
                    pass
                os.close(pipe)

        thread = threading.Thread(target=serve, daemon=True)
        thread.start()
        self.addCleanup(thread.join)
        self.addCleanup(stop.set)

    def test_page_comes_back(self):
        program = self.launch(viewer.settings_fields(start=b"closes_on_key.html"))
        main = program.main_window()
        # Once the page is drawn (dark text on a light page): a web process killed while it
        # starts up takes the engine down with it.
        viewer.wait_for("the page to be drawn", lambda: shows_text(main), interval=0.25)
        killed = viewer.wait_for("the web process", lambda: web_processes(program))
        for pid in killed:
            os.kill(pid, signal.SIGKILL)
        viewer.wait_for("a new web process",
                        lambda: [p for p in web_processes(program) if p not in killed])
        self.assertTrue(program.alive())

        # The page is back when it answers a key: it closes its window, which ends the program.
        def pressed():
            subprocess.run(["xdotool", "key", "k"], check=False)
            return not program.alive()
        viewer.wait_for("the page to close its window on a key", pressed, interval=0.5)
        self.assert_ends_normally(program)


if __name__ == "__main__":
    if not viewer.PROGRAM or not os.environ.get("DISPLAY"):
        raise SystemExit("VELLUM_PROGRAM and DISPLAY must be set (see scripts/with-display.sh)")
    unittest.main()
