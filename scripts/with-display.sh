#!/usr/bin/env bash
# Runs a command on an X display. Without one, starts Xvfb and openbox for the command's
# lifetime, inside a D-Bus session of its own, and stops everything it started afterwards.
# Usage: scripts/with-display.sh COMMAND [ARG...]
set -euo pipefail

if [ -n "${DISPLAY:-}" ] && [ -z "${VELLUM_FORCE_XVFB:-}" ]; then
  exec "$@"
fi

# Xvfb picks a free display number itself and writes it to the file, so that several runs at
# once never race for the same display.
display_file=$(mktemp)
Xvfb -displayfd 5 -screen 0 1920x1080x24 -nolisten tcp -noreset 5>"$display_file" >/dev/null 2>&1 &
xvfb_pid=$!
cleanup() {
  [ -n "${wm_pid:-}" ] && kill "$wm_pid" 2>/dev/null || true
  kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -f "$display_file"
}
trap cleanup EXIT

display=""
for _ in $(seq 200); do
  display=$(tr -dc 0-9 <"$display_file")
  [ -n "$display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || { echo "with-display: Xvfb did not start" >&2; exit 1; }
  sleep 0.05
done
[ -n "$display" ] || { echo "with-display: Xvfb gave no display" >&2; exit 1; }
export DISPLAY=":$display"
export GDK_BACKEND=x11
# No accessibility bus: it would start daemons that outlive the tests.
export NO_AT_BRIDGE=1
export GTK_A11Y=none

if [ -z "${VELLUM_NO_WM:-}" ]; then
  openbox --sm-disable >/dev/null 2>&1 &
  wm_pid=$!
  # Ready once it has announced itself on the root window.
  for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.05
  done
fi

# A session bus of its own that activates no services: the first GTK program on a display would
# otherwise start accessibility daemons that escape the process tree and outlive the run.
status=0
dbus-run-session --config-file="$(dirname "$0")/dbus-session.conf" -- "$@" || status=$?
exit $status
