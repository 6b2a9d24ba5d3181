#!/usr/bin/env bash
# Runs the book check benchmark from a release build and prints the figures.
# Usage: bench/book/run.sh BUILD_DIR   (BOOK_PAGES, default 10000, and BENCH_ROUNDS, default 3)
set -euo pipefail
build=${1:?usage: bench/book/run.sh BUILD_DIR}
exe="$build/bench/book/vellum_book_bench"
[ -x "$exe" ] || { echo "bench/book: $exe is missing; build the release preset first" >&2; exit 1; }
"$exe" "${BOOK_PAGES:-10000}" "${BENCH_ROUNDS:-3}"
