#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a scratch root with dpkg -x and
# runs the unpacked kvctl --help; checks the package's files and dependencies.
set -euo pipefail
build="$1"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
(cd "$build" && cpack -G DEB -B "$scratch/out" >/dev/null)
deb=$(ls "$scratch"/out/*.deb)
dpkg-deb --info "$deb" > "$scratch/info"
grep -q '^ Depends:.*libqt6widgets6' "$scratch/info" || { echo "no Qt dependency declared"; cat "$scratch/info"; exit 1; }
grep -q '^ Depends:.*libudev1' "$scratch/info" || { echo "no libudev dependency declared"; exit 1; }
dpkg -x "$deb" "$scratch/root"
for f in usr/bin/kvctl usr/bin/kvsim usr/bin/kvtool usr/share/applications/kvtool.desktop \
         usr/share/icons/hicolor/64x64/apps/kvtool.png usr/share/man/man1/kvctl.1; do
  [ -e "$scratch/root/$f" ] || { echo "missing from the package: $f"; exit 1; }
done
"$scratch/root/usr/bin/kvctl" --help | grep -q '^Usage: kvctl' || { echo "kvctl --help failed"; exit 1; }
echo "package OK: $(basename "$deb")"
