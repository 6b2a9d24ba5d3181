#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The resources of a built Windows program, read back from the .exe as Windows reads them:
the application manifest (RT_MANIFEST 1) parses as XML and asks for what the program needs, the
icon holds every size the shell asks for, and the version information carries the project's
version and the program's file name, with no word that makes Windows take it for an installer.

Usage: resources_test.py WRESTOOL WINDRES VERSION PROGRAM.exe...
"""
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

ASM_V1 = "urn:schemas-microsoft-com:asm.v1"
ASM_V3 = "urn:schemas-microsoft-com:asm.v3"
COMPAT = "urn:schemas-microsoft-com:compatibility.v1"
SMI_2005 = "http://schemas.microsoft.com/SMI/2005/WindowsSettings"
SMI_2016 = "http://schemas.microsoft.com/SMI/2016/WindowsSettings"
# Vista, 7, 8, 8.1, 10/11.
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
}
ICON_SIZES = [16, 24, 32, 48, 256]

failures = []


def check(ok, what):
    print(("ok: " if ok else "FAIL: ") + what)
    if not ok:
        failures.append(what)


def text_of(root, path):
    element = root.find(path)
    return None if element is None else (element.text or "").strip()


def check_manifest(exe, wrestool):
    raw = subprocess.run([wrestool, "-x", "--raw", "-t", "24", "-n", "1", exe],
                         check=True, capture_output=True).stdout
    try:
        root = ET.fromstring(raw)
    except ET.ParseError as error:
        check(False, f"{exe}: the manifest is not XML: {error}")
        return
    a, v3 = "{%s}" % ASM_V1, "{%s}" % ASM_V3
    settings = f"{v3}application/{v3}windowsSettings/"
    comctl = root.find(f"{a}dependency/{a}dependentAssembly/{a}assemblyIdentity")
    level = root.find(f".//{v3}requestedExecutionLevel")
    oses = {e.get("Id") for e in root.iter("{%s}supportedOS" % COMPAT)}
    table = [
        ("Common Controls 6",
         comctl is not None and (comctl.get("name"), comctl.get("version"),
                                 comctl.get("publicKeyToken")) ==
         ("Microsoft.Windows.Common-Controls", "6.0.0.0", "6595b64144ccf1df")),
        ("dpiAwareness PerMonitorV2, PerMonitor",
         text_of(root, settings + "{%s}dpiAwareness" % SMI_2016) == "PerMonitorV2, PerMonitor"),
        ("dpiAware true/pm", text_of(root, settings + "{%s}dpiAware" % SMI_2005) == "true/pm"),
        ("longPathAware true",
         text_of(root, settings + "{%s}longPathAware" % SMI_2016) == "true"),
        ("no activeCodePage", not any(e.tag.endswith("activeCodePage") for e in root.iter())),
        ("asInvoker", level is not None and level.get("level") == "asInvoker"),
        ("supportedOS Vista to 10/11", oses == SUPPORTED_OS),
    ]
    for what, ok in table:
        check(ok, f"{os.path.basename(exe)}: manifest: {what}")


def check_icon(exe, wrestool):
    with tempfile.TemporaryDirectory() as work:
        subprocess.run([wrestool, "-x", "-t", "14", "-n", "1", "-o", work, exe], check=True)
        icons = os.listdir(work)
        sizes = []
        if len(icons) == 1:
            listing = subprocess.run(["icotool", "-l", os.path.join(work, icons[0])], check=True,
                                     capture_output=True, text=True).stdout
            sizes = sorted(int(w) for w in re.findall(r"--width=(\d+)", listing))
    check(sizes == ICON_SIZES, f"{os.path.basename(exe)}: icon 1 in sizes {sizes}")


def check_version(exe, windres, version):
    rc = subprocess.run([windres, "-i", exe, "-O", "rc"], check=True, capture_output=True,
                        text=True).stdout
    name = os.path.basename(exe)
    numbers = ",".join(version.split(".") + ["0"])
    values = dict(re.findall(r'VALUE "(\w+)", "([^"]*)"', rc))
    table = [
        ("FILEVERSION", re.search(r"FILEVERSION\s+" + numbers.replace(",", r",\s*"), rc)),
        ("PRODUCTVERSION", re.search(r"PRODUCTVERSION\s+" + numbers.replace(",", r",\s*"), rc)),
        ("FileVersion", values.get("FileVersion") == version),
        ("ProductVersion", values.get("ProductVersion") == version),
        ("ProductName", values.get("ProductName") == "Vellum"),
        ("FileDescription", bool(values.get("FileDescription"))),
        ("OriginalFilename", values.get("OriginalFilename") == name),
        ("no installer words",
         not re.search(r"setup|install|update", " ".join(values.values()), re.IGNORECASE)),
    ]
    for what, ok in table:
        check(bool(ok), f"{name}: version information: {what} ({values.get(what, '')})")


def main():
    wrestool, windres, version, *exes = sys.argv[1:]
    for exe in exes:
        check_manifest(exe, wrestool)
        check_icon(exe, wrestool)
        check_version(exe, windres, version)
    if failures:
        print(f"resources test: {len(failures)} failure(s)", file=sys.stderr)
        return 1
    print("resources test: all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
