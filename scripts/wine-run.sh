#!/usr/bin/env bash
# Runs a Windows program under Wine in a given prefix:
#   scripts/wine-run.sh PREFIX PROGRAM.exe [ARGS...]
# The Windows build's tests run through it (CMAKE_CROSSCOMPILING_EMULATOR).
# The prefix is made on first use. Wine's server is started here with its
# output sent nowhere: a server that Wine starts by itself inherits the
# caller's output pipe and keeps it open after the program ends, so ctest
# would wait for it (seconds per test).
set -euo pipefail
prefix="$1"
shift
export WINEPREFIX="$prefix" WINEDEBUG="${WINEDEBUG:--all}"
# No desktop integration (menu entries, file associations) for a test prefix.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-winemenubuilder.exe=d;mscoree=d;mshtml=d}"
mkdir -p "$prefix"
# The server stays up for 60 s after its last program, so consecutive tests
# reuse it. Wine's own background programs (services, devices) start with
# the prefix's first program and live as long as the server: they are
# started here too, by wineboot, so that they hold no caller's pipe.
# wineserver exits with 0 only when it started (none served the prefix).
# Tests run side by side: the first one starts everything while the others
# wait on the lock.
exec 9>"$prefix/.kv-start.lock"
flock 9
if wineserver -p60 </dev/null >/dev/null 2>&1 9>&-; then
  wine wineboot </dev/null >/dev/null 2>&1 9>&- || true
fi
exec 9>&-
exec wine "$@"
