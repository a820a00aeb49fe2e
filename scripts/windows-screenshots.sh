#!/usr/bin/env bash
# Screenshots of kvtool.exe under Wine on a virtual X display, talking to
# the Linux simulated tracker through COM7 of the Wine prefix: the main
# window once Start has shown the IMEI, and the Device Setting dialog after
# its first read. Needs scripts/setup-windows.sh, the Windows build and the
# Linux kvsim (scripts/build.sh default).
#   scripts/windows-screenshots.sh [OUTPUT_FOLDER]   (default docs/images)
# KV_WINE_DPI=144 draws at 150 % (Wine's LogPixels; 96 is 100 %), on a
# screen of KV_SCREEN pixels (default 1024x768); the pictures then get the
# suffix "-DPI". It prints the measured client areas of both windows and
# checks that each opened centred: the main window on the screen, the
# Device Setting dialog on the main window.
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-docs/images}"
dpi="${KV_WINE_DPI:-96}"
screen="${KV_SCREEN:-1024x768}"
suffix=""
[ "$dpi" = 96 ] || suffix="-$dpi"
prefix="$(pwd)/build/windows/wine-prefix"
work="$(mktemp -d)"
display=":$((90 + RANDOM % 100))"
cleanup() {
  [ -n "${tool:-}" ] && kill "$tool" 2>/dev/null || true
  [ -n "${sim:-}" ] && kill "$sim" 2>/dev/null || true
  [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null || true
  rm -f "$prefix/dosdevices/com7"
  rm -rf "$work"
  [ "$dpi" = 96 ] || set_dpi 96
}
trap cleanup EXIT
# Wine takes the scaling from LogPixels, read when its server starts.
set_dpi() {
  for key in 'HKCU\Control Panel\Desktop' 'HKCC\Software\Fonts'; do
    scripts/wine-run.sh "$prefix" reg add "$key" /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
  done
  WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX="$prefix" wineserver -w >/dev/null 2>&1 || true
}
[ "$dpi" = 96 ] || set_dpi "$dpi"

Xvfb "$display" -screen 0 "${screen}x24" >/dev/null 2>&1 &
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
for _ in $(seq 240); do
  main=$(xdotool search --name "KV-770 User tool" 2>/dev/null | head -1) && [ -n "$main" ] && break
  sleep 0.5
done
[ -n "$main" ] || { echo "kvtool.exe showed no window" >&2; cat "$work/tool.out" >&2; exit 1; }

# Shoots window $1 (its own area of the screen) to file $2.
shoot() {
  eval "$(xdotool getwindowgeometry --shell "$1")"
  xwd -root -silent | xwdtopnm 2>/dev/null | pnmcut -left "$X" -top "$Y" -width "$WIDTH" -height "$HEIGHT" |
    pnmtopng >"$2"
}

xdotool windowactivate --sync "$main" >/dev/null 2>&1 || true
xdotool key --window "$main" Return  # Start is the default button
sleep 8                              # the probe answers, then five IMEI ticks
shoot "$main" "$out/windows-main-window$suffix.png"

# Centred: the client area's middle within a frame's width of the target's
# middle (the frame and caption are the system's, outside the client area).
centred() {  # name x y w h  cx cy (the target's middle)
  local dx=$(( $2 + $4 / 2 - $6 )) dy=$(( $3 + $5 / 2 - $7 ))
  echo "windows-screenshots: $1: client area $4x$5 at $2,$3 (${dpi} dpi)"
  [ "${dx#-}" -le 12 ] && [ "${dy#-}" -le 30 ] || {
    echo "windows-screenshots: $1 is not centred (its middle is $dx, $dy pixels off)" >&2
    exit 1
  }
}
eval "$(xdotool getwindowgeometry --shell "$main")"
centred "main window" "$X" "$Y" "$WIDTH" "$HEIGHT" $(( ${screen%x*} / 2 )) $(( ${screen#*x} / 2 ))
main_mid_x=$(( X + WIDTH / 2 )) main_mid_y=$(( Y + HEIGHT / 2 ))

eval "$(xdotool getwindowgeometry --shell "$main")"
# Setting sits below Start, at the right edge of the window (dialog units
# 195..247 x 24..36 of 254 x 60).
xdotool mousemove $((X + WIDTH * 221 / 254)) $((Y + HEIGHT * 30 / 60)) click 1
setting=""
for _ in $(seq 60); do
  setting=$(xdotool search --name "^Device Setting" 2>/dev/null | head -1) && [ -n "$setting" ] && break
  sleep 0.5
done
[ -n "$setting" ] || { echo "the Device Setting dialog did not open" >&2; exit 1; }
sleep 15  # the opening and the first read at the tracker's own pace
shoot "$setting" "$out/windows-device-setting$suffix.png"
eval "$(xdotool getwindowgeometry --shell "$setting")"
# A dialog taller than the room below and above the owner is moved back on the screen.
if [ $((main_mid_y - HEIGHT / 2)) -ge 0 ] && [ $((main_mid_y + HEIGHT / 2)) -le "${screen#*x}" ]; then
  centred "Device Setting" "$X" "$Y" "$WIDTH" "$HEIGHT" "$main_mid_x" "$main_mid_y"
else
  echo "windows-screenshots: Device Setting: client area ${WIDTH}x${HEIGHT} at $X,$Y (${dpi} dpi; larger than the screen's room around the owner)"
fi
echo "wrote $out/windows-main-window$suffix.png and $out/windows-device-setting$suffix.png"
