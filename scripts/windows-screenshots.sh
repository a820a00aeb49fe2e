#!/usr/bin/env bash
# Screenshots of kvtool.exe under Wine on a virtual X display, talking to
# the Linux simulated tracker through COM7 of the Wine prefix: the main
# window once Start has shown the IMEI, and the Device Setting dialog after
# its first read. Needs scripts/setup-windows.sh, the Windows build and the
# Linux kvsim (scripts/build.sh default).
#   scripts/windows-screenshots.sh [OUTPUT_FOLDER]   (default docs/images)
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-docs/images}"
prefix="$(pwd)/build/windows/wine-prefix"
work="$(mktemp -d)"
display=":$((90 + RANDOM % 100))"
cleanup() {
  [ -n "${tool:-}" ] && kill "$tool" 2>/dev/null || true
  [ -n "${sim:-}" ] && kill "$sim" 2>/dev/null || true
  [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null || true
  rm -f "$prefix/dosdevices/com7"
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb "$display" -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb=$!
export DISPLAY="$display"
# Wine's desktop process belongs to the server of the prefix: a server that
# earlier programs started without this display would keep the windows off it.
WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
WINEPREFIX="$prefix" wineserver -w >/dev/null 2>&1 || true
build/default/kvsim --quiet >"$work/sim.out" 2>"$work/sim.err" &
sim=$!
for _ in $(seq 50); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
mkdir -p "$prefix/dosdevices"
ln -sfn "$(head -1 "$work/sim.out")" "$prefix/dosdevices/com7"

scripts/wine-run.sh "$prefix" build/windows/kvtool.exe --port COM7 >"$work/tool.out" 2>&1 &
tool=$!
main=""
for _ in $(seq 120); do
  main=$(xdotool search --name "KV-770 User tool" 2>/dev/null | head -1) && [ -n "$main" ] && break
  sleep 0.5
done
[ -n "$main" ] || { echo "kvtool.exe showed no window" >&2; exit 1; }

# Shoots window $1 (its own area of the screen) to file $2.
shoot() {
  eval "$(xdotool getwindowgeometry --shell "$1")"
  xwd -root -silent | xwdtopnm 2>/dev/null | pnmcut -left "$X" -top "$Y" -width "$WIDTH" -height "$HEIGHT" |
    pnmtopng >"$2"
}

xdotool windowactivate --sync "$main" >/dev/null 2>&1 || true
xdotool key --window "$main" Return  # Start is the default button
sleep 8                              # the probe answers, then five IMEI ticks
shoot "$main" "$out/windows-main-window.png"

eval "$(xdotool getwindowgeometry --shell "$main")"
# Setting sits below Start, at the right edge of the window.
xdotool mousemove $((X + WIDTH - 66)) $((Y + 56)) click 1
setting=""
for _ in $(seq 60); do
  setting=$(xdotool search --name "^Device Setting" 2>/dev/null | head -1) && [ -n "$setting" ] && break
  sleep 0.5
done
[ -n "$setting" ] || { echo "the Device Setting dialog did not open" >&2; exit 1; }
sleep 15  # the opening and the first read at the tracker's own pace
shoot "$setting" "$out/windows-device-setting.png"
echo "wrote $out/windows-main-window.png and $out/windows-device-setting.png"
