#!/usr/bin/env bash
# Start-up of the viewer against a bare GTK + WebKitGTK program: exec to exit, exec to the start
# page's first pixels on the screen, and the peak memory of each process tree.
# Usage: bench/startup/run.sh BUILD_DIR [RUNS]   (BUILD_DIR: a release build with benchmarks)
# Always runs on a fresh Xvfb + openbox, so that figures do not depend on the desktop in use.
set -euo pipefail
build=$(cd "${1:?usage: bench/startup/run.sh BUILD_DIR [RUNS]}" && pwd)
runs=${2:-15}
here=$(cd "$(dirname "$0")" && pwd)

name=startup
# shellcheck source=bench/programs.sh
. "$here/../programs.sh"

measure "$here/measure.py" --page "$here/close.html" --runs "$runs"
