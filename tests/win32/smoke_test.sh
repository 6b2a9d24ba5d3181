#!/usr/bin/env bash
# The shipped Vellum.exe under Wine, seen from outside as a reader's desktop shows it: the window
# with the configured title and outer size, maximized, or with a fixed border (minimum size ==
# maximum size); a wrong settings file shows its message, dismissed with Return, and the program
# ends; closing the window ends the process with exit code 0.
# Usage (inside tests/win32/wine-env.sh, on an X display):
#   smoke_test.sh VELLUM_EXE PROBE_EXE WORK_DIR
set -euo pipefail

source "$(dirname "$0")/wine_common.sh"

# A program directory holding a copy of the program, a settings file and a start page.
make_book() {  # DIR HEIGHT WIDTH TITLE BORDER
  rm -rf "$1"
  mkdir -p "$1"
  cp "$exe" "$1/Vellum.exe"
  echo '<html><body>Vellum</body></html>' >"$1/index.html"
  "$wine" "$probe" settings "$(winepath_of "$1/Vellum.ini")" "$2" "$3" index.html "$4" "$5"
}

start_viewer() {  # DIR
  (cd "$1" && exec "$wine" "$1/Vellum.exe") &
  viewer_pid=$!
}

# Waits up to 20 s for the program to end; sets exit_status to its exit code.
wait_exit() {
  for _ in $(seq 200); do
    if ! kill -0 "$viewer_pid" 2>/dev/null; then
      exit_status=0
      wait "$viewer_pid" || exit_status=$?
      return 0
    fi
    sleep 0.1
  done
  kill "$viewer_pid" 2>/dev/null || true
  wait "$viewer_pid" 2>/dev/null || true
  exit_status=timeout
}

# Closes the window as a reader does, through the window manager (Alt+F4 with openbox).
close_window() {  # ID
  xdotool windowactivate --sync "$1" >/dev/null 2>&1 || true
  xdotool key --clearmodifiers alt+F4
}

outer_size() { xwininfo -id "$1" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}'; }

expect_exit_zero() {  # WHAT
  wait_exit
  if [ "$exit_status" = 0 ]; then
    echo "ok: $1: the program ended with exit code 0"
  else
    fail "$1: exit code $exit_status, expected 0"
  fi
}

# 1. An explicit size with the normal border.
make_book "$work/sized" 600 800 "Vellum Sized" 1
start_viewer "$work/sized"
if id=$(wait_window "Vellum Sized"); then
  size=$(outer_size "$id")
  echo "ok: sized: window 'Vellum Sized' is up, outer size $size"
  [ "$size" = 800x600 ] || fail "sized: outer size $size, expected 800x600"
  hints=$(xprop -id "$id" WM_NORMAL_HINTS)
  if grep -q "program specified maximum size" <<<"$hints"; then
    fail "sized: a resizable window has a maximum size: $hints"
  fi
  close_window "$id"
  expect_exit_zero "sized"
else
  fail "sized: no window titled 'Vellum Sized'"
  wait_exit
fi

# 2. Maximized ("0" as the height).
make_book "$work/maximized" 0 800 "Vellum Maximized" 0
start_viewer "$work/maximized"
if id=$(wait_window "Vellum Maximized"); then
  state=""
  for _ in $(seq 50); do
    state=$(xprop -id "$id" _NET_WM_STATE)
    grep -q _NET_WM_STATE_MAXIMIZED_VERT <<<"$state" &&
      grep -q _NET_WM_STATE_MAXIMIZED_HORZ <<<"$state" && break
    sleep 0.1
  done
  grep -q _NET_WM_STATE_MAXIMIZED_VERT <<<"$state" &&
    grep -q _NET_WM_STATE_MAXIMIZED_HORZ <<<"$state" || fail "maximized: state is '$state'"
  echo "ok: maximized: $state"
  close_window "$id"
  expect_exit_zero "maximized"
else
  fail "maximized: no window titled 'Vellum Maximized'"
  wait_exit
fi

# 3. The fixed dialog-style border: not resizable, so minimum size == maximum size.
make_book "$work/fixed" 500 700 "Vellum Fixed" 0
start_viewer "$work/fixed"
if id=$(wait_window "Vellum Fixed"); then
  size=$(outer_size "$id")
  echo "ok: fixed: window 'Vellum Fixed' is up, outer size $size"
  [ "$size" = 700x500 ] || fail "fixed: outer size $size, expected 700x500"
  hints=$(xprop -id "$id" WM_NORMAL_HINTS)
  grep -q "program specified minimum size: 700 by 500" <<<"$hints" &&
    grep -q "program specified maximum size: 700 by 500" <<<"$hints" ||
    fail "fixed: size hints are: $hints"
  echo "ok: fixed: $(grep -E 'minimum|maximum' <<<"$hints" | tr -s ' \n' ' ')"
  close_window "$id"
  expect_exit_zero "fixed"
else
  fail "fixed: no window titled 'Vellum Fixed'"
  wait_exit
fi

# 4. Wrong settings: the message, acknowledged with Return, then the end of the program.
check_message() {  # CASE EXPECTED_TEXT
  start_viewer "$work/$1"
  local seen
  if ! seen=$("$wine" "$probe" box Vellum 20 | tr -d '\r'); then
    fail "$1: no message box captioned 'Vellum'"
    kill "$viewer_pid" 2>/dev/null || true
    wait_exit
    return
  fi
  echo "ok: $1: message box: $(tr '\n' ' ' <<<"$seen")"
  grep -qxF "text=$2" <<<"$seen" || fail "$1: the box says: $seen"
  grep -qx "icon=0" <<<"$seen" || fail "$1: the box has an icon: $seen"
  grep -qx "buttons=1" <<<"$seen" || fail "$1: the box has other buttons: $seen"
  local box
  if box=$(wait_window Vellum); then
    xdotool windowactivate --sync "$box" >/dev/null 2>&1 || true
    xdotool key --clearmodifiers Return
  fi
  expect_exit_zero "$1"
}

make_book "$work/unreadable" 600 800 "unused" 1
printf 'this is not scrambled hex\r\n' >"$work/unreadable/Vellum.ini"
check_message unreadable "Config file error."

make_book "$work/empty" 600 800 "unused" 1
: >"$work/empty/Vellum.ini"
check_message empty "File Error."

if [ "$failures" -gt 0 ]; then
  echo "smoke test: $failures failure(s)" >&2
  exit 1
fi
echo "smoke test: all checks passed"
