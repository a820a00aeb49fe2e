#!/usr/bin/env bash
# Style and lint, as CI runs them: every C++ file of the project formatted as
# .clang-format says (clang-format changes nothing), and clang-tidy's checks
# of .clang-tidy without a finding on every file the default build compiles.
# `scripts/check-style.sh format` or `tidy` runs one of the two.
set -euo pipefail
cd "$(dirname "$0")/.."
what="${1:-all}"
status=0

if [ "$what" = all ] || [ "$what" = format ]; then
  unformatted=()
  while IFS= read -r file; do
    if ! clang-format --dry-run -Werror "$file" 2>/dev/null; then unformatted+=("$file"); fi
  done < <(git ls-files '*.cpp' '*.h')
  if [ ${#unformatted[@]} -ne 0 ]; then
    echo "check-style: not formatted as .clang-format says (clang-format -i FILE mends it):" >&2
    printf '  %s\n' "${unformatted[@]}" >&2
    status=1
  else
    echo "check-style: every C++ file is formatted"
  fi
fi

if [ "$what" = all ] || [ "$what" = tidy ]; then
  if [ ! -f build/default/compile_commands.json ]; then
    echo "check-style: build/default/compile_commands.json is missing: run scripts/build.sh first" >&2
    exit 1
  fi
  log=$(mktemp)
  trap 'rm -f "$log"' EXIT
  # The project's own files; moc output and the Windows-only files are not
  # in the Linux build's commands.
  if run-clang-tidy -p build/default -j "$(nproc)" -quiet "^$(pwd)/(src|cli|sim|tests|bench|fuzz)/" >"$log" 2>&1 &&
     ! grep -q "warning:\|error:" <(grep -v "warnings generated" "$log"); then
    echo "check-style: clang-tidy found nothing"
  else
    grep -E "(warning|error):" "$log" | grep -v "warnings generated" >&2 || tail -20 "$log" >&2
    echo "check-style: clang-tidy findings above" >&2
    status=1
  fi
fi
exit $status
