#!/usr/bin/env bash
# Renders the program's icon from its drawing, platform/icon/vellum.svg, into the two files the
# builds take, both committed so that a build needs no renderer:
#   platform/icon/vellum.ico   16, 24, 32, 48 and 256 px (the 256 px image stored as PNG), Windows
#   platform/icon/vellum.png   128 px, the Linux windows' default icon
# Run it after changing the drawing. Needs: rsvg-convert and icotool (scripts/install-deps.sh icon)
set -euo pipefail
cd "$(dirname "$0")/../platform/icon"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for size in 16 24 32 48 256; do
  rsvg-convert -w "$size" -h "$size" -o "$work/$size.png" vellum.svg
done
icotool -c -o vellum.ico "$work/16.png" "$work/24.png" "$work/32.png" "$work/48.png" \
  -r "$work/256.png"
rsvg-convert -w 128 -h 128 -o vellum.png vellum.svg
echo "render-icon: platform/icon/vellum.ico, platform/icon/vellum.png"
