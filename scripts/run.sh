#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the three programs (kvtool, kvctl,
# kvsim; not the tests and benchmarks), starts a simulated tracker and opens
# kvtool on it. Without a display, the terminal program kvctl probes the
# simulated tracker and prints its IMEI instead.
# Works as root or as a normal user with sudo. The simulator stops on exit.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default --target kvtool kvctl kvsim

bin=build/default
work="$(mktemp -d)"
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

"$bin/kvsim" --quiet --link "$work/tracker" >"$work/kvsim.out" &
sim_pid=$!
# kvsim prints its pseudo-terminal's path on its first line.
for _ in $(seq 1 100); do
  [ -s "$work/kvsim.out" ] && break
  sleep 0.1
done
pty="$(head -n 1 "$work/kvsim.out")"
if [ -z "$pty" ]; then
  echo "run.sh: the simulated tracker did not start" >&2
  exit 1
fi
echo "Simulated tracker on $pty (linked as $work/tracker while this runs)"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  "$bin/kvtool" --port "$pty"
else
  echo "No display: probing the simulated tracker from the terminal (kvctl imei)."
  "$bin/kvctl" imei "$pty"
fi
