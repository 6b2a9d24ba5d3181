#!/usr/bin/env bash
# The Wine environment the Windows tests run in: a prefix of their own inside the build folder,
# no debug output, no HTML engine (no download prompt), crashes failing fast instead of waiting
# on a dialog, and undecorated X windows that have the Win32 window's outer size.
# Usage: tests/win32/wine-env.sh PREFIX_DIR [--fresh] [COMMAND ARG...]
#   --fresh  removes and creates the prefix first.
set -euo pipefail

prefix=$1
shift
export WINEPREFIX=$prefix
export WINEDEBUG=-all
export WINEARCH=win64
wine=$(command -v wine64 || true)
[ -n "$wine" ] || wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine)
export VELLUM_WINE=$wine
wineserver=$(command -v wineserver || true)
[ -n "$wineserver" ] || wineserver=/usr/lib/wine/wineserver
export VELLUM_WINESERVER=$wineserver

if [ "${1:-}" = "--fresh" ]; then
  shift
  "$wineserver" -k 2>/dev/null || true
  rm -rf "$prefix"
  mkdir -p "$prefix"
  # No Mono and no Gecko: their installers would ask for a download.
  WINEDLLOVERRIDES="mscoree=d;mshtml=d" "$wine" wineboot --init >/dev/null 2>&1
  "$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
  "$wineserver" -w
fi
export WINEDLLOVERRIDES="mshtml=d"

if [ $# -gt 0 ]; then
  exec "$@"
fi
