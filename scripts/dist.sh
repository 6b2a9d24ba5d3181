#!/usr/bin/env bash
# Builds the release archives for publishers into dist/. Each holds one folder with
#   README.txt            which is which, and where to start
#   PUBLISHERS.md/.txt    the publisher's guide (docs/publishers.md)
#   demo/                 the demo book, ready to run: the viewer, its Vellum.ini and the pages
#   program/              the viewer and the tool, to copy from: the viewer into a book, the tool
#                         to wherever the publisher keeps tools
# as vellum-VERSION-linux-ARCH.tar.gz (vellum, vellum-settings) and
# vellum-VERSION-windows-x86_64.zip (Vellum.exe, vellum-settings.exe; texts with CRLF).
# The Windows archive is cross-built with MinGW-w64 through the "win32" preset; without that
# preset only the Linux archive is made. Each archive's demo folder is checked with the tool.
# Usage: scripts/dist.sh        (make dist installs what it needs first)
#   JOBS=N  parallel build jobs (default: 2)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=${JOBS:-2}

die() {
  echo "dist: $*" >&2
  exit 1
}

version=$(sed -n 's/^project(Vellum VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || die "no version in CMakeLists.txt"
# Archive entries carry the last commit's time, so the same sources give the same archives.
mtime=$(git log -1 --format=%ct 2>/dev/null || date +%s)
mtime_text=$(date -u -d "@$mtime" '+%Y-%m-%d %H:%M:%S UTC')  # the form cmake -E tar reads

out=$root/dist
mkdir -p "$out"
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

# The README.txt of an archive.
readme() {  # VIEWER TOOL START_DEMO GUIDE SEPARATOR
  local v=$1 t=$2 s=$5
  printf '%s\n' \
    "Vellum $version: a viewer for a book of HTML pages, and the publisher's tool." \
    "" \
    "demo${s}           A finished example book, ready to run: $3" \
    "program${s}        The two programs, to copy from:" \
    "  $(printf '%-21s' "$v") the viewer. Copy it into your book's folder, beside your pages." \
    "  $(printf '%-21s' "$t") the publisher's tool. It writes and checks the viewer's" \
    "                        settings file Vellum.ini. Keep it with you: readers do not need it." \
    "$(printf '%-15s' "$4") The publisher's guide: laying out a book, its settings, checking" \
    "                and delivering it, and putting your own name and icon on the viewer." \
    "" \
    "For a folder MyBook that holds your pages:" \
    "  copy program${s}$v into MyBook" \
    "  program${s}$t new MyBook --title \"My book\" --start-page index.html --size 1024x768" \
    "  program${s}$t check MyBook" \
    "  program${s}$t pack MyBook     (one archive for readers, with the viewers)"
}

# --- Linux -------------------------------------------------------------------------------------
linux_build=build/dist-linux
cmake -S . -B "$linux_build" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=Release -DVELLUM_WERROR=ON \
  -DVELLUM_BUILD_TESTS=OFF -DVELLUM_BUILD_BENCH=OFF -DVELLUM_BACKEND=gtk >/dev/null
cmake --build "$linux_build" -j "$jobs" --target vellum vellum-settings demo

linux_name=vellum-$version-linux-$(uname -m)
linux_dir=$stage/$linux_name
mkdir -p "$linux_dir/program"
install -m 755 -s "$linux_build/viewer/vellum" "$linux_build/tools/vellum-settings" \
  "$linux_dir/program/"
install -m 644 docs/publishers.md "$linux_dir/PUBLISHERS.md"
readme vellum vellum-settings "start demo/vellum." PUBLISHERS.md / >"$linux_dir/README.txt"
cp -r "$linux_build/demo" "$linux_dir/demo"
strip "$linux_dir/demo/vellum"
"$linux_dir/program/vellum-settings" check "$linux_dir/demo" >/dev/null ||
  die "the Linux demo folder does not pass vellum-settings check"
tar -C "$stage" --sort=name --owner=0 --group=0 --numeric-owner --mtime="@$mtime" \
  -czf "$out/$linux_name.tar.gz" "$linux_name"
archives=("$linux_name.tar.gz")
echo "dist: dist/$linux_name.tar.gz"

# --- Windows -----------------------------------------------------------------------------------
if cmake --list-presets 2>/dev/null | grep -q '"win32"'; then
  win_build=build/dist-win32
  cmake --preset win32 -B "$win_build" -DCMAKE_BUILD_TYPE=Release -DVELLUM_BUILD_TESTS=OFF \
    -DVELLUM_BUILD_BENCH=OFF >/dev/null
  cmake --build "$win_build" -j "$jobs" --target vellum vellum-settings

  win_name=vellum-$version-windows-x86_64
  win_dir=$stage/$win_name
  mkdir -p "$win_dir/program"
  for exe in "$win_build/viewer/Vellum.exe" "$win_build/tools/vellum-settings.exe"; do
    # Stripped: smaller, and what resource editors that rebrand the viewer accept.
    x86_64-w64-mingw32-strip -o "$win_dir/program/$(basename "$exe")" "$exe"
    # A program handed over alone must need nothing but Windows' own DLLs.
    if x86_64-w64-mingw32-objdump -p "$exe" | grep -iE 'DLL Name: (libstdc|libgcc|libwinpthread)'; then
      die "$(basename "$exe") needs MinGW runtime DLLs; link it statically"
    fi
  done
  sed 's/$/\r/' docs/publishers.md >"$win_dir/PUBLISHERS.txt"
  readme Vellum.exe vellum-settings.exe 'double-click demo\Vellum.exe.' PUBLISHERS.txt '\' |
    sed 's/$/\r/' >"$win_dir/README.txt"
  sed 's/$/\r/' build/deps/gumbo/COPYING >"$win_dir/LICENSE-Gumbo.txt"  # vellum-settings.exe holds Gumbo
  # The demo: the same pages and the same Vellum.ini (its bytes mean the same on both systems).
  cp -r examples/demo "$win_dir/demo"
  cp "$linux_build/demo/Vellum.ini" "$win_dir/demo/Vellum.ini"
  cp "$win_dir/program/Vellum.exe" "$win_dir/demo/Vellum.exe"
  (cd "$stage" && LC_ALL=C.UTF-8 cmake -E tar cf "$out/$win_name.zip" --format=zip --mtime="$mtime_text" "$win_name")
  archives+=("$win_name.zip")
  echo "dist: dist/$win_name.zip"
else
  echo "dist: no \"win32\" configure preset here; the Windows archive is not built" >&2
fi

(cd "$out" && sha256sum "${archives[@]}" >SHA256SUMS)
echo "dist: dist/SHA256SUMS"
