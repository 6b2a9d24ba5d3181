#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Start-up of the viewer against a bare GTK + WebKitGTK program, seen from outside.

Each run starts one program in a session of its own and follows the whole path: exec, window
shown, start page loaded and painted, the page calling window.close(), process exit. Each
program runs twice a round: on close.html, which closes its window four frames after its first,
and on hold.html (the same page under another name), which stays 1.5 s longer. Measured:
  - exec -> exit (close.html): until the program's own process has ended;
  - exec -> pixels (hold.html): until the colour the start page paints first shows on the X
    screen (rows of the root window are read every couple of milliseconds). Not taken on
    close.html: where WebKit paints without compositing, the page's frames do not wait for the
    screen, and it can close before its colour has been shown;
  - memory of the whole process tree, WebKit's helper processes included: every process in
    the program's session, every child of a process already counted, and every process whose
    environment carries this run's marker; sampled every 10 ms: the peak over the close.html
    run, and the steady figure 1 s after hold.html's colour was seen; summed over the tree as
      RSS: resident pages (libraries the tree's processes share are counted in each);
      dirty private: pages the tree's processes wrote and share with no one (heaps, buffers);
      PSS: shared pages split between all the processes on the machine that map them, so it
           also moves with whatever else is running; shown, not judged.
The two programs take turns (bare, vellum, vellum, bare, ...) after one discarded warm-up run
each. Needs an X display (run it through run.sh, which starts Xvfb when there is none).
"""

import argparse
import ctypes
import ctypes.util
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

# The start page fills its window with this colour (close.html).
PAGE_COLOUR = (0x1E, 0x6B, 0x52)
RUN_TIMEOUT_S = 20.0
SAMPLE_PERIOD_S = 0.010
PIXEL_PERIOD_S = 0.002
STEADY_AFTER_S = 1.0
# The most each figure of the viewer's may be, as a share of the bare program's.
TARGET_RATIOS = {"exit": 0.90, "pixels": 0.80, "steady_rss_mb": 0.85, "steady_dirty_mb": 0.85,
                 "steady_pss_mb": 0.85}
# Which run each figure comes from: the one on close.html or the one on hold.html.
HOLD_FIGURES = {"pixels", "steady_rss_mb", "steady_dirty_mb", "steady_pss_mb"}


class XImage(ctypes.Structure):
    # The leading members of Xlib's XImage; only these are read.
    _fields_ = [
        ("width", ctypes.c_int),
        ("height", ctypes.c_int),
        ("xoffset", ctypes.c_int),
        ("format", ctypes.c_int),
        ("data", ctypes.c_void_p),
        ("byte_order", ctypes.c_int),
        ("bitmap_unit", ctypes.c_int),
        ("bitmap_bit_order", ctypes.c_int),
        ("bitmap_pad", ctypes.c_int),
        ("depth", ctypes.c_int),
        ("bytes_per_line", ctypes.c_int),
        ("bits_per_pixel", ctypes.c_int),
    ]


class ScreenProbe:
    """Looks for a colour on the X screen by reading rows of the root window."""

    Z_PIXMAP = 2
    ALL_PLANES = ctypes.c_ulong(0xFFFFFFFF)
    ROW_SPACING = 100  # closer than the smallest window this looks for

    def __init__(self, colour):
        name = ctypes.util.find_library("X11")
        if not name:
            raise SystemExit("measure.py: libX11 is not installed")
        x11 = ctypes.CDLL(name)
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XDefaultRootWindow.restype = ctypes.c_ulong
        x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x11.XDisplayWidth.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x11.XDisplayHeight.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x11.XGetImage.restype = ctypes.POINTER(XImage)
        x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                  ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        x11.XDestroyImage.argtypes = [ctypes.POINTER(XImage)]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self._x11 = x11
        self._display = x11.XOpenDisplay(None)
        if not self._display:
            raise SystemExit("measure.py: cannot open the X display '%s'" %
                             os.environ.get("DISPLAY", ""))
        self._root = x11.XDefaultRootWindow(self._display)
        self.width = x11.XDisplayWidth(self._display, 0)
        self.height = x11.XDisplayHeight(self._display, 0)
        self._rows = list(range(self.ROW_SPACING // 2, self.height, self.ROW_SPACING))
        self.look_for(colour)

    def look_for(self, colour):
        red, green, blue = colour
        # A 24-bit TrueColor screen in 32-bit pixels, least significant byte first.
        self._needle = bytes((blue, green, red))

    def close(self):
        self._x11.XCloseDisplay(self._display)

    def _row_has_colour(self, y):
        image = self._x11.XGetImage(self._display, self._root, 0, y, self.width, 1,
                                    self.ALL_PLANES, self.Z_PIXMAP)
        if not image:
            return False
        try:
            info = image.contents
            if info.bits_per_pixel != 32 or info.byte_order != 0:
                raise SystemExit("measure.py: the screen must have 32-bit little-endian pixels")
            row = ctypes.string_at(info.data, info.bytes_per_line)
        finally:
            self._x11.XDestroyImage(image)
        at = row.find(self._needle)
        while at >= 0:
            if at % 4 == 0:
                return True
            at = row.find(self._needle, at + 1)
        return False

    def sees_colour(self):
        return any(self._row_has_colour(y) for y in self._rows)


def read_text(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except (FileNotFoundError, ProcessLookupError, PermissionError):
        return None


class ProcessTree:
    """The processes that belong to one run, found by polling /proc."""

    ROLLUP_KEYS = {b"Rss": "rss", b"Private_Dirty": "dirty", b"Pss": "pss"}

    def __init__(self, marker):
        """Call before the run starts: processes that were already running cannot belong to it."""
        self.marker = marker.encode()
        self.strangers = {int(p) for p in os.listdir("/proc") if p.isdigit()}
        self.leader = None
        self.members = set()
        self.ever = set()

    def start(self, leader):
        self.leader = leader
        self.strangers.discard(leader)
        self.members.add(leader)
        self.ever.add(leader)

    def _belongs(self, pid):
        stat = read_text("/proc/%d/stat" % pid)
        if stat is None:
            return False
        fields = stat[stat.rfind(b")") + 2:].split()
        ppid, session = int(fields[1]), int(fields[3])
        if session == self.leader or ppid in self.members:
            return True
        environ = read_text("/proc/%d/environ" % pid)
        return environ is not None and self.marker in environ.split(b"\0")

    def scan(self):
        for name in os.listdir("/proc"):
            if not name.isdigit():
                continue
            pid = int(name)
            if pid in self.members or pid in self.strangers:
                continue
            if self._belongs(pid):
                self.members.add(pid)
                self.ever.add(pid)
            else:
                self.strangers.add(pid)

    def memory_kb(self):
        """{"rss", "dirty", "pss"} summed over the live members, in KiB; members that have ended
        are dropped."""
        total = {"rss": 0, "dirty": 0, "pss": 0}
        for pid in list(self.members):
            rollup = read_text("/proc/%d/smaps_rollup" % pid)
            if rollup is None or not self._running(pid):
                self.members.discard(pid)
                continue
            for line in rollup.splitlines():
                key, _, rest = line.partition(b":")
                if key in self.ROLLUP_KEYS:
                    total[self.ROLLUP_KEYS[key]] += int(rest.split()[0])
        return total

    @staticmethod
    def _running(pid):
        """False once the process has ended, zombies included (re-parented helpers can wait a
        while for the system's first process to reap them)."""
        stat = read_text("/proc/%d/stat" % pid)
        return stat is not None and stat[stat.rfind(b")") + 2:][:1] not in (b"Z", b"X")


def run_once(argv, probe, marker, log, hold):
    """One run from exec to the end of the process tree. Returns a dict of figures; `hold`: the
    page stays on the screen, and the run gives first pixels and the steady memory."""
    env = dict(os.environ, VELLUM_BENCH_RUN=marker)
    if probe.sees_colour():
        raise SystemExit("measure.py: the page colour is on the screen before the run starts")
    result = {"exit": None, "pixels": None}
    tree = ProcessTree(marker)
    t0 = time.monotonic()
    proc = subprocess.Popen(argv, env=env, start_new_session=True, stdin=subprocess.DEVNULL,
                            stdout=log, stderr=log)
    tree.start(proc.pid)
    exited = threading.Event()

    def wait_exit():
        proc.wait()
        result["exit"] = time.monotonic() - t0
        exited.set()

    def watch_pixels():
        while not exited.is_set() and time.monotonic() - t0 < RUN_TIMEOUT_S:
            if probe.sees_colour():
                result["pixels"] = time.monotonic() - t0
                return
            time.sleep(PIXEL_PERIOD_S)

    threads = [threading.Thread(target=wait_exit), threading.Thread(target=watch_pixels)]
    for t in threads:
        t.start()
    peak = {"rss": 0, "dirty": 0, "pss": 0}
    steady = None
    while True:
        tree.scan()
        memory = tree.memory_kb()
        for key, kib in memory.items():
            peak[key] = max(peak[key], kib)
        pixels = result["pixels"]
        if steady is None and pixels is not None and not exited.is_set() and (
                time.monotonic() - t0 >= pixels + STEADY_AFTER_S):
            steady = memory
        if exited.is_set() and not tree.members:
            break
        if time.monotonic() - t0 > RUN_TIMEOUT_S:
            # Only the processes of this run, by their ids.
            for pid in tree.members:
                try:
                    os.kill(pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
            proc.wait()
            break
        time.sleep(SAMPLE_PERIOD_S)
    gone = time.monotonic() - t0
    for t in threads:
        t.join()
    ok = proc.returncode == 0 and gone <= RUN_TIMEOUT_S and (not hold or steady is not None)
    steady = steady or {"rss": 0, "dirty": 0, "pss": 0}
    return {
        "ok": ok,
        "rc": proc.returncode,
        "exit": result["exit"],
        "pixels": result["pixels"],
        "gone": gone,
        "rss_mb": peak["rss"] / 1024,
        "dirty_mb": peak["dirty"] / 1024,
        "pss_mb": peak["pss"] / 1024,
        "steady_rss_mb": steady["rss"] / 1024,
        "steady_dirty_mb": steady["dirty"] / 1024,
        "steady_pss_mb": steady["pss"] / 1024,
        "procs": len(tree.ever),
    }


def prepare(workdir, bare, vellum, settings_tool, page, name):
    """A program folder holding the page as `name` and, when measured, `vellum` (a copy of it and
    its settings). Returns {program: argv}; the bare program is given the page's URL."""
    folder = workdir / Path(name).stem
    folder.mkdir()
    shutil.copy2(page, folder / name)
    programs = {"bare": [str(Path(bare).resolve()), (folder / name).resolve().as_uri()]}
    if vellum:
        shutil.copy2(vellum, folder / "vellum")
        # Maximized, as the bare program opens, so that both paint the same area.
        subprocess.run([settings_tool, "new", str(folder), "--title", "Start-up", "--start-page",
                        name, "--maximized"], check=True, stdout=subprocess.DEVNULL)
        programs["vellum"] = [str(folder / "vellum")]
    return programs


def describe(values, unit_format):
    return unit_format % statistics.median(values), unit_format % min(values), unit_format % max(
        values)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bare", required=True, help="the bare GTK + WebKitGTK program")
    parser.add_argument("--vellum", help="the viewer (left out: only the bare program runs)")
    parser.add_argument("--settings-tool", help="vellum-settings, which writes the viewer's settings")
    parser.add_argument("--page", required=True,
                        help="the start page that closes itself (it stays longer as hold.html)")
    parser.add_argument("--runs", type=int, default=15, help="measured runs of each program")
    args = parser.parse_args()
    if args.runs < 1:
        parser.error("--runs must be at least 1")
    if args.vellum and not args.settings_tool:
        raise SystemExit("measure.py: --vellum needs --settings-tool to write its settings")
    for path in filter(None, [args.bare, args.vellum, args.settings_tool, args.page]):
        if not Path(path).is_file():
            raise SystemExit("measure.py: '%s' does not exist (build the release preset first)" %
                             path)

    probe = ScreenProbe(PAGE_COLOUR)
    with tempfile.TemporaryDirectory(prefix="vellum-startup-") as tmp:
        workdir = Path(tmp)
        pages = {hold: prepare(workdir, args.bare, args.vellum, args.settings_tool, Path(args.page),
                               "hold.html" if hold else "close.html")
                 for hold in (False, True)}
        names = list(pages[False])
        log_path = workdir / "programs.log"
        load = os.getloadavg()
        print("start-up: %d measured runs of each of %s, taking turns, after one warm-up each" %
              (args.runs, ", ".join(names)))
        print("screen %s %dx%d; load average before: %.2f %.2f %.2f; %d CPUs" %
              (os.environ.get("DISPLAY", "?"), probe.width, probe.height, *load, os.cpu_count()))
        results = {(name, hold): [] for name in names for hold in (False, True)}
        failures = []
        with open(log_path, "w") as log:
            for round_no in range(args.runs + 1):
                order = names if round_no % 2 == 0 else list(reversed(names))
                for name in order:
                    for hold in (False, True):
                        marker = "%s-%d-%d-%d" % (name, os.getpid(), round_no, hold)
                        figures = run_once(pages[hold][name], probe, marker, log, hold)
                        if not figures["ok"]:
                            failures.append((name, round_no, figures))
                        elif round_no > 0:
                            results[name, hold].append(figures)
                        time.sleep(0.3)
        probe.close()
        if failures:
            for name, round_no, figures in failures:
                print("FAILED: %s run %d: exit status %s, pixels seen: %s" %
                      (name, round_no, figures["rc"], figures["pixels"] is not None))
            print("--- the programs' output ---")
            sys.stdout.write(log_path.read_text(errors="replace")[-4000:])

    rows = [
        ("exec -> exit (s)", "exit", "%.3f"),
        ("exec -> first pixels (s)", "pixels", "%.3f"),
        ("exec -> tree ended (s)", "gone", "%.3f"),
        ("peak tree RSS (MiB)", "rss_mb", "%.1f"),
        ("peak tree dirty (MiB)", "dirty_mb", "%.1f"),
        ("peak tree PSS (MiB)", "pss_mb", "%.1f"),
        ("steady tree RSS (MiB)", "steady_rss_mb", "%.1f"),
        ("steady tree dirty (MiB)", "steady_dirty_mb", "%.1f"),
        ("steady tree PSS (MiB)", "steady_pss_mb", "%.1f"),
        ("processes in the tree", "procs", "%.0f"),
    ]
    header = "%-26s" % "median [min-max]" + "".join("%24s" % n for n in names)
    if "vellum" in names:
        header += "%14s" % "vellum/bare"
    print(header)
    verdicts = []
    for label, key, fmt in rows:
        line = "%-26s" % label
        medians = {}
        for name in names:
            values = [r[key] for r in results[name, key in HOLD_FIGURES]]
            if not values:
                line += "%24s" % "-"
                continue
            med, low, high = describe(values, fmt)
            medians[name] = statistics.median(values)
            line += "%24s" % ("%s [%s-%s]" % (med, low, high))
        if "vellum" in medians and medians.get("bare"):
            ratio = medians["vellum"] / medians["bare"]
            line += "%14.3f" % ratio
            if key in TARGET_RATIOS:
                verdicts.append((label, ratio, TARGET_RATIOS[key]))
        print(line)
    print("(PSS also moves with the other programs on the machine that map the same libraries.)")
    for label, ratio, target in verdicts:
        print("%-26s vellum/bare %.3f: %s (target <= %.2f)" %
              (label, ratio, "met" if ratio <= target else "MISSED", target))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
