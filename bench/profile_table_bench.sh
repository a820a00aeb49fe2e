#!/usr/bin/env bash
# Times kvctl's check of a profile table of growing size, to show that it
# grows in proportion to the rows. Each table is checked whole (every IMEI
# distinct) against a base file; the port named does not exist, so kvctl
# ends right after the check, before any tracker. Usage:
#   bench/profile_table_bench.sh [KVCTL] [ROWS...]
# (default: build/default/kvctl, 10000 20000 40000 80000 rows).
set -euo pipefail
kvctl="${1:-build/default/kvctl}"
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(10000 20000 40000 80000)
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
printf '[MESSAGE 1]\r\nPark time=30\r\nUser name=Base\r\n' >"$work/base.ini"
for rows in "${sizes[@]}"; do
  {
    printf 'IMEI,User name,SOS number1,Park time\r\n'
    # 15-digit IMEIs, all different.
    seq 1 "$rows" | awk '{ printf "35%013d,Van %d,555%07d,%d\r\n", $1, $1, $1, 30 + $1 % 100 }'
  } >"$work/units.csv"
  start=$(date +%s.%N)
  set +e
  "$kvctl" set /nonexistent/port --no-backup --log "$work/audit.jsonl" --profiles "$work/units.csv" \
    "$work/base.ini" >"$work/out" 2>&1
  code=$?
  set -e
  end=$(date +%s.%N)
  printf '%7d rows  %6.2f s  (exit %d)\n' "$rows" "$(echo "$end - $start" | bc)" "$code"
done
