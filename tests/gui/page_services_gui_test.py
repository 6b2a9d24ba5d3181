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
import time
import unittest

import viewer_gui_test as viewer

RECORDER = "vellum-test-recorder.desktop"


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
                    "MimeType=application/zip;\nNoDisplay=true\n" % recorder)
        with open(os.path.join(config, "mimeapps.list"), "w", encoding="utf-8") as f:
            f.write("[Default Applications]\napplication/zip=%s\n" % RECORDER)
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

    def no_message_box(self, program):
        return [w for w in program.windows() if w.modal] == []


class UnshowableFiles(PageServicesTestCase):
    """A local file the view cannot show goes to the default application, or a message says
    there is none; the page stays."""

    CASES = [
        # name, file, bytes, opened by the recorder
        ("an archive", "notes.zip", b"PK\x05\x06" + bytes(18), True),
        ("a type no application takes", "figures.unknown", bytes(range(256)), False),
    ]

    def test_opens_in_the_default_application(self):
        for name, file_name, data, recorded in self.CASES:
            with self.subTest(name):
                program = self.launch(viewer.settings_fields(start=b"opens_file.html"))
                with open(os.path.join(program.dir, file_name), "wb") as f:
                    f.write(data)
                with open(os.path.join(program.dir, "target.txt"), "w", encoding="utf-8") as f:
                    f.write(file_name)
                main = program.main_window()
                path = os.path.join(program.dir, file_name)
                if recorded:
                    viewer.wait_for("the recorder to be given the file",
                                    lambda: self.recorded_lines() == [path])
                    time.sleep(0.5)
                    self.assertTrue(self.no_message_box(program))
                else:
                    box = program.message_box()
                    self.assertEqual(box.transient_for, main.xid)
                    self.assertEqual(self.recorded_lines(), [])
                    viewer.acknowledge(box)
                    viewer.wait_for("the message box to go", lambda: self.no_message_box(program))
                self.assertTrue(program.alive())
                viewer.close_window(main)
                self.assert_ends_normally(program)
                if recorded:
                    os.remove(self.recorded)


class Downloads(PageServicesTestCase):
    """A download asks where to save it, proposing its own name in the Downloads folder, and
    writes exactly its bytes there; cancelled, it writes nothing."""

    CASES = [
        # kind of link (see downloads.html), key pressed in the Save dialog, saved
        ("file", "Return", True),
        ("blob", "Return", True),
        ("data", "Return", True),
        ("file", "Escape", False),
    ]

    def test_saved_where_the_reader_chooses(self):
        data = os.urandom(3 << 20)
        for kind, key, saved in self.CASES:
            with self.subTest(kind=kind, key=key):
                program = self.launch(viewer.settings_fields(start=b"downloads.html"))
                with open(os.path.join(program.dir, "data.bin"), "wb") as f:
                    f.write(data)
                with open(os.path.join(program.dir, "kind.txt"), "w", encoding="utf-8") as f:
                    f.write(kind)
                main = program.main_window()
                dialog = program.message_box()
                self.assertEqual(dialog.title, "Save File")
                self.assertEqual(os.listdir(self.downloads), [])
                self.press(dialog, key)
                target = os.path.join(self.downloads, "data.bin")
                if saved:
                    # The file appears whole: it is renamed into place once complete.
                    viewer.wait_for("the saved file", lambda: os.path.exists(target))
                    with open(target, "rb") as f:
                        self.assertTrue(f.read() == data, "the saved file differs")
                else:
                    viewer.wait_for("the dialog to go", lambda: self.no_message_box(program))
                    time.sleep(1)
                self.assertEqual(os.listdir(self.downloads), ["data.bin"] if saved else [])
                self.assertTrue(program.alive())
                viewer.close_window(main)
                self.assert_ends_normally(program)
                for name in os.listdir(self.downloads):
                    os.remove(os.path.join(self.downloads, name))

    @staticmethod
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


class WebProcessEnds(PageServicesTestCase):
    """The page comes back when its web process is killed."""

    def test_page_comes_back(self):
        program = self.launch(viewer.settings_fields(start=b"closes_on_key.html"))
        main = program.main_window()
        # Once the page is drawn (dark text on a light page): a web process killed while it
        # starts up takes the engine down with it.
        viewer.wait_for("the page to be drawn", lambda: min(subprocess.run(
            ["import", "-silent", "-window", str(main.xid), "rgb:-"], capture_output=True,
            check=False).stdout or b"\xff") < 64, interval=0.25)
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
