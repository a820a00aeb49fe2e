#!/usr/bin/env bash
# Builds the 64-bit Windows installer from the Windows build:
#   scripts/package-windows.sh [BUILD_DIR]   (default build/windows)
# Writes BUILD_DIR/kv770-tool-VERSION-win64-setup.exe and prints its path.
# The programs go in stripped; the readme and the licence as plain text with
# Windows line ends (BUILD_DIR/installer-files).
set -euo pipefail
cd "$(dirname "$0")/.."
build="$(cd "${1:-build/windows}" && pwd)"
version="$(sed -n 's/^project(kv770tool VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
out="$build/kv770-tool-$version-win64-setup.exe"
files="$build/installer-files"
rm -rf "$files"
mkdir -p "$files"
programs=(kvctl.exe kvpath.exe)
[ -f "$build/kvtool.exe" ] && programs+=(kvtool.exe)
for p in "${programs[@]}"; do
  x86_64-w64-mingw32-strip -o "$files/$p" "$build/$p"
done
crlf() { sed 's/\r$//; s/$/\r/'; }
crlf <packaging/windows/README-Windows.txt >"$files/README-Windows.txt"
# The licence: the copyright line and the licence text of packaging/copyright.
{
  echo "KV-770 Tool"
  echo
  sed -n 's/^Copyright: /Copyright /p' packaging/copyright | head -1
  echo
  awk '/^License:/ { on = 1; next } on && /^ / { sub(/^ /, ""); if ($0 == ".") $0 = ""; print; next } on { exit }' \
    packaging/copyright
} | crlf >"$files/LICENSE.txt"
defines=(-DVERSION="$version" -DBINDIR="$files" -DDOCDIR="$files" -DOUTFILE="$out")
[ -f "$build/kvtool.exe" ] && defines+=(-DKVTOOL)
# makensis takes the paths as given; "\" in the script works on Linux too.
makensis -V2 -NOCD "${defines[@]}" packaging/windows/kv770.nsi >&2
echo "$out"
