# SPDX-License-Identifier: MIT
# What the Wine tests of the shipped Vellum.exe share; sourced, with the test's arguments
# VELLUM_EXE PROBE_EXE WORK_DIR, inside tests/win32/wine-env.sh on an X display.

exe=$1
probe=$2
work=$3
wine=${VELLUM_WINE:?run inside tests/win32/wine-env.sh}
: "${DISPLAY:?needs an X display}"

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

winepath_of() { echo "Z:${1//\//\\}"; }

# The id of the visible X window named exactly NAME; waits up to 20 s.
wait_window() {  # NAME
  local id
  for _ in $(seq 200); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 || true)
    if [ -n "$id" ]; then
      echo "$id"
      return 0
    fi
    sleep 0.1
  done
  return 1
}
