#!/usr/bin/env bash
# Builds the two Debian packages (kv770-cli: kvctl, kvsim, their manual pages;
# kv770-tool: kvtool, desktop entry, icon, manual page) and checks them: declared
# dependencies (no desktop library for the terminal package), files, stripped
# binaries, no file in both; unpacks the terminal package alone into a scratch
# root with dpkg -x and runs its kvctl --help there, then adds the desktop
# package; runs lintian when it is installed and fails on any error.
# Usage: install_test.sh BUILD_DIR
set -euo pipefail
build="$1"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "package test: $*"; exit 1; }

(cd "$build" && cpack -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1) || { cat "$scratch/cpack.log"; fail "cpack failed"; }
shopt -s nullglob
clis=("$scratch"/out/kv770-cli_*.deb)
tools=("$scratch"/out/kv770-tool_*.deb)
[ ${#clis[@]} -eq 1 ] && [ ${#tools[@]} -eq 1 ] || fail "expected one kv770-cli and one kv770-tool package, got: $(ls "$scratch/out")"
cli="${clis[0]}"
tool="${tools[0]}"

field() { dpkg-deb --field "$1" "$2"; }
cli_depends="$(field "$cli" Depends)"
tool_depends="$(field "$tool" Depends)"
version="$(field "$cli" Version)"
grep -q 'libudev1' <<<"$cli_depends" || fail "kv770-cli: no libudev dependency: $cli_depends"
grep -q 'libstdc++6' <<<"$cli_depends" || fail "kv770-cli: no C++ library dependency: $cli_depends"
! grep -qiE 'qt|libx|libgl' <<<"$cli_depends" || fail "kv770-cli depends on desktop libraries: $cli_depends"
grep -q 'libqt6widgets6' <<<"$tool_depends" || fail "kv770-tool: no Qt dependency: $tool_depends"
grep -qF "kv770-cli (= $version)" <<<"$tool_depends" || fail "kv770-tool does not depend on kv770-cli $version: $tool_depends"
for deb in "$cli" "$tool"; do
  maintainer="$(field "$deb" Maintainer)"
  grep -qE '^[^<]+ <[^@ ]+@[^@ ]+\.[a-z]+>$' <<<"$maintainer" || fail "$(basename "$deb"): maintainer \"$maintainer\""
  [ "$(field "$deb" Description | wc -l)" -ge 3 ] || fail "$(basename "$deb"): no long description"
done

# Every file in one package only (directories may be shared).
dpkg-deb --fsys-tarfile "$cli" | tar -t | grep -v '/$' | sort > "$scratch/cli.files"
dpkg-deb --fsys-tarfile "$tool" | tar -t | grep -v '/$' | sort > "$scratch/tool.files"
both="$(comm -12 "$scratch/cli.files" "$scratch/tool.files")"
[ -z "$both" ] || fail "files in both packages: $both"

root="$scratch/root"
dpkg -x "$cli" "$root"
for f in usr/bin/kvctl usr/bin/kvsim usr/share/man/man1/kvctl.1.gz usr/share/man/man1/kvsim.1.gz \
         usr/share/doc/kv770-cli/copyright usr/share/doc/kv770-cli/changelog.gz; do
  [ -f "$root/$f" ] || fail "missing from kv770-cli: $f"
done
[ ! -e "$root/usr/bin/kvtool" ] || fail "kvtool is in kv770-cli"
"$root/usr/bin/kvctl" --help > "$scratch/help" || fail "kvctl --help from kv770-cli exited with $?"
grep -q '^Usage: kvctl' "$scratch/help" || fail "kvctl --help printed no usage"
dpkg -x "$tool" "$root"
for f in usr/bin/kvtool usr/share/man/man1/kvtool.1.gz usr/share/applications/kvtool.desktop \
         usr/share/icons/hicolor/64x64/apps/kvtool.png \
         usr/share/doc/kv770-tool/copyright usr/share/doc/kv770-tool/changelog.gz; do
  [ -f "$root/$f" ] || fail "missing from kv770-tool: $f"
done
for b in kvctl kvsim kvtool; do
  file -b "$root/usr/bin/$b" | grep -q ', stripped' || fail "$b is not stripped: $(file -b "$root/usr/bin/$b")"
done

if command -v lintian >/dev/null; then
  # Errors fail the test; warnings are shown.
  lintian --fail-on error --tag-display-limit 0 "$cli" "$tool" > "$scratch/lintian" 2>&1 || {
    cat "$scratch/lintian"; fail "lintian reports errors"; }
  cat "$scratch/lintian"
  echo "lintian: no errors"
else
  echo "lintian is not installed (scripts/setup.sh installs it): not run"
fi
echo "packages OK: $(basename "$cli") $(basename "$tool")"
