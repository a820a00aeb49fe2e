#!/usr/bin/env bash
# Benchmark: firmware for a box of trackers plugged in one after another.
# Each simulated tracker (kvsim) sits on a line paced at 115200 baud with 1 ms
# of latency and restarts after the transfer (boot time 3000 ms). Times, with
# the same 256 KiB image naming a version:
#   1. kvctl watch update: tracker i+1 is plugged in (its kvsim started) as
#      soon as watch printed the line of tracker i; from the first plug to the
#      last line;
#   2. one kvctl update per tracker: plug, run, next; the sum of the runs
#      (plug to kvctl's exit).
# Both wait for each tracker's restart and read its version back.
# Usage: scripts/bench-watch-update.sh [N] [image-KiB] [clock-speed]
# (clock-speed above 1 runs both programs on a sped-up clock, for a quick
# check of the script; the figures then are not real seconds).
set -euo pipefail
cd "$(dirname "$0")/.."
count="${1:-8}"
kib="${2:-256}"
speed="${3:-1}"
bin=build/default
[ -x "$bin/kvctl" ] && [ -x "$bin/kvsim" ] || scripts/build.sh default >/dev/null
work=$(mktemp -d)
export XDG_RUNTIME_DIR="$work/runtime" XDG_STATE_HOME="$work/state"  # these simulators and logs only
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"; }
trap cleanup EXIT
now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }'; }

python3 - "$work/fw.bin" "$kib" <<'PY'
import random, sys
random.seed(26)
data = bytearray(random.getrandbits(8) for _ in range(int(sys.argv[2]) * 1024)).replace(b"F-0KV", b"f-0kv")
version = b"F-0KV770E-V1.5(20100301)"
data[1000:1000 + len(version)] = version
open(sys.argv[1], "wb").write(data)
PY

plug() {  # starts simulated tracker $1; prints its port
  "$bin/kvsim" --clock-speed "$speed" --quiet --imei "35693803564$(printf %04d "$1")" \
    --line-baud 115200 --line-latency 1 --boot-ms 3000 > "$work/sim$1.out" 2>/dev/null &
  pids+=($!)
  for _ in $(seq 1 100); do [ -s "$work/sim$1.out" ] && break; sleep 0.02; done
  head -n 1 "$work/sim$1.out"
}
unplug_all() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; pids=(); sleep 0.5; }

echo "firmware for $count trackers plugged in one after another, ${kib} KiB at 115200 baud ($(nproc) cores):"

# 1. watch update
"$bin/kvctl" --clock-speed "$speed" watch update "$work/fw.bin" --log "$work/watch.jsonl" > "$work/watch.out" 2>/dev/null &
watch=$!
pids+=($watch)
for _ in $(seq 1 100); do grep -q "waiting for trackers" "$work/watch.out" 2>/dev/null && break; sleep 0.05; done
start=$(now)
for i in $(seq 1 "$count"); do
  plug "$i" > /dev/null
  until [ "$(grep -c '  updated  ' "$work/watch.out" || true)" -ge "$i" ]; do
    grep -qE "  (failed|sent, not verified)  " "$work/watch.out" && { cat "$work/watch.out"; exit 1; }
    sleep 0.05
  done
done
watch_s=$(since "$start")
kill -INT "$watch"; wait "$watch" || true
tail -n 1 "$work/watch.out" | sed 's/^/  watch update: /'
unplug_all

# 2. single updates
single_s=0
for i in $(seq 1 "$count"); do
  t0=$(now)
  port=$(plug "$((100 + i))")
  "$bin/kvctl" --clock-speed "$speed" update "$port" "$work/fw.bin" --log "$work/single.jsonl" > "$work/single.out" 2>&1 \
    || { cat "$work/single.out"; exit 1; }
  single_s=$(awk -v s="$single_s" -v d="$(since "$t0")" 'BEGIN { printf "%.2f", s + d }')
done
unplug_all
ratio=$(awk -v a="$watch_s" -v b="$single_s" 'BEGIN { printf "%.3f", a / b }')
printf '  watch update, %d trackers: %8.2f s (%.2f s per tracker)\n' "$count" "$watch_s" "$(awk -v a="$watch_s" -v n="$count" 'BEGIN { print a / n }')"
printf '  %d single kvctl update runs: %8.2f s (%.2f s per tracker)\n' "$count" "$single_s" "$(awk -v a="$single_s" -v n="$count" 'BEGIN { print a / n }')"
printf '  ratio %s\n' "$ratio"
