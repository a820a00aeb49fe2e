#!/usr/bin/env bash
# The Windows programs carry their resources: an icon (its images and the
# group Explorer shows), a version block whose file and product versions are
# the project's version, and a manifest that asks for the user's own rights,
# version 6 of the common controls, per-monitor DPI awareness, and paths
# longer than 260 characters where Windows allows them (without the
# manifest's longPathAware, Windows' long-path setting leaves the program
# at 260).
#   tests/windows/resources_test.sh BUILD_DIR
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$1"
version="$(sed -n 's/^project(kv770tool VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
fail() { echo "resources_test: FAIL: $*"; exit 1; }

for exe in kvtool.exe kvctl.exe; do
  file="$build/$exe"
  [ -f "$file" ] || fail "$file is missing"
  # Resource types at the top of the resource tree: 3 icon, 14 icon group,
  # 16 version, 24 manifest.
  types="$(x86_64-w64-mingw32-objdump -p "$file" |
    sed -n 's/^[0-9a-f]\{3,\}   Entry: ID: 0x0000\([0-9a-f][0-9a-f]\),.*/\1/p' | tr '\n' ' ')"
  for t in 03:icon 0e:icon-group 10:version 18:manifest; do
    case " $types" in *" ${t%%:*} "*) ;; *) fail "$exe has no ${t#*:} resource (types: $types)" ;; esac
  done
  # The version block's strings are UTF-16: each value follows its key.
  strings16="$(strings -el "$file")"
  for key in FileVersion ProductVersion; do
    value="$(grep -A1 -x "$key" <<<"$strings16" | sed -n 2p)"
    [ "$value" = "$version" ] || fail "$exe: $key is '$value', the project's version is $version"
  done
  grep -qx "$exe" <<<"$strings16" || fail "$exe: the version block does not name the file"
  manifest="$(strings -n 8 "$file")"
  for want in 'level="asInvoker"' 'Microsoft.Windows.Common-Controls" version="6.0.0.0"' '>PerMonitorV2' '>true/pm<' \
      '<longPathAware xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">true</longPathAware>'; do
    grep -qF "$want" <<<"$manifest" || fail "$exe: the manifest lacks $want"
  done
  echo "resources_test: $exe: icon, version $version, manifest"
done
echo "resources_test: PASS"
