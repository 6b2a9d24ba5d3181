# What the start-up and popup benchmarks share, sourced by their run.sh after setting `build` (a
# release build folder) and `name`. Finds the bare program and the viewer with its settings tool
# (the bare program alone is measured when those are not built), and gives `measure`, which runs
# a measuring script with them on a fresh Xvfb + openbox.
bench_repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bare="$build/bench/startup/vellum_bare_viewer"
vellum="$build/viewer/vellum"
settings_tool="$build/tools/vellum-settings"
[ -x "$bare" ] || { echo "$name: $bare is missing; build with the release preset" >&2; exit 1; }
vellum_args=()
if [ -x "$vellum" ] && [ -x "$settings_tool" ]; then
  vellum_args=(--vellum "$vellum" --settings-tool "$settings_tool")
else
  echo "$name: $vellum or $settings_tool is missing; measuring the bare program only" >&2
fi

# measure SCRIPT ARGS...: runs the Python SCRIPT with --bare, ARGS and the viewer's arguments.
measure() {
  local script=$1
  shift
  VELLUM_FORCE_XVFB=1 exec "$bench_repo/scripts/with-display.sh" \
    python3 "$script" --bare "$bare" "$@" "${vellum_args[@]}"
}
