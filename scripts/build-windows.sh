#!/usr/bin/env bash
# Cross-builds the 64-bit Windows programs and tests (preset "windows"):
# build/windows/kvctl.exe and build/windows/tests/windows/unit_tests.exe.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset windows >/dev/null
cmake --build --preset windows
