#!/usr/bin/env bash
# Cross-builds the Windows program and its tests with MinGW-w64 (preset "win32") and runs the
# tests under Wine on an X display (Xvfb + openbox when none is set): the backend's in-process
# tests, the outside smoke test of Vellum.exe, the publishers' tool (against a Linux build of it),
# the import check and the format check.
# Needs the packages of: scripts/install-deps.sh win32 test
set -euo pipefail
cd "$(dirname "$0")/.."

# Wine takes the ANSI code page from the locale: the tests run the program under Japanese (932)
# as well, which needs that locale generated.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  $sudo localedef -i ja_JP -c -f UTF-8 ja_JP.UTF-8
fi

# The Gumbo sources vellum-settings.exe is built with, checked against their pinned digest.
scripts/fetch-gumbo.sh

jobs=${JOBS:-2}
# A Linux build of the publishers' tool: the Windows one must find what it finds in a book.
cmake --preset default >/dev/null
cmake --build --preset default -j "$jobs" --target vellum-settings
cmake --preset win32 -DVELLUM_HOST_SETTINGS_TOOL="$PWD/build/default/tools/vellum-settings"
cmake --build --preset win32 -j "$jobs"
scripts/with-display.sh ctest --preset win32
