#!/usr/bin/env bash
# Runs the Win32 dialog tests (dialog_tests.exe) under Wine on a virtual X
# display: Wine makes windows only with a display, and its server must be
# started with that display, so a running one is stopped first. Two runs:
#   - 100 % (96 dpi) on a 1366x768 screen: the dialogs fit, nothing scrolls;
#   - 150 % (144 dpi, Wine's LogPixels) on a 1920x1080 screen: with the room
#     of Windows' taskbar taken off (the test does), the Device Setting
#     dialog is taller than the work area and must fit it and scroll.
#   tests/windows/dialog_wine_test.sh BUILD_DIR
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "$1" && pwd)"
prefix="$build/wine-prefix"
xvfb=""
stop_wine() {
  WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX="$prefix" wineserver -w >/dev/null 2>&1 || true
}
# Wine takes the scaling from LogPixels, read when its server starts.
set_dpi() {
  for key in 'HKCU\Control Panel\Desktop' 'HKCC\Software\Fonts'; do
    "$root/scripts/wine-run.sh" "$prefix" reg add "$key" /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
  done
  stop_wine
}
cleanup() {
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  stop_wine
  set_dpi 96
}
trap cleanup EXIT

# run SCREEN DPI EXPECT_SCROLL
run() {
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  set_dpi "$2"
  local display=":$((90 + RANDOM % 100))"
  Xvfb "$display" -screen 0 "$1x24" >/dev/null 2>&1 &
  xvfb=$!
  export DISPLAY="$display"
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  stop_wine
  echo "dialog tests: $1 screen, $2 dpi"
  KV_EXPECT_SCROLL="$3" "$root/scripts/wine-run.sh" "$prefix" "$build/tests/windows/dialog_tests.exe"
}
run 1366x768 96 0
run 1920x1080 144 1
