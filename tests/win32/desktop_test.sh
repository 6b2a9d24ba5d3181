#!/usr/bin/env bash
# The shipped Vellum.exe under Wine as the desktop shows it: the "Config file error." box comes
# with Common Controls 6 loaded side by side (themed buttons), the window shows the program's own
# icon in the sizes for the screen's dpi, and sizes given in 96-dpi units are drawn at that dpi:
# the design client size and the outer size from the settings, at LogPixels 96 and 144. Then a
# publisher's brand: their icon and product name put with resedit-cli (npm) into the program
# stripped as the release archive holds it, which runs and shows that icon.
# Usage (inside tests/win32/wine-env.sh, on an X display):
#   desktop_test.sh VELLUM_EXE PROBE_EXE WORK_DIR ICON_FILE STRIP WINDRES
set -euo pipefail

source "$(dirname "$0")/wine_common.sh"
icon_file=$4
strip=$5
windres=$6

set_dpi() {  # DPI
  "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
}
# The prefix is shared with the other tests: it goes back to 96 dpi whatever happens here.
trap 'set_dpi 96' EXIT

make_book() {  # DIR HEIGHT WIDTH TITLE [PROGRAM]
  rm -rf "$1"
  mkdir -p "$1"
  cp "${5:-$exe}" "$1/Vellum.exe"
  echo '<html><body>Vellum</body></html>' >"$1/index.html"
  "$wine" "$probe" settings "$(winepath_of "$1/Vellum.ini")" "$2" "$3" index.html "$4" 1
}

start_viewer() {  # DIR [WINEDEBUG [LOG]]
  (cd "$1" && WINEDEBUG=${2:--all} exec "$wine" "$1/Vellum.exe") 2>"${3:-/dev/null}" &
  viewer_pid=$!
}

stop_viewer() {
  kill "$viewer_pid" 2>/dev/null || true
  wait "$viewer_pid" 2>/dev/null || true
}

# Presses OK on the program's message box; false when none came.
acknowledge_box() {
  "$wine" "$probe" box Vellum 20 >/dev/null || return 1
  local box
  box=$(wait_window Vellum) || return 1
  xdotool windowactivate --sync "$box" >/dev/null 2>&1 || true
  xdotool key --clearmodifiers Return
}

outer_size() { xwininfo -id "$1" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}'; }

# 1. Common Controls 6, loaded side by side on the "Config file error." path.
make_book "$work/themed" 600 800 unused
printf 'this is not scrambled hex\r\n' >"$work/themed/Vellum.ini"
start_viewer "$work/themed" +loaddll "$work/themed.log"
acknowledge_box || fail "themed: no message box"
sleep 1
stop_viewer
# Wine writes the paths with doubled backslashes.
comctl=$(tr -s '\\' <"$work/themed.log" |
  grep -io 'winsxs\\amd64_microsoft\.windows\.common-controls_6595b64144ccf1df_6\.0[^\\]*\\comctl32\.dll' |
  head -n 1 || true)
if [ -n "$comctl" ]; then
  echo "ok: themed: loaded $comctl"
else
  fail "themed: Common Controls 6 not loaded; comctl32 from: $(grep -i comctl32 "$work/themed.log" | head -n 3)"
fi

