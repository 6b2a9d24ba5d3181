#!/usr/bin/env bash
# Runs the settings loader's benchmarks from a release build and prints the figures: throughput
# per benchmark, then the ratios against a plain copy and a whole-file read, and the peak memory.
# Usage: bench/settings/run.sh BUILD_DIR   (BENCH_REPETITIONS, default 5, sets the repetitions)
set -euo pipefail
build=${1:?usage: bench/settings/run.sh BUILD_DIR}
exe="$build/bench/settings/vellum_settings_bench"
[ -x "$exe" ] || { echo "bench/settings: $exe is missing; build the release preset first" >&2; exit 1; }
"$exe" --benchmark_repetitions="${BENCH_REPETITIONS:-5}" --benchmark_report_aggregates_only=true \
  --benchmark_color=false
