#!/usr/bin/env bash
# Opens the demo book (BUILD_DIR/demo, assembled by the build) in the viewer.
# Usage: scripts/run-demo.sh BUILD_DIR
#
# With a display (DISPLAY or WAYLAND_DISPLAY set) the book opens there and the script returns
# when the reader closes it. Without one, the book opens on a virtual X server instead: once the
# start page has painted, a screenshot is saved to build/demo.png (beside BUILD_DIR) and the
# viewer is closed again, as a reader would close it, before the script ends.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
timeout_s=30

die() {
  echo "run-demo: $*" >&2
  exit 1
}

# On the virtual display (the script runs itself there): open the book, wait for the painted
# page, save the screenshot, close the viewer.
if [ "${1:-}" = "--screenshot" ]; then
  demo=${2:?}
  shot=${3:?}
  work=$(mktemp -d)
  viewer_pid=""
  cleanup() {
    if [ -n "$viewer_pid" ] && kill -0 "$viewer_pid" 2>/dev/null; then
      kill "$viewer_pid" 2>/dev/null || true
      wait "$viewer_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
  }
  trap cleanup EXIT

  "$demo/vellum" >"$work/viewer.log" 2>&1 &
  viewer_pid=$!

  # Its window, once it is on the screen.
  window=""
  deadline=$((SECONDS + timeout_s))
  while [ -z "$window" ] && [ $SECONDS -lt $deadline ]; do
    if ! kill -0 "$viewer_pid" 2>/dev/null; then
      cat "$work/viewer.log" >&2
      die "the viewer ended before it showed a window"
    fi
    window=$(xdotool search --onlyvisible --pid "$viewer_pid" 2>/dev/null | head -n 1 || true)
    [ -n "$window" ] || sleep 0.1
  done
  [ -n "$window" ] || die "the viewer showed no window within ${timeout_s} s"

  # Painted: the page's paper colour shows in the window and two captures a moment apart agree
  # (pictures and fonts have arrived).
  painted=""
  previous=""
  while [ -z "$painted" ] && [ $SECONDS -lt $deadline ]; do
    sleep 0.3
    import -window "$window" "$work/now.png" 2>/dev/null || continue
    colour=$(convert "$work/now.png" -format '%[hex:p{4,h/2}]' info: 2>/dev/null || true)
    if [ "${colour:0:6}" = "F5EFE0" ] && [ -n "$previous" ] &&
      [ "$(compare -metric AE "$previous" "$work/now.png" null: 2>&1 || true)" = "0" ]; then
      painted=yes
    fi
    cp "$work/now.png" "$work/previous.png"
    previous="$work/previous.png"
  done
  [ -n "$painted" ] || echo "run-demo: the start page did not settle within ${timeout_s} s;" \
    "saving the screen as it is" >&2

  # The window with its frame, written beside the final name and renamed into place.
  mkdir -p "$(dirname "$shot")"
  import -window "$window" -frame "$shot.tmp.png"
  mv "$shot.tmp.png" "$shot"

  # Close it as a reader would (the window manager's close key), and let it end by itself.
  xdotool windowactivate --sync "$window" key --clearmodifiers alt+F4 2>/dev/null || true
  for _ in $(seq 50); do
    kill -0 "$viewer_pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$viewer_pid" 2>/dev/null; then
    die "the viewer did not close when asked; stopped it"
  fi
  wait "$viewer_pid" || die "the viewer ended with status $?"
  viewer_pid=""
  echo "run-demo: the viewer showed the book and closed again"
  exit 0
fi

build=${1:?usage: scripts/run-demo.sh BUILD_DIR}
[ -d "$build" ] || die "no build folder '$build'; build first (make build)"
build=$(cd "$build" && pwd)
demo="$build/demo"
[ -x "$demo/vellum" ] || die "$demo/vellum is missing; build first (make build)"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  echo "run-demo: opening $demo/vellum"
  exec "$demo/vellum"
fi

shot="$(dirname "$build")/demo.png"
echo "run-demo: no display is available (neither DISPLAY nor WAYLAND_DISPLAY is set)."
echo "run-demo: opening the demo on a virtual X server (Xvfb) instead and taking a screenshot."
"$here/with-display.sh" "$0" --screenshot "$demo" "$shot"
echo "run-demo: screenshot of the demo saved to $shot"
