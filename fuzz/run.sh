#!/usr/bin/env bash
# Runs each fuzz target (the settings loader, the book check's stylesheet scanner and its page
# reading) for SECONDS from a copy of its seed corpus, so the inputs it finds stay out of the
# repository. Fails on any crash, leak, timeout, memory blow-up or broken property; the failing
# input is kept in BUILD_DIR/fuzz/artifacts/.
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

for target in vellum_settings_fuzz:corpus vellum_css_fuzz:css-corpus vellum_page_fuzz:page-corpus; do
  name=${target%%:*}
  seeds="$work/${target#*:}"
  [ -d "$seeds" ] || cp -R "$here/${target#*:}" "$seeds"
  # Pages also start from the book check's fixture pages: every kind of reference it reads.
  [ "$name" = vellum_page_fuzz ] && cp "$here"/../tests/tools/book/faulty/*.html "$seeds"/
  echo "fuzz: $name for ${seconds}s from $(ls "$seeds" | wc -l) seeds"
  if ! TMPDIR="$work/tmp" "$build/fuzz/$name" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -artifact_prefix="$build/fuzz/artifacts/" -print_final_stats=1 "$seeds"; then
    echo "fuzz: FAILED; the input is in $build/fuzz/artifacts/" >&2
    exit 1
  fi
done
echo "fuzz: passed"
