#!/usr/bin/env bash
# Builds and runs the whole test suite under AddressSanitizer with
# UndefinedBehaviorSanitizer, then under ThreadSanitizer. Any finding fails.
# Usage: scripts/test-sanitizers.sh [asan] [tsan]   (both by default)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
supp="$(pwd)/tests/sanitizers"
presets=("$@")
[ ${#presets[@]} -eq 0 ] && presets=(asan tsan)
for preset in "${presets[@]}"; do
  echo "=== $preset build"
  scripts/build.sh "$preset"
  echo "=== $preset tests"
  ASAN_OPTIONS="abort_on_error=1:detect_stack_use_after_return=1:strict_string_checks=1" \
  UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0" \
  TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$supp/tsan.supp" \
    ctest --preset "$preset"
done