# The icons on an X window (_NET_WM_ICON) against an icon file: prints the sizes found, and
# fails unless each one is the icon file's image of that size.
check_icon() {  # X_WINDOW ICON_FILE
  local work_icons=$work/icons
  rm -rf "$work_icons"
  mkdir -p "$work_icons"
  icotool -x -o "$work_icons" "$2"
  for png in "$work_icons"/*.png; do
    convert "$png" -depth 8 "rgba:${png%.png}.rgba"
  done
  xprop -id "$1" -notype -f _NET_WM_ICON 32c _NET_WM_ICON | python3 -c '
import glob, re, sys
values = [int(v) for v in re.findall(r"\d+", sys.stdin.read().partition("=")[2])]
ours = {}
for path in glob.glob(sys.argv[1] + "/*.rgba"):
    size = int(re.search(r"_(\d+)x\d+x\d+\.rgba$", path).group(1))
    ours[size] = open(path, "rb").read()
sizes, bad = [], []
while len(values) >= 2:
    w, h = values[0], values[1]
    pixels, values = values[2:2 + w * h], values[2 + w * h:]
    sizes.append(w)
    want = ours.get(w)
    # ARGB against RGBA, opaque pixels only, a few levels of difference allowed.
    same = want is not None and w == h and all(
        abs(((p >> 16) & 255) - want[4 * i]) <= 8 and abs(((p >> 8) & 255) - want[4 * i + 1]) <= 8
        and abs((p & 255) - want[4 * i + 2]) <= 8
        for i, p in enumerate(pixels) if (p >> 24) == 255 and want[4 * i + 3] == 255)
    if not same:
        bad.append(w)
print(" ".join(map(str, sizes)))
sys.exit(1 if bad or not sizes else 0)
' "$work_icons"
}

# 2. Sizes and icons at each dpi.
# LogPixels | design client size | outer size of 800 x 600 in the settings | icon sizes
cases=(
  "96|756x619|800x600|32 16"
  "144|1134x929|1200x900|48 24"
)
for row in "${cases[@]}"; do
  IFS='|' read -r dpi design outer icons <<<"$row"
  set_dpi "$dpi"

  # The design size: an empty height is an error, reported, and the window keeps that size.
  make_book "$work/design-$dpi" "" 800 "Vellum Design $dpi"
  start_viewer "$work/design-$dpi"
  acknowledge_box || fail "$dpi dpi: no error report"
  if seen=$("$wine" "$probe" window "Vellum Design $dpi" 20 | tr -d '\r'); then
    client=$(sed -n 's/^client=//p' <<<"$seen")
    echo "ok: $dpi dpi: design window: $(tr '\n' ' ' <<<"$seen")"
    read -r cw ch <<<"${client/x/ }"
    read -r ew eh <<<"${design/x/ }"
    if [ $((cw - ew)) -lt -1 ] || [ $((cw - ew)) -gt 1 ] || [ $((ch - eh)) -lt -1 ] ||
      [ $((ch - eh)) -gt 1 ]; then
      fail "$dpi dpi: design client size $client, expected $design (±1)"
    fi
  else
    fail "$dpi dpi: no window 'Vellum Design $dpi'"
  fi
  stop_viewer

  make_book "$work/sized-$dpi" 600 800 "Vellum Sized $dpi"
  start_viewer "$work/sized-$dpi"
  if id=$(wait_window "Vellum Sized $dpi"); then
    sleep 0.5
    size=$(outer_size "$id")
    echo "ok: $dpi dpi: settings 800x600: outer size $size"
    [ "$size" = "$outer" ] || fail "$dpi dpi: outer size $size, expected $outer"
    if found=$(check_icon "$id" "$icon_file"); then
      echo "ok: $dpi dpi: the window's icons are the program's, sizes $found"
      [ "$found" = "$icons" ] || fail "$dpi dpi: icon sizes $found, expected $icons"
    else
      fail "$dpi dpi: the window's icons (sizes '$found') are not the program's"
    fi
  else
    fail "$dpi dpi: no window 'Vellum Sized $dpi'"
  fi
  stop_viewer
done

# 3. A publisher's brand, as the publisher's guide shows it.
set_dpi 96
brand=$work/brand
rm -rf "$brand"
mkdir -p "$brand"
"$strip" -o "$brand/Vellum.exe" "$exe"
convert -size 256x256 xc:'#2e8b57' -define icon:auto-resize=256,48,32,24,16 "$brand/brand.ico"
if npx --yes -p resedit-cli@3.1.0 resedit "$brand/Vellum.exe" "$brand/Branded.exe" \
  --icon 1,"$brand/brand.ico" --product-name "Sea Stories" --file-description "Sea Stories" \
  >"$brand/resedit.log" 2>&1; then
  product=$("$windres" -i "$brand/Branded.exe" -O rc | sed -n 's/.*VALUE "ProductName", "\(.*\)".*/\1/p')
  [ "$product" = "Sea Stories" ] || fail "brand: product name '$product'"
  make_book "$work/branded" 600 800 "Sea Stories" "$brand/Branded.exe"
  start_viewer "$work/branded"
  if id=$(wait_window "Sea Stories"); then
    sleep 0.5
    if found=$(check_icon "$id" "$brand/brand.ico"); then
      echo "ok: brand: the rebranded program runs, product name '$product', icon sizes $found"
    else
      fail "brand: the window's icons (sizes '$found') are not the publisher's"
    fi
  else
    fail "brand: the rebranded program shows no window"
  fi
  stop_viewer
else
  fail "brand: resedit-cli failed: $(tail -n 5 "$brand/resedit.log")"
fi

if [ "$failures" -gt 0 ]; then
  echo "desktop test: $failures failure(s)" >&2
  exit 1
fi
echo "desktop test: all checks passed"
