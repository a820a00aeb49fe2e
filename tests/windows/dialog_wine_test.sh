#!/usr/bin/env bash
# Runs the Win32 dialog tests (dialog_tests.exe) under Wine on a virtual X
# display: Wine makes windows only with a display, and its server must be
# started with that display, so a running one is stopped first.
#   tests/windows/dialog_wine_test.sh BUILD_DIR
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "$1" && pwd)"
prefix="$build/wine-prefix"
display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 1366x768x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true' EXIT
export DISPLAY="$display"
WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
WINEPREFIX="$prefix" wineserver -w >/dev/null 2>&1 || true
"$root/scripts/wine-run.sh" "$prefix" "$build/tests/windows/dialog_tests.exe"
