#!/usr/bin/env bash
# Fetches the sources of the Gumbo HTML5 parser 0.10.1 (the version Debian ships as libgumbo-dev)
# for the Windows build of vellum-settings: the npm package gumbo-parser@0.3.0 carries them under
# package/deps/gumbo-parser. The tarball must match the sha512 pinned in
# scripts/gumbo-parser-0.3.0.tgz.sha512; any other is refused. Unpacks src/ and the licence
# COPYING into DEST; does nothing when DEST already holds the pinned sources.
# Usage: scripts/fetch-gumbo.sh [DEST]     (default: build/deps/gumbo; install-deps.sh win32 runs it)
#   VELLUM_GUMBO_TARBALL=FILE  check and unpack FILE instead of fetching the package
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
dest=${1:-$root/build/deps/gumbo}
package=gumbo-parser@0.3.0
pinned_file=$root/scripts/gumbo-parser-0.3.0.tgz.sha512
pinned=$(cut -d' ' -f1 "$pinned_file")

die() {
  echo "fetch-gumbo: $*" >&2
  exit 1
}

if [ -z "${VELLUM_GUMBO_TARBALL:-}" ] && [ -f "$dest/src/gumbo.h" ] &&
  [ "$(cat "$dest/.sha512" 2>/dev/null)" = "$pinned" ]; then
  exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tarball=$work/gumbo-parser.tgz
if [ -n "${VELLUM_GUMBO_TARBALL:-}" ]; then
  cp "$VELLUM_GUMBO_TARBALL" "$tarball"
else
  command -v npm >/dev/null || die "needs npm to fetch $package (scripts/install-deps.sh win32)"
  name=$(cd "$work" && npm pack --silent "$package") || die "npm pack $package failed"
  mv "$work/$name" "$tarball"
fi

actual=$(sha512sum "$tarball" | cut -d' ' -f1)
if [ "$actual" != "$pinned" ]; then
  die "refusing $package: its tarball's sha512 is $actual, not the one pinned in" \
    "scripts/gumbo-parser-0.3.0.tgz.sha512 ($pinned)"
fi

tar -xzf "$tarball" -C "$work" package/deps/gumbo-parser/src package/deps/gumbo-parser/COPYING
rm -rf "$dest"
mkdir -p "$dest"
mv "$work/package/deps/gumbo-parser/src" "$work/package/deps/gumbo-parser/COPYING" "$dest/"
echo "$pinned" >"$dest/.sha512"
echo "fetch-gumbo: Gumbo 0.10.1 sources in $dest"
