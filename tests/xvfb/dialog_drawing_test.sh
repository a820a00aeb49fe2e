#!/usr/bin/env bash
# Runs dialog_drawing_check on a fresh Xvfb display whose framebuffer is kept
# in a file (-fbdir), alone ("none") or under a window manager ("openbox"),
# and passes its exit status on.
# Usage: dialog_drawing_test.sh CHECK_PROGRAM none|openbox
set -euo pipefail
check="$1"
wm="$2"
if ! command -v xvfb-run >/dev/null; then
  echo "xvfb-run is missing (scripts/setup.sh installs it)" >&2
  exit 1
fi
if [ "$wm" != none ] && ! command -v "$wm" >/dev/null; then
  echo "$wm is missing (scripts/setup.sh installs it)" >&2
  exit 1
fi
fbdir="$(mktemp -d)"
trap 'rm -rf "$fbdir"' EXIT
# The part that runs on the new display (xvfb-run sets DISPLAY).
on_display='
  if [ "$2" != none ]; then
    "$2" >/dev/null 2>&1 &
    wm_pid=$!
    sleep 1  # the manager has taken the screen before the first window maps
  fi
  status=0
  KV_FRAMEBUFFER="$3/Xvfb_screen0" "$1" || status=$?
  if [ -n "${wm_pid:-}" ]; then kill "$wm_pid" 2>/dev/null || true; fi
  exit "$status"
'
unset QT_QPA_PLATFORM
xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24 -dpi 96 -fbdir $fbdir" \
  bash -c "$on_display" run "$check" "$wm" "$fbdir"
