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
repo=$(cd "$here/../.." && pwd)

bare="$build/bench/startup/vellum_bare_viewer"
vellum="$build/viewer/vellum"
settings_tool="$build/tools/vellum-settings"
[ -x "$bare" ] || { echo "popup: $bare is missing; build with the release preset" >&2; exit 1; }
vellum_args=()
if [ -x "$vellum" ] && [ -x "$settings_tool" ]; then
  vellum_args=(--vellum "$vellum" --settings-tool "$settings_tool")
else
  echo "popup: $vellum or $settings_tool is missing; measuring the bare program only" >&2
fi

VELLUM_FORCE_XVFB=1 exec "$repo/scripts/with-display.sh" \
  python3 "$here/measure.py" --bare "$bare" --runs "$runs" --popups "$popups" "${vellum_args[@]}"
