#!/usr/bin/env bash
# Runs every benchmark against a release build folder and prints the figures.
# Usage: bench/run-all.sh BUILD_DIR
set -euo pipefail
build=${1:?usage: bench/run-all.sh BUILD_DIR}
here=$(cd "$(dirname "$0")" && pwd)
for script in "$here"/settings/run.sh "$here"/startup/run.sh "$here"/popup/run.sh \
  "$here"/book/run.sh; do
  if [ -x "$script" ]; then
    echo "== $(basename "$(dirname "$script")")"
    "$script" "$build"
  fi
done
