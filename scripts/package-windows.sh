#!/usr/bin/env bash
# Builds the 64-bit Windows installer from the Windows build:
#   scripts/package-windows.sh [BUILD_DIR]   (default build/windows)
# Writes BUILD_DIR/kv770-tool-VERSION-win64-setup.exe and prints its path.
set -euo pipefail
cd "$(dirname "$0")/.."
build="$(cd "${1:-build/windows}" && pwd)"
version="$(sed -n 's/^project(kv770tool VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
out="$build/kv770-tool-$version-win64-setup.exe"
defines=(-DVERSION="$version" -DBINDIR="$build" -DSRCDIR="$PWD" -DOUTFILE="$out")
[ -f "$build/kvtool.exe" ] && defines+=(-DKVTOOL)
# makensis takes the paths as given; "\" in the script works on Linux too.
makensis -V2 -NOCD "${defines[@]}" packaging/windows/kv770.nsi >&2
echo "$out"
