#!/usr/bin/env bash
# The Windows checks, from a fresh machine or a warm build folder:
#   1. installs what they need (setup-windows.sh; setup.sh for the Linux side)
#   2. builds the Windows programs and tests, and the Linux kvctl and kvsim
#   3. runs the Windows unit tests as .exe under Wine (ctest --preset windows)
#   4. runs kvctl.exe under Wine against the Linux simulated tracker and
#      compares it with Linux kvctl (tests/windows/kvctl_wine_test.sh)
#   5. builds the installer and installs and uninstalls it silently under
#      Wine (tests/windows/installer_wine_test.sh), and again on a system
#      PATH of 4,000 characters (tests/windows/installer_long_path_wine_test.sh)
#   5a. checks the resources of kvtool.exe and kvctl.exe (icon, version,
#      manifest; tests/windows/resources_test.sh) and runs the Win32 dialog
#      tests on a virtual display (tests/windows/dialog_wine_test.sh)
#   5b. names in any script: kvctl.exe set, get -o, backups (a chosen and
#      the default folder) and restore with Latin-accented, Greek and Chinese
#      names, its --help in Windows terms and its text on a console
#      (tests/windows/kvctl_unicode_wine_test.sh, and the console writer's
#      unit test on a pseudo-terminal, where Wine gives the test a console);
#      kvtool.exe Export and Import through its file dialogs in a folder
#      "José", its --help and argument errors in a message box
#      (tests/windows/kvtool_unicode_wine_test.sh)
#   6. starts kvtool.exe under Wine on a virtual display against kvsim,
#      presses Start and opens the Device Setting dialog
#      (scripts/windows-screenshots.sh)
# Exits non-zero at the first failing step.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS
step() { echo "== test-windows: $* ($((SECONDS - start)) s)"; }

step "packages"
scripts/setup.sh
scripts/setup-windows.sh
step "Windows build"
scripts/build-windows.sh
step "Linux kvctl and kvsim"
cmake --preset default >/dev/null
cmake --build --preset default --target kvctl kvsim
step "Windows unit tests under Wine"
ctest --preset windows
step "kvctl.exe under Wine against kvsim"
tests/windows/kvctl_wine_test.sh build/default build/windows
step "installer"
installer="$(scripts/package-windows.sh build/windows)"
tests/windows/installer_wine_test.sh "$installer" "$PWD/build/windows/wine-prefix"
# --- installer on a long system PATH, and the programs' resources ---
step "installer on a 4,000-character system PATH"
tests/windows/installer_long_path_wine_test.sh "$installer" "$PWD/build/windows/wine-prefix"
step "resources of kvtool.exe and kvctl.exe"
tests/windows/resources_test.sh build/windows
step "Win32 dialogs on a virtual display: texts fit their fields, the Device Setting dialog its work area"
tests/windows/dialog_wine_test.sh build/windows
step "names in any script, Windows help, console text: kvctl.exe"
tests/windows/kvctl_unicode_wine_test.sh build/default build/windows/kvctl.exe
# ctest runs without a terminal, so Wine gives no console there; on a
# pseudo-terminal the console half of the writer's test runs too.
console_run="$(script -qec "scripts/wine-run.sh '$PWD/build/windows/wine-prefix' build/windows/tests/windows/unit_tests.exe --gtest_filter='ConsoleText.*' --gtest_color=no" /dev/null </dev/null 2>&1 |
  sed -e 's/\x1b\[K\x1b\[1C/ /g' -e 's/\x1b\[[0-9;?]*[A-Za-z]//g')"
grep -q '\[  PASSED  \] 1 test' <<<"$console_run" && ! grep -q SKIPPED <<<"$console_run" ||
  { echo "$console_run"; echo "the console writer's test did not pass on a console"; exit 1; }
step "names in any script, help and errors in a message box: kvtool.exe"
tests/windows/kvtool_unicode_wine_test.sh build/default build/windows/kvtool.exe
# --- end ---
# Setting comes on only once Start has shown the IMEI, so the Device Setting
# dialog opening is the check that the window connected.
step "kvtool.exe under Wine: Start, the IMEI, the Device Setting dialog"
shots="$(mktemp -d)"
scripts/windows-screenshots.sh "$shots"
rm -rf "$shots"
step "all passed"
