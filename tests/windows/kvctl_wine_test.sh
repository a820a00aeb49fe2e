#!/usr/bin/env bash
# kvctl.exe under Wine against the Linux simulated tracker (kvsim), through a
# COM port of the Wine prefix that points at kvsim's pseudo-terminal, and
# Linux kvctl against another kvsim with the same inputs. Both must give the
# same results, the same simulated message store and the same received
# firmware image (SHA-256), and `get` the same file bytes.
#   tests/windows/kvctl_wine_test.sh LINUX_BUILD WINDOWS_BUILD
# Not checked here, being Wine's gaps rather than the tool's: exclusive use
# of the port (Wine lets a second open succeed), DTR/RTS and modem status on
# a pseudo-terminal, and a read time-out of {MAXDWORD, MAXDWORD, C}, which
# Wine waits out in full even when bytes are there (slower, same results).
set -euo pipefail
linux="$(cd "$1" && pwd)"
windows="$(cd "$2" && pwd)"
root="$(cd "$(dirname "$0")/../.." && pwd)"
prefix="$windows/wine-prefix"
work="$(mktemp -d "${TMPDIR:-/tmp}/kvctl-wine.XXXXXX")"
sims=()
cleanup() {
  for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -f "$prefix/dosdevices/com7"
  rm -rf "$work"
}
trap cleanup EXIT

printf '[KV DEVICE SETTING]\r\nDEVICE=Van 7\r\n[MESSAGE 1]\r\nCheck return number=1\r\nPark time=30\r\nUser name=Unit7\r\nSet time zone=+8.00\r\nReport mode=8\r\n[MESSAGE 2]\r\nSOS number1=5550101\r\n[MESSAGE 4]\r\nGPRS server address=192.0.2.10\r\n' >"$work/box.ini"
sed 's/Park time=30/Park time=45/' "$work/box.ini" >"$work/changed.ini"
# A firmware image of 40 KiB with every byte value, the same for both sides.
python3 -c 'import sys; sys.stdout.buffer.write(bytes((i * 7 + i // 251) % 256 for i in range(40 * 1024 + 13)))' \
  >"$work/image.bin"

# Runs every command on one side; results go to $work/SIDE/.
run_side() {
  local side="$1" out="$work/$1"
  mkdir -p "$out"
  "$linux/kvsim" --quiet >"$out/sim.out" 2>"$out/sim.err" &
  local sim=$!
  sims+=("$sim")
  for _ in $(seq 100); do [ -s "$out/sim.out" ] && break; sleep 0.1; done
  local pty
  pty="$(head -1 "$out/sim.out")"
  local port kvctl
  if [ "$side" = windows ]; then
    mkdir -p "$prefix/dosdevices"
    ln -sfn "$pty" "$prefix/dosdevices/com7"
    port=COM7
    kvctl=("$root/scripts/wine-run.sh" "$prefix" "$windows/kvctl.exe")
  else
    port="$pty"
    kvctl=(env XDG_DATA_HOME="$out/data" XDG_STATE_HOME="$out/state" "$linux/kvctl")
  fi
  local name args
  while IFS='|' read -r name args; do
    # shellcheck disable=SC2086
    set +e
    # Files by relative names, from the work folder: the image's name goes
    # to the tracker as given.
    (cd "$work" && "${kvctl[@]}" ${args//@PORT@/$port}) >"$out/$name.out" 2>"$out/$name.err"
    echo "exit $?" >>"$out/$name.out"
    set -e
    # The port's name, the backup's folder and the transfer's timing differ
    # by nature.
    sed -i -e "s|$port|PORT|g" -e 's|^backup: .*[/\\]\([0-9]*\)-[0-9]*-[0-9]*|backup: (folder)/\1-(time)|' -e '/^\[[# ]*\] /d' -e 's/ in [0-9.]* s.*$/ in (time)/' -e 's/\r$//' "$out/$name.out"
  done <<EOF_COMMANDS
probe|probe @PORT@
imei|imei @PORT@
version|version @PORT@
set|set @PORT@ box.ini
diff-same|diff @PORT@ box.ini
diff-changed|diff @PORT@ changed.ini
get|get @PORT@ -o $side-get.ini
update|update @PORT@ image.bin
EOF_COMMANDS
  kill -TERM "$sim"
  wait "$sim" || true
  # The store and the received image as kvsim reports them when it ends.
  # The image's name is the path as given on Windows and the absolute path
  # without its leading slash on Linux: only its size and digest compare.
  sed -n '/^Message store:/,$p;/^received /p' "$out/sim.out" |
    sed -e 's|^received .*: \([0-9]* bytes\)|received (name): \1|' -e 's|^  ".*": \([0-9]* bytes\)|  (name): \1|' \
      >"$out/report.txt"
}

run_side linux
run_side windows

status=0
for f in "$work"/linux/*.out; do
  name="$(basename "$f")"
  [ "$name" = sim.out ] && continue
  if ! diff -u "$f" "$work/windows/$name" >"$work/diff.txt"; then
    echo "kvctl_wine_test: $name differs (linux vs windows):"; cat "$work/diff.txt"
    echo "--- windows stderr:"; cat "$work/windows/${name%.out}.err"
    status=1
  fi
done
if ! diff -u "$work/linux/report.txt" "$work/windows/report.txt"; then
  echo "kvctl_wine_test: the simulated store or the received image differs"
  status=1
fi
if ! cmp "$work/linux-get.ini" "$work/windows-get.ini"; then
  echo "kvctl_wine_test: the files written by get differ"
  status=1
fi
grep -q '^received .*SHA-256' "$work/linux/report.txt" || { echo "kvctl_wine_test: no image received"; status=1; }
echo "kvctl_wine_test: store and image report (both sides):"
cat "$work/windows/report.txt"
echo "kvctl_wine_test: get file SHA-256: $(sha256sum <"$work/windows-get.ini" | cut -d' ' -f1) (both sides)"
[ $status -eq 0 ] && echo "kvctl_wine_test: PASS (probe imei version set diff get update agree)"
exit $status
