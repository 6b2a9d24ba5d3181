# The programs the start-up and popup benchmarks compare, from a release build folder; sourced by
# their run.sh after setting `build` and `name`. Sets `bare` and `vellum_args`: the viewer and
# its settings tool when both are built, else nothing, and the bare program only is measured.
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
