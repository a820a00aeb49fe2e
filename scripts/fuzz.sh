#!/usr/bin/env bash
# Runs every libFuzzer target for a time budget (seconds, default 20), or for
# a number of executions (runs=N), on a scratch copy of its seed corpus.
# Usage: scripts/fuzz.sh [seconds | runs=N] [target...]
# Prints the executions of each target; exits non-zero on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
budget="${1:-20}"
case "$budget" in
  runs=*) limit="-runs=${budget#runs=}" ;;
  *) limit="-max_total_time=$budget" ;;
esac
shift || true
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for bin in build/fuzz/fuzz/fuzz_*; do targets+=("$(basename "$bin" | sed 's/^fuzz_//')"); done
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for t in "${targets[@]}"; do
  mkdir -p "$work/$t"
  if [ -d "fuzz/corpus/$t" ]; then cp -r "fuzz/corpus/$t/." "$work/$t/"; fi
  log="$work/$t.log"
  if ./build/fuzz/fuzz/fuzz_"$t" "$limit" -print_final_stats=1 \
       -artifact_prefix="$work/$t-" -rss_limit_mb=2048 "$work/$t" >"$log" 2>&1; then
    runs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | awk '{print $2}')
    printf 'fuzz %-22s %10s executions, no finding\n' "$t" "$runs"
  else
    status=1
    printf 'fuzz %-22s FINDING\n' "$t"
    grep -E 'ERROR|SUMMARY|Test unit written' "$log" | head -n 20
    mkdir -p build/fuzz-findings && cp "$work/$t"-* build/fuzz-findings/ 2>/dev/null || true
  fi
done
exit $status
