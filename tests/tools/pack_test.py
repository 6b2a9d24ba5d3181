#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""`vellum-settings pack`: the archive a reader unpacks, with each common extractor.

Usage: pack_test.py VELLUM_SETTINGS [WINE]. The tool is copied into a folder of its own with
stand-in viewers beside it. With WINE the tool is the Windows build, run under Wine; when
VELLUM_LINUX_TOOL names the Linux build, both must then make the same zip byte for byte.
"""

import os
import shutil
import stat
import subprocess
import sys
import tarfile
import tempfile
import unittest
import zipfile

TOOL = ""
WINE = ""
LINUX_TOOL = os.environ.get("VELLUM_LINUX_TOOL", "")
VIEWERS = {"vellum": b"\x7fELF stand-in for the Linux viewer\n" * 50,
           "Vellum.exe": b"MZ stand-in for the Windows viewer\r\n" * 50}
PAGES = {
    "index.html": b'<html><head><meta charset="utf-8"></head><body><a href="s\xc3\xbc\xc3\x9f/caf\xc3\xa9.html">on</a></body></html>',
    "s\u00fc\u00df/caf\u00e9.html": b"<html><body>caf\xc3\xa9</body></html>",
    "images/noise.bin": bytes((i * 7919) % 251 for i in range(200000)),
    "empty.txt": b"",
    # Longer than a tar header holds: split at a "/", and too long a name for that.
    "long/" + "n" * 110 + "/page.html": b"<p>deep</p>",
    "x" * 120 + ".txt": b"long",
}


def extract_unzip(archive, into):
    subprocess.run(["unzip", "-q", archive, "-d", into], check=True)


def extract_bsdtar(archive, into):
    subprocess.run(["bsdtar", "-xf", archive, "-C", into], check=True)


def extract_zipfile(archive, into):
    # Python's zipfile restores no modes by itself; an installer written in Python applies the
    # mode the archive records, as done here.
    with zipfile.ZipFile(archive) as z:
        for info in z.infolist():
            z.extract(info, into)
            if info.create_system == 3 and not info.is_dir():
                os.chmod(os.path.join(into, info.filename), (info.external_attr >> 16) & 0o777)


def extract_tarfile(archive, into):
    with tarfile.open(archive) as t:
        t.extractall(into, filter="fully_trusted")


def extract_gnu_tar(archive, into):
    subprocess.run(["tar", "-xzf", archive, "-C", into], check=True)


CASES = [
    # format, extractor
    ("zip", extract_unzip),
    ("zip", extract_bsdtar),
    ("zip", extract_zipfile),
    ("tar.gz", extract_gnu_tar),
    ("tar.gz", extract_bsdtar),
    ("tar.gz", extract_tarfile),
]


class Pack(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vellum-pack-")
        self.addCleanup(shutil.rmtree, self.dir, ignore_errors=True)
        self.tools = os.path.join(self.dir, "tools")
        os.mkdir(self.tools)
        self.tool = shutil.copy2(TOOL, self.tools)
        for name, data in VIEWERS.items():
            with open(os.path.join(self.tools, name), "wb") as f:
                f.write(data)
        self.book = os.path.join(self.dir, "My book")
        for name, data in PAGES.items():
            path = os.path.join(self.book, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
        self.run_tool("new", self.book, "--title", "Book", "--start-page", "index.html")

    def run_tool(self, *args, check=True, env=None):
        command = [self.tool]
        if WINE:
            # Wine reaches the test's folder through its Z: drive.
            command = [WINE, self.tool]
            args = ["Z:" + a.replace("/", "\\") if a.startswith(self.dir) else a for a in args]
        result = subprocess.run(command + list(args), capture_output=True, check=False, env=env)
        if check:
            self.assertEqual(result.returncode, 0, result)
        return result

    def expected(self):
        files = {name: data for name, data in PAGES.items()}
        with open(os.path.join(self.book, "Vellum.ini"), "rb") as f:
            files["Vellum.ini"] = f.read()
        files.update(VIEWERS)
        return files

    def test_extracts_everywhere_to_the_same_bytes_with_vellum_executable(self):
        for form, extract in CASES:
            with self.subTest(format=form, extractor=extract.__name__):
                archive = os.path.join(self.dir, "book." + form)
                self.run_tool("pack", self.book, "-o", archive)
                into = tempfile.mkdtemp(dir=self.dir)
                extract(archive, into)
                top = os.path.join(into, "My book")
                found = {}
                for folder, _, names in os.walk(top):
                    for name in names:
                        path = os.path.join(folder, name)
                        with open(path, "rb") as f:
                            found[os.path.relpath(path, top)] = f.read()
                self.assertEqual(found, self.expected())
                self.assertTrue(os.stat(os.path.join(top, "vellum")).st_mode & stat.S_IXUSR)
                self.assertFalse(os.stat(os.path.join(top, "index.html")).st_mode & stat.S_IXUSR)

    def test_zip_entries_record_unix_modes_and_utf8_names(self):
        archive = os.path.join(self.dir, "book.zip")
        self.run_tool("pack", self.book, "-o", archive)
        with zipfile.ZipFile(archive) as z:
            for info in z.infolist():
                self.assertEqual(info.create_system, 3, info.filename)
                self.assertTrue(info.flag_bits & 0x800, info.filename)
                mode = info.external_attr >> 16
                expected = 0o40755 if info.is_dir() else (
                    0o100755 if info.filename.endswith("/vellum") else 0o100644)
                self.assertEqual(mode, expected, info.filename)

    def test_viewers_asked_for_and_what_is_left_out(self):
        result = self.run_tool("pack", self.book, "--linux", "-o", os.path.join(self.dir, "l.zip"))
        self.assertIn(b"left out: Vellum.exe", result.stdout)
        with zipfile.ZipFile(os.path.join(self.dir, "l.zip")) as z:
            names = z.namelist()
        self.assertIn("My book/vellum", names)
        self.assertNotIn("My book/Vellum.exe", names)

    def test_book_with_errors_is_refused_unless_forced(self):
        # A settings file the viewer cannot read (every build of the tool checks the settings).
        with open(os.path.join(self.book, "Vellum.ini"), "wb") as f:
            f.write(b"zz\r\n")
        archive = os.path.join(self.dir, "broken.zip")
        result = self.run_tool("pack", self.book, "-o", archive, check=False)
        self.assertEqual(result.returncode, 1, result)
        self.assertIn(b"--force", result.stderr)
        self.assertFalse(os.path.exists(archive))
        self.run_tool("pack", self.book, "-o", archive, "--force")
        self.assertTrue(zipfile.is_zipfile(archive))

    def test_check_warns_of_a_vellum_that_is_not_executable(self):
        if WINE:
            self.skipTest("Windows keeps no executable bit")
        viewer = os.path.join(self.book, "vellum")
        for mode, warned in [(0o755, False), (0o644, True)]:
            with open(viewer, "wb") as f:
                f.write(VIEWERS["vellum"])
            os.chmod(viewer, mode)
            with self.subTest(mode=oct(mode)):
                result = self.run_tool("check", self.book, "--platform", "linux", check=False)
                self.assertEqual(b"warning: vellum: not executable" in result.stdout, warned)
                self.assertEqual(b"vellum-settings pack" in result.stdout, warned)

    def test_windows_build_makes_the_same_zip_as_the_linux_build(self):
        if not WINE or not os.path.exists(LINUX_TOOL):
            self.skipTest("needs the Windows build under Wine and the Linux build")
        env = dict(os.environ, SOURCE_DATE_EPOCH="1700000000")
        ours = os.path.join(self.dir, "windows.zip")
        self.run_tool("pack", self.book, "-o", ours, env=env)
        linux_tool = shutil.copy2(LINUX_TOOL, os.path.join(self.tools, "vellum-settings"))
        theirs = os.path.join(self.dir, "linux.zip")
        subprocess.run([linux_tool, "pack", self.book, "-o", theirs], env=env, check=True,
                       capture_output=True)
        with open(ours, "rb") as a, open(theirs, "rb") as b:
            self.assertEqual(a.read(), b.read())

if __name__ == "__main__":
    TOOL = sys.argv[1]
    WINE = sys.argv[2] if len(sys.argv) > 2 else ""
    unittest.main(argv=[sys.argv[0], "-v"])
