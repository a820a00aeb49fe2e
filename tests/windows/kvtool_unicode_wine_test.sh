#!/usr/bin/env bash
# kvtool.exe under Wine on a virtual display, against the Linux simulated
# tracker on COM7, started in a folder named "José": the Device Setting
# dialog's Export saves the tracker's settings there through the save dialog
# (its suggested name, in the folder the dialog opens in), and Import reads a
# settings file from there through the open dialog. Then --help and a wrong
# option each show a message box (a program without a console prints nothing).
#   tests/windows/kvtool_unicode_wine_test.sh LINUX_BUILD KVTOOL_EXE
set -euo pipefail
linux="$(cd "$1" && pwd)"
kvtool_exe="$(cd "$(dirname "$2")" && pwd)/$(basename "$2")"
root="$(cd "$(dirname "$0")/../.." && pwd)"
prefix="$root/build/windows/wine-prefix"
export LC_ALL=C.UTF-8
work="$(mktemp -d "${TMPDIR:-/tmp}/kvtool-unicode.XXXXXX")"
folder="$work/José"
mkdir -p "$folder"
display=":$((200 + RANDOM % 100))"
tool="" sim="" xvfb=""
cleanup() {
  [ -n "$tool" ] && kill "$tool" 2>/dev/null || true
  [ -n "$sim" ] && kill "$sim" 2>/dev/null || true
  WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  rm -f "$prefix/dosdevices/com7"
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() {
  echo "kvtool_unicode_wine_test: FAIL: $*"
  failures=$((failures + 1))
  [ -z "${KV_SHOTS:-}" ] || xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng >"$KV_SHOTS/fail-$failures.png"
}
# The first window whose name matches $1, waited for up to $2 half-seconds.
window() {
  local found=""
  for _ in $(seq "$2"); do
    found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1) && [ -n "$found" ] && break
    sleep 0.5
  done
  echo "$found"
}

Xvfb "$display" -screen 0 1280x1024x24 >/dev/null 2>&1 &
xvfb=$!
export DISPLAY="$display"
# The prefix's server is restarted on this display (see windows-screenshots.sh).
WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
WINEPREFIX="$prefix" wineserver -w >/dev/null 2>&1 || true
"$linux/kvsim" --quiet >"$work/sim.out" 2>"$work/sim.err" &
sim=$!
for _ in $(seq 50); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
mkdir -p "$prefix/dosdevices"
ln -sfn "$(head -1 "$work/sim.out")" "$prefix/dosdevices/com7"

(cd "$folder" && exec "$root/scripts/wine-run.sh" "$prefix" "$kvtool_exe" --port COM7) >"$work/tool.out" 2>&1 &
tool=$!
main=$(window "KV-770 User tool" 240)
[ -n "$main" ] || { echo "kvtool.exe showed no window" >&2; cat "$work/tool.out" >&2; exit 1; }
xdotool windowactivate --sync "$main" >/dev/null 2>&1 || true
xdotool key --window "$main" Return  # Start
sleep 8
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove $((X + WIDTH * 221 / 254)) $((Y + HEIGHT * 30 / 60)) click 1  # Setting
setting=$(window "^Device Setting" 60)
[ -n "$setting" ] || { echo "the Device Setting dialog did not open" >&2; exit 1; }
sleep 15  # its first read

# Clicks the Device Setting dialog's button centred at dialog unit $1 across
# (the buttons' row is 332 of 344 down, the dialog 398 across).
press() {
  eval "$(xdotool getwindowgeometry --shell "$setting")"
  xdotool mousemove $((X + WIDTH * $1 / 398)) $((Y + HEIGHT * 332 / 344)) click 1
}

# Export: the save dialog opens in José with the tracker's IMEI as the name.
press 76
save=$(window "^Save" 20)
if [ -z "$save" ]; then
  fail "Export showed no save dialog"
else
  sleep 1
  xdotool key Return
  for _ in $(seq 20); do ls "$folder"/*.ini >/dev/null 2>&1 && break; sleep 0.5; done
  exported=$(ls "$folder"/*.ini 2>/dev/null | head -1 || true)
  if [ -z "$exported" ]; then
    fail "Export wrote no file into José ($(ls -A "$work" "$folder" | tr '\n' ' '))"
    # A box that says the save failed is closed.
    box=$(window "." 2) && [ -n "$box" ] && xdotool key Return
  elif ! grep -q 'Park time' "$exported"; then
    fail "the exported file lacks the settings"
  else
    echo "kvtool_unicode_wine_test: Export wrote José/$(basename "$exported")"
  fi
fi

# Import: a file of José, typed by its plain name.
printf '[KV DEVICE SETTING]\r\nDEVICE=Imported 9\r\n[MESSAGE 1]\r\nCheck return number=1\r\nPark time=40\r\nUser name=Unit9\r\nSet time zone=+8.00\r\nReport mode=8\r\n[MESSAGE 2]\r\nSOS number1=5550109\r\n[MESSAGE 4]\r\nGPRS server address=192.0.2.19\r\n' \
  >"$folder/import.ini"
sleep 1
press 28
open=$(window "^Open" 20)
if [ -z "$open" ]; then
  fail "Import showed no open dialog"
else
  sleep 1
  xdotool type --delay 50 "import.ini"
  xdotool key Return
  [ -n "$(window "Imported 9" 20)" ] || fail "Import did not read José/import.ini (the dialog's caption does not name it)"
fi
kill "$tool" 2>/dev/null || true
wait "$tool" 2>/dev/null || true
tool=""

# --help and a wrong option: a message box each, closed with Return.
for args in --help --no-such-option; do
  (cd "$work" && exec "$root/scripts/wine-run.sh" "$prefix" "$kvtool_exe" "$args") >"$work/args.out" 2>&1 &
  tool=$!
  box=$(window "^kvtool$" 40)
  if [ -z "$box" ]; then
    fail "kvtool.exe $args showed no message box"
    kill "$tool" 2>/dev/null || true
  else
    xdotool windowactivate --sync "$box" >/dev/null 2>&1 || true
    xdotool key --window "$box" Return
  fi
  set +e
  wait "$tool"
  status=$?
  set -e
  tool=""
  want=0
  [ "$args" = --help ] || want=2
  [ "$status" = "$want" ] || fail "kvtool.exe $args exited with $status, not $want"
  [ ! -s "$work/args.out" ] || fail "kvtool.exe $args printed: $(head -2 "$work/args.out")"
done

[ "$failures" -eq 0 ] || { echo "kvtool_unicode_wine_test: $failures failures"; exit 1; }
echo "kvtool_unicode_wine_test: PASS (Export and Import through the file dialogs in José; --help and a wrong option in a message box)"
