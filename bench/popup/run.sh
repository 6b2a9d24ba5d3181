#!/usr/bin/env bash
# What a popup costs in the viewer against a bare GTK + WebKitGTK program: time from window.open
# to the popup's first paint, the start of its load, and the process tree's memory per popup.
# Usage: bench/popup/run.sh BUILD_DIR [RUNS] [POPUPS]   (BUILD_DIR: a release build with benchmarks)
# Always runs on a fresh Xvfb + openbox, so that figures do not depend on the desktop in use.
set -euo pipefail
build=$(cd "${1:?usage: bench/popup/run.sh BUILD_DIR [RUNS] [POPUPS]}" && pwd)
runs=${2:-3}
popups=${3:-10}
here=$(cd "$(dirname "$0")" && pwd)

name=popup
# shellcheck source=bench/programs.sh
. "$here/../programs.sh"

measure "$here/measure.py" --runs "$runs" --popups "$popups"
