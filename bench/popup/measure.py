#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""What a popup costs in the viewer against a bare GTK + WebKitGTK program, seen from outside.

Each run starts one program on opener.html, which opens popups one at a time (popup.html), each
once the one before has painted and had 700 ms to settle, then closes its window. Measured:
  - open time: from the page's window.open() to the popup's colour on the X screen;
  - load delay: from window.open() to the start of the popup's load (its fetchStart); a popup
    whose load starts more than 100 ms after its request counts as a stall;
  - memory per popup: the whole process tree's memory (as bench/startup counts it) just before
    each request, so with 0, 1, ... N popups open and settled; the slope of a least-squares line
    through 1..N popups is what each extra popup costs, the step from 0 to 1 what the first one
    costs (its share of one-off work included).
The pages report their clock (Date.now()) to a small HTTP listener on 127.0.0.1 that this script
runs; the screen and /proc are read here, on the same clock. The two programs take turns after
one discarded warm-up run each. Needs an X display (run.sh starts Xvfb when there is none).
"""

import argparse
import http.server
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path
from urllib.parse import parse_qs, urlsplit

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "startup"))
import measure as startup  # noqa: E402  (the start-up benchmark's screen probe and process tree)

SETTLE_MS = 700
RUN_TIMEOUT_S = 90.0
STALL_MS = 100
TARGET_OPEN = 0.60
TARGET_MEMORY = 0.15


def popup_colour(index):
    """The colour popup.html paints for popup `index`."""
    return (90, 32 + index, 196)


class Listener:
    """Receives the pages' reports: GET /what?i=..&t=.. (t: the page's Date.now() in ms)."""

    def __init__(self):
        self.events = []
        self.lock = threading.Lock()
        listener = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                parts = urlsplit(self.path)
                fields = {k: v[0] for k, v in parse_qs(parts.query).items()}
                with listener.lock:
                    listener.events.append((parts.path.strip("/"), fields))
                self.send_response(204)
                self.end_headers()

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.port = self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def take(self):
        with self.lock:
            events, self.events = self.events, []
        return events

    def close(self):
        self.server.shutdown()


def slope(ys):
    """Least-squares slope of ys against 0, 1, 2, ..."""
    n = len(ys)
    if n < 2:
        return None
    mean_x = (n - 1) / 2
    mean_y = sum(ys) / n
    num = sum((x - mean_x) * (y - mean_y) for x, y in enumerate(ys))
    den = sum((x - mean_x) ** 2 for x in range(n))
    return num / den


def run_once(argv, popups, listener, marker, log):
    """One run from exec to the end of the process tree. Returns a dict of figures."""
    env = dict(os.environ, VELLUM_BENCH_RUN=marker)
    listener.take()
    tree = startup.ProcessTree(marker)
    proc = subprocess.Popen(argv, env=env, start_new_session=True, stdin=subprocess.DEVNULL,
                            stdout=log, stderr=log)
    t0 = time.monotonic()
    tree.start(proc.pid)
    seen = {}  # popup -> epoch seconds its colour was first on the screen
    exited = threading.Event()

    def watch_pixels():
        probe = startup.ScreenProbe(popup_colour(0))
        try:
            while not exited.is_set() and len(seen) < popups:
                probe.look_for(popup_colour(len(seen)))
                if probe.sees_colour():
                    seen[len(seen)] = time.time()
                else:
                    time.sleep(startup.PIXEL_PERIOD_S)
        finally:
            probe.close()

    watcher = threading.Thread(target=watch_pixels)
    watcher.start()
    samples = []  # (epoch seconds, {"rss", "dirty", "pss"} in KiB)
    requested, loaded, memory, ended = {}, {}, {}, None
    timed_out = False

    def before(t):
        earlier = [m for when, m in samples if when <= t]
        return earlier[-1] if earlier else None

    while True:
        tree.scan()
        samples.append((time.time(), tree.memory_kb()))
        for what, fields in listener.take():
            t = int(fields.get("t", "0")) / 1000
            if what == "request":
                requested[int(fields["i"])] = t
                memory[int(fields["i"])] = before(t)
            elif what == "load":
                loaded[int(fields["i"])] = t
            elif what == "end":
                ended = t
                memory[popups] = before(t)
        if proc.poll() is not None and not tree.members:
            break
        if time.monotonic() - t0 > RUN_TIMEOUT_S:
            timed_out = True
            for pid in tree.members:
                try:
                    os.kill(pid, 9)
                except ProcessLookupError:
                    pass
            proc.wait()
            break
        time.sleep(startup.SAMPLE_PERIOD_S)
    exited.set()
    watcher.join()
    ok = (not timed_out and proc.returncode == 0 and ended is not None and
          len(seen) == popups and len(loaded) == popups and
          all(memory.get(k) for k in range(popups + 1)))
    figures = {"ok": ok, "rc": proc.returncode, "seen": len(seen), "loaded": len(loaded)}
    if not ok:
        return figures
    figures["open_ms"] = [(seen[i] - requested[i]) * 1000 for i in range(popups)]
    figures["load_ms"] = [(loaded[i] - requested[i]) * 1000 for i in range(popups)]
    for key in ("pss", "dirty", "rss"):
        mib = [memory[k][key] / 1024 for k in range(popups + 1)]
        figures[key + "_alone"] = mib[0]
        figures[key + "_first"] = mib[1] - mib[0]
        figures[key + "_each"] = slope(mib[1:])
    return figures


def prepare(workdir, vellum, settings_tool, port, popups):
    """A program folder holding the pages, their config.js and, when measured, the viewer."""
    folder = workdir / "program"
    folder.mkdir()
    here = Path(__file__).resolve().parent
    for page in ("opener.html", "popup.html"):
        shutil.copy2(here / page, folder / page)
    (folder / "config.js").write_text(
        "window.POPUP_BENCH = {port: %d, popups: %d, settle_ms: %d, timeout_ms: 20000};\n" %
        (port, popups, SETTLE_MS))
    programs = {}
    if vellum:
        shutil.copy2(vellum, folder / "vellum")
        # Maximized, as the bare program opens, so that both openers paint the same area.
        subprocess.run([settings_tool, "new", str(folder), "--title", "Popups", "--start-page",
                        "opener.html", "--maximized"], check=True, stdout=subprocess.DEVNULL)
        programs["vellum"] = [str(folder / "vellum")]
    return folder, programs


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bare", required=True, help="the bare GTK + WebKitGTK program")
    parser.add_argument("--vellum", help="the viewer (left out: only the bare program runs)")
    parser.add_argument("--settings-tool", help="vellum-settings, which writes the viewer's settings")
    parser.add_argument("--runs", type=int, default=3, help="measured runs of each program")
    parser.add_argument("--popups", type=int, default=10, help="popups opened in each run")
    args = parser.parse_args()
    if args.runs < 1 or not 2 <= args.popups <= 200:
        parser.error("--runs must be at least 1 and --popups between 2 and 200")
    if args.vellum and not args.settings_tool:
        raise SystemExit("measure.py: --vellum needs --settings-tool to write its settings")
    for path in filter(None, [args.bare, args.vellum, args.settings_tool]):
        if not Path(path).is_file():
            raise SystemExit("measure.py: '%s' does not exist (build the release preset first)" %
                             path)

    listener = Listener()
    with tempfile.TemporaryDirectory(prefix="vellum-popup-") as tmp:
        workdir = Path(tmp)
        folder, programs = prepare(workdir, args.vellum, args.settings_tool, listener.port,
                                   args.popups)
        url = (folder / "opener.html").resolve().as_uri()
        programs = {"bare": [str(Path(args.bare).resolve()), url], **programs}
        names = list(programs)
        log_path = workdir / "programs.log"
        print("popups: %d measured runs of %d popups each of %s, taking turns, after one warm-up "
              "each" % (args.runs, args.popups, ", ".join(names)))
        print("load average before: %.2f %.2f %.2f; %d CPUs" % (*os.getloadavg(), os.cpu_count()))
        results = {name: [] for name in names}
        failures = []
        with open(log_path, "w") as log:
            for round_no in range(args.runs + 1):
                order = names if round_no % 2 == 0 else list(reversed(names))
                for name in order:
                    marker = "%s-%d-%d" % (name, os.getpid(), round_no)
                    figures = run_once(programs[name], args.popups, listener, marker, log)
                    if not figures["ok"]:
                        failures.append((name, round_no, figures))
                    elif round_no > 0:
                        results[name].append(figures)
                    time.sleep(0.3)
        listener.close()
        print("load average after: %.2f %.2f %.2f" % os.getloadavg())
        if failures:
            for name, round_no, figures in failures:
                print("FAILED: %s run %d: exit status %s, %d popups seen, %d loads reported" %
                      (name, round_no, figures["rc"], figures["seen"], figures["loaded"]))
            print("--- the programs' output ---")
            sys.stdout.write(log_path.read_text(errors="replace")[-4000:])

    def pooled(name, key):
        return [v for r in results[name] for v in r[key]]

    def per_run(name, key):
        return [r[key] for r in results[name]]

    rows = [
        ("open: window.open -> paint (ms)", lambda n: pooled(n, "open_ms"), "%.0f"),
        ("load delay (ms)", lambda n: pooled(n, "load_ms"), "%.0f"),
        ("tree PSS per extra popup (MiB)", lambda n: per_run(n, "pss_each"), "%.2f"),
        ("dirty per extra popup (MiB)", lambda n: per_run(n, "dirty_each"), "%.2f"),
        ("RSS per extra popup (MiB)", lambda n: per_run(n, "rss_each"), "%.2f"),
        ("first popup, PSS (MiB)", lambda n: per_run(n, "pss_first"), "%.2f"),
        ("opener alone, PSS (MiB)", lambda n: per_run(n, "pss_alone"), "%.1f"),
        ("opener alone, dirty (MiB)", lambda n: per_run(n, "dirty_alone"), "%.1f"),
    ]
    header = "%-32s" % "median [min-max]" + "".join("%22s" % n for n in names)
    if "vellum" in names:
        header += "%13s" % "vellum/bare"
    print(header)
    ratios = {}
    for label, values_of, fmt in rows:
        line = "%-32s" % label
        medians = {}
        for name in names:
            values = values_of(name)
            if not values:
                line += "%22s" % "-"
                continue
            medians[name] = statistics.median(values)
            line += "%22s" % ("%s [%s-%s]" % (fmt % medians[name], fmt % min(values),
                                               fmt % max(values)))
        if "vellum" in medians and medians.get("bare"):
            ratios[label] = medians["vellum"] / medians["bare"]
            line += "%13.3f" % ratios[label]
        print(line)
    for name in names:
        delays = pooled(name, "load_ms")
        if delays:
            stalls = sum(1 for d in delays if d > STALL_MS)
            print("%-8s stalls (load starting > %d ms after window.open): %d of %d popups" %
                  (name, STALL_MS, stalls, len(delays)))
    verdicts = [("open: window.open -> paint (ms)", TARGET_OPEN),
                ("tree PSS per extra popup (MiB)", TARGET_MEMORY)]
    for label, target in verdicts:
        if label in ratios:
            print("%-32s vellum/bare %.3f: %s (target <= %.2f)" %
                  (label, ratios[label], "met" if ratios[label] <= target else "MISSED", target))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
