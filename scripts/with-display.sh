#!/usr/bin/env bash
# Runs a command on an X display. Without one, starts Xvfb and openbox for the command's
# lifetime, inside a D-Bus session of its own, and stops everything it started afterwards.
# Usage: scripts/with-display.sh COMMAND [ARG...]
set -euo pipefail

if [ -n "${DISPLAY:-}" ] && [ -z "${VELLUM_FORCE_XVFB:-}" ]; then
  exec "$@"
fi

# The first free display number from 90 up.
display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
  display=$((display + 1))
done

Xvfb ":$display" -screen 0 1920x1080x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb_pid=$!
cleanup() {
  [ -n "${wm_pid:-}" ] && kill "$wm_pid" 2>/dev/null || true
  kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap cleanup EXIT

for _ in $(seq 100); do
  [ -e "/tmp/.X11-unix/X$display" ] && break
  sleep 0.05
done
export DISPLAY=":$display"
export GDK_BACKEND=x11
# No accessibility bus: it would start daemons that outlive the tests.
export NO_AT_BRIDGE=1
export GTK_A11Y=none

if [ -z "${VELLUM_NO_WM:-}" ]; then
  openbox --sm-disable >/dev/null 2>&1 &
  wm_pid=$!
  sleep 0.3
fi

# Everything on the session bus ends with the bus, when the command ends.
status=0
dbus-run-session -- "$@" || status=$?
exit $status
