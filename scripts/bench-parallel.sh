#!/usr/bin/env bash
# Benchmark: setting up a box of trackers at once. Starts N simulated trackers
# (kvsim, default 8) and times, in one run, `kvctl set` of one settings file on
# one tracker and then on all N at once (one thread per tracker). Prints both
# times and their ratio (target at most 1.3 up to 8 trackers, 1.1 beyond), and
# kvctl's CPU time (user + system) per tracker in each run, which should stay
# flat as N grows.
# Usage: scripts/bench-parallel.sh [N] [rounds]
# KV_BENCH_BIN=DIR takes kvctl and kvsim from DIR (for a before/after pair).
set -euo pipefail
cd "$(dirname "$0")/.."
count="${1:-8}"
rounds="${2:-2}"
bin="${KV_BENCH_BIN:-build/default}"
[ -n "${KV_BENCH_BIN:-}" ] || [ -x "$bin/kvctl" ] || scripts/build.sh default >/dev/null
work=$(mktemp -d)
export XDG_RUNTIME_DIR="$work/runtime"   # keep these simulators to this run
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"; }
trap cleanup EXIT
ports=()
for i in $(seq 1 "$count"); do
  "$bin/kvsim" --quiet > "$work/sim$i.out" 2>/dev/null &
  pids+=($!)
done
for i in $(seq 1 "$count"); do
  for _ in $(seq 1 50); do [ -s "$work/sim$i.out" ] && break; sleep 0.05; done
  ports+=("$(head -n 1 "$work/sim$i.out")")
done
printf '[KV DEVICE SETTING]\r\nDEVICE=bench\r\n[MESSAGE 1]\r\nCheck return number=1\r\nPark time=30\r\nUser name=Unit7\r\nSet time zone=+8.00\r\nReport mode=8\r\n[MESSAGE 2]\r\nSOS number1=5550101\r\n[MESSAGE 3]\r\nGPRS apn=internet\r\n[MESSAGE 4]\r\nGPRS server address=192.0.2.10\r\n' > "$work/box.ini"

run() {  # prints "seconds cpu-seconds" of `kvctl set` on the given ports
  local args=()
  for p in "$@"; do args+=(--port "$p"); done
  local TIMEFORMAT='%R %U %S' times
  times=$( { time "$bin/kvctl" set "${args[@]}" "$work/box.ini" > "$work/last.out" 2>&1 ; } 2>&1 ) \
    || { cat "$work/last.out" >&2; exit 1; }
  awk -v t="$times" 'BEGIN { split(t, f, " "); printf "%.3f %.3f", f[1], f[2] + f[3] }'
}

target=1.3
[ "$count" -gt 8 ] && target=1.1
echo "kvctl set, one tracker against $count at once ($(nproc) cores):"
worst=0
for r in $(seq 1 "$rounds"); do
  single=$(run "${ports[0]}")
  many=$(run "${ports[@]}")
  read -r one oneCpu <<< "$single"
  read -r all allCpu <<< "$many"
  ratio=$(awk -v a="$all" -v b="$one" 'BEGIN { printf "%.4f", a / b }')
  printf '  round %d: 1 tracker %6.2f s, %d trackers %6.2f s, ratio %.3f;' "$r" "$one" "$count" "$all" "$ratio"
  printf ' kvctl CPU per tracker %.3f s (1) and %.3f s (%d)\n' "$oneCpu" \
    "$(awk -v c="$allCpu" -v n="$count" 'BEGIN { printf "%.4f", c / n }')" "$count"
  worst=$(awk -v r="$ratio" -v w="$worst" 'BEGIN { print (r > w ? r : w) }')
done
printf 'worst ratio %.3f (target at most %s)\n' "$worst" "$target"
awk -v w="$worst" -v t="$target" 'BEGIN { exit !(w <= t) }'
