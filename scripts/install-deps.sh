#!/usr/bin/env bash
# Installs the Debian packages a group of tasks needs, and only those that are missing. The win32
# group also fetches the Gumbo sources the Windows build compiles (scripts/fetch-gumbo.sh).
# Usage: scripts/install-deps.sh [GROUP...]   (default: build test)
# Groups: build, test, run, bench, fuzz, tools, win32, icon (scripts/render-icon.sh).
set -euo pipefail

declare -A groups=(
  [build]="cmake make g++ pkg-config libgtk-3-dev libwebkit2gtk-4.1-dev libcli11-dev nlohmann-json3-dev libgumbo-dev zlib1g-dev"
  [test]="libgtest-dev libxtst-dev python3 clang-format xvfb openbox xdotool x11-utils wmctrl dbus dbus-x11 imagemagick node-acorn weston python3-gi unzip libarchive-tools"
  [run]="xvfb openbox dbus dbus-x11 imagemagick x11-utils xdotool"
  [bench]="libbenchmark-dev time python3 xvfb openbox dbus dbus-x11 x11-utils"
  [fuzz]="clang-14 libclang-rt-14-dev"
  [tools]="libcli11-dev nlohmann-json3-dev libgumbo-dev zlib1g-dev"
  [win32]="mingw-w64 g++-mingw-w64-x86-64 wine wine64 googletest locales icoutils libz-mingw-w64-dev"
  [icon]="librsvg2-bin icoutils"
)

wanted=()
gumbo=no
for group in "${@:-build test}"; do
  for g in $group; do
    [[ -n "${groups[$g]+x}" ]] || { echo "install-deps: unknown group '$g'" >&2; exit 2; }
    wanted+=(${groups[$g]})
    if [ "$g" = win32 ]; then
      gumbo=yes
      command -v npm >/dev/null || wanted+=(npm)  # any npm will do to fetch the Gumbo package
    fi
  done
done

missing=()
for pkg in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$pkg")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if [ "$gumbo" = yes ]; then
  "$(dirname "$0")/fetch-gumbo.sh"
fi
