#!/usr/bin/env bash
# Cross-builds the Windows program and its tests with MinGW-w64 (preset "win32") and runs the
# tests under Wine on an X display (Xvfb + openbox when none is set): the backend's in-process
# tests, the outside smoke test of Vellum.exe, the import check and the format check.
# Needs the packages of: scripts/install-deps.sh win32 test
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${JOBS:-2}
cmake --preset win32
cmake --build --preset win32 -j "$jobs"
scripts/with-display.sh ctest --preset win32
