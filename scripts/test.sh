#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh default
ctest --preset default
