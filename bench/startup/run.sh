#!/usr/bin/env bash
# Start-up of the viewer against a bare GTK + WebKitGTK program: exec to exit, exec to the start
# page's first pixels on the screen, and the peak memory of each process tree.
# Usage: bench/startup/run.sh BUILD_DIR [RUNS]   (BUILD_DIR: a release build with benchmarks)
# Always runs on a fresh Xvfb + openbox, so that figures do not depend on the desktop in use.
set -euo pipefail
build=$(cd "${1:?usage: bench/startup/run.sh BUILD_DIR [RUNS]}" && pwd)
runs=${2:-15}
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)

bare="$build/bench/startup/vellum_bare_viewer"
vellum="$build/viewer/vellum"
settings_tool="$build/tools/vellum-settings"
[ -x "$bare" ] || { echo "startup: $bare is missing; build with the release preset" >&2; exit 1; }
vellum_args=()
if [ -x "$vellum" ] && [ -x "$settings_tool" ]; then
  vellum_args=(--vellum "$vellum" --settings-tool "$settings_tool")
else
  echo "startup: $vellum or $settings_tool is missing; measuring the bare program only" >&2
fi

VELLUM_FORCE_XVFB=1 exec "$repo/scripts/with-display.sh" \
  python3 "$here/measure.py" --bare "$bare" --page "$here/close.html" --runs "$runs" \
  "${vellum_args[@]}"
