#!/usr/bin/env bash
# A statically linked Windows program imports system DLLs only: no MinGW runtime DLL
# (libstdc++, libgcc, libwinpthread) has to travel with it.
# Usage: check_imports.sh OBJDUMP PROGRAM.exe
set -euo pipefail

dlls=$("$1" -p "$2" | awk '/DLL Name:/ {print $3}')
echo "$2 imports: $(echo $dlls)"
if grep -iE 'libstdc|libgcc|winpthread|mingw' <<<"$dlls"; then
  echo "FAIL: the program needs a MinGW runtime DLL" >&2
  exit 1
fi
