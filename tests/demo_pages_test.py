#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The demo book's pages keep to what the Windows web-browser control can show and run.

Nothing on Linux renders a page the way that control does, so its needs are checked in the
sources: every page asks for the control's newest document mode (the X-UA-Compatible meta, first
in <head>), every script, in files, <script> elements and on* attributes, parses as ES5 (Debian's
acorn), uses none of a few later APIs the control lacks, and no style sheet uses custom
properties.

Usage: demo_pages_test.py PAGES_DIR
"""

import os
import re
import shutil
import subprocess
import sys
from html.parser import HTMLParser

MODE_META = {"http-equiv": "x-ua-compatible", "content": "ie=edge"}
JS_TYPES = ("", "text/javascript", "application/javascript")
# Later APIs that parse as ES5 but that the control does not have.
LATER_APIS = re.compile(r"\bfetch\(|\bPromise\b|\.append\(|\.prepend\(|\.closest\(|\.includes\("
                        r"|\bArray\.from\b|\bObject\.assign\b")


class Page(HTMLParser):
    """Collects what the checks need from one page."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.in_head = False
        self.head_first = None  # (tag, attributes) of the first element in <head>
        self.saw_head = False
        self.scripts = []  # (line, kind, text)
        self.styles = []  # text of <style> elements
        self._open = None  # ("script" or "style", line) while inside one
        self._text = []

    def handle_starttag(self, tag, attrs):
        attrs = {k.lower(): (v or "") for k, v in attrs}
        line = self.getpos()[0]
        if self.in_head and self.head_first is None:
            self.head_first = (tag, attrs)
        if tag == "head":
            self.in_head = self.saw_head = True
        for name, value in attrs.items():
            if name.startswith("on"):
                self.scripts.append((line, name + " attribute", "(function (event) {" + value + "\n});"))
        if tag == "script" and "src" not in attrs and attrs.get("type", "").lower() in JS_TYPES:
            self._open, self._text = ("script", line), []
        elif tag == "style":
            self._open, self._text = ("style", line), []

    def handle_endtag(self, tag):
        if tag == "head":
            self.in_head = False
        if self._open and tag == self._open[0]:
            kind, line = self._open
            if kind == "script":
                self.scripts.append((line, "inline script", "".join(self._text)))
            else:
                self.styles.append("".join(self._text))
            self._open = None

    def handle_data(self, data):
        if self._open:
            self._text.append(data)


def es5_error(text):
    """acorn's complaint about `text` as an ES5 script, or None when it parses."""
    run = subprocess.run(["acorn", "--ecma5", "--silent"], input=text, capture_output=True,
                         text=True, check=False)
    return None if run.returncode == 0 else (run.stderr.strip() or "does not parse")


def check_script(where, text, problems):
    error = es5_error(text)
    if error:
        problems.append("%s: not ES5: %s" % (where, error))
    for number, line in enumerate(text.splitlines(), 1):
        found = LATER_APIS.search(line.split("//")[0])
        if found:
            problems.append("%s, line %d: %s is not in the Windows control" % (where, number,
                                                                               found.group(0)))


def check_style(where, text, problems):
    if "var(--" in text:
        problems.append("%s: uses CSS custom properties (var(--...))" % where)


def main(pages_dir):
    if not shutil.which("acorn"):
        print("acorn is not installed (Debian: node-acorn; scripts/install-deps.sh test)")
        return 1
    problems = []
    checked = 0
    for root, _, files in os.walk(pages_dir):
        for name in sorted(files):
            path = os.path.join(root, name)
            where = os.path.relpath(path, pages_dir)
            extension = os.path.splitext(name)[1].lower()
            if extension not in (".html", ".htm", ".js", ".css"):
                continue
            checked += 1
            with open(path, encoding="utf-8") as source:
                text = source.read()
            if extension == ".js":
                check_script(where, text, problems)
            elif extension == ".css":
                check_style(where, text, problems)
            else:
                page = Page()
                page.feed(text)
                page.close()
                first = page.head_first
                if not page.saw_head:
                    problems.append("%s: has no <head>" % where)
                elif (first is None or first[0] != "meta" or
                      {k: first[1].get(k, "").lower() for k in MODE_META} != MODE_META):
                    problems.append('%s: <head> does not start with <meta http-equiv='
                                    '"X-UA-Compatible" content="IE=edge">' % where)
                for line, kind, script in page.scripts:
                    # Padded so that the line numbers reported are the page's own.
                    check_script("%s (%s)" % (where, kind), "\n" * (line - 1) + script, problems)
                for style in page.styles:
                    check_style(where + " (<style>)", style, problems)
    for problem in problems:
        print(problem)
    print("%d files checked, %d problems" % (checked, len(problems)))
    return 1 if problems or not checked else 0


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__.strip().splitlines()[-1])
    sys.exit(main(sys.argv[1]))
