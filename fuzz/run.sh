#!/usr/bin/env bash
# Runs the settings loader's fuzz target for SECONDS from a copy of the seed corpus, so the
# inputs it finds stay out of the repository. Fails on any crash, leak, timeout, memory blow-up
# or broken property; the failing input is kept in BUILD_DIR/fuzz/artifacts/.
# Usage: fuzz/run.sh BUILD_DIR SECONDS
set -euo pipefail
build=${1:?usage: fuzz/run.sh BUILD_DIR SECONDS}
seconds=${2:?usage: fuzz/run.sh BUILD_DIR SECONDS}
here=$(cd "$(dirname "$0")" && pwd)
exe="$build/fuzz/vellum_settings_fuzz"
[ -x "$exe" ] || { echo "fuzz: $exe is missing; build the fuzz preset first" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/vellum-fuzz-run.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp -R "$here/corpus" "$work/corpus"
mkdir -p "$work/tmp" "$build/fuzz/artifacts"

echo "fuzz: vellum_settings_fuzz for ${seconds}s from $(ls "$work/corpus" | wc -l) seeds"
if ! TMPDIR="$work/tmp" "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$build/fuzz/artifacts/" -print_final_stats=1 "$work/corpus"; then
  echo "fuzz: FAILED; the input is in $build/fuzz/artifacts/" >&2
  exit 1
fi
echo "fuzz: passed"
