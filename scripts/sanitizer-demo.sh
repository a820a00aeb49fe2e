#!/usr/bin/env bash
# Shows that the sanitizer run catches a memory fault in a parser: builds a
# scratch copy of HEAD in which the settings message parser has lost the bound
# of its 256-character copy area (an out-of-bounds write that never enters
# the repository), runs its tests under AddressSanitizer, and expects the
# report. Exits 0 when the fault was caught.
set -euo pipefail
cd "$(dirname "$0")/.."
scratch=$(mktemp -d)
trap 'git worktree remove --force "$scratch" >/dev/null 2>&1 || true; rm -rf "$scratch"' EXIT
git worktree add --detach "$scratch" HEAD >/dev/null 2>&1
file="$scratch/src/settings/settings_message.cpp"
grep -q 'used < MESSAGE_COPY_AREA_CHARS' "$file"
sed -i 's/ && used < MESSAGE_COPY_AREA_CHARS//' "$file"
echo "broken copy (bound removed from ApplyMessage's copy loop):"
git -C "$scratch" diff --stat
(cd "$scratch" && cmake --preset asan -DKV_BUILD_GUI=OFF >/dev/null && cmake --build --preset asan --target unit_tests >/dev/null)
log="$scratch/asan.log"
if "$scratch/build/asan/tests/unit_tests" --gtest_filter='*Message*' >"$log" 2>&1; then
  echo "NOT CAUGHT: the broken parser passed its tests under AddressSanitizer"
  exit 1
fi
grep -m1 -E 'ERROR: AddressSanitizer' "$log"
grep -m1 -E '#[0-9]+ .* in settings::ApplyMessage' "$log" || true
echo "caught by the sanitizer run"
