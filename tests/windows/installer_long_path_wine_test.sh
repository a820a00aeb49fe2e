#!/usr/bin/env bash
# The installer's PATH option on a system PATH of 4,000 characters (longer
# than the installer's own strings): a silent install with /PATH leaves the
# old PATH plus the install folder, a second install over it changes
# nothing, one into another folder (with Latin, Greek and Chinese letters
# in its name) moves the PATH entry along and removes the first folder, and
# the uninstall leaves exactly the old PATH. The prefix's PATH is put back
# at the end, whatever happens.
#   tests/windows/installer_long_path_wine_test.sh INSTALLER.exe PREFIX
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
installer="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
prefix="$2"
run=("$root/scripts/wine-run.sh" "$prefix")
key='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
folder='C:\Program Files\KV-770 Tool'
unix_folder="$prefix/drive_c/Program Files/KV-770 Tool"
fail() { echo "installer_long_path_wine_test: FAIL: $*"; exit 1; }
path_value() {
  "${run[@]}" reg query "$key" /v Path 2>/dev/null | tr -d '\r' | sed -n 's/^ *Path *REG_[A-Z_]* *//p'
}
set_path() { "${run[@]}" reg add "$key" /v Path /t REG_EXPAND_SZ /d "$1" /f >/dev/null 2>&1; }

[ ! -e "$unix_folder" ] || fail "already installed in $unix_folder"
original="$(path_value)"
[ -n "$original" ] || fail "the prefix has no system PATH to start from"
trap 'set_path "$original"' EXIT

long="$original"
for i in $(seq 1000); do long="$long;C:\\Tools\\Folder$i"; done
long="${long:0:4000}"
long="${long%\\}"  # no dangling backslash at the cut
set_path "$long"
before="$(path_value)"
[ "${#before}" -ge 3990 ] || fail "the long PATH did not take: ${#before} characters"

"${run[@]}" "$installer" /S /PATH || fail "the installer exited with $?"
after="$(path_value)"
[ "$after" = "$before;$folder" ] ||
  fail "after install the PATH is not the old one plus the folder (${#after} characters, ends: ${after: -80})"

# A second install over the first (the PATH option taken over from it).
"${run[@]}" "$installer" /S || fail "the second install exited with $?"
[ "$(path_value)" = "$before;$folder" ] || fail "a second install changed the PATH: ${#after} characters"

# Into another folder: the first one goes, its PATH entry too.
other='C:\Café-Ωμέγα-工具'
unix_other="$prefix/drive_c/Café-Ωμέγα-工具"
"${run[@]}" "$installer" /S "/D=$other" || fail "the install into $other exited with $?"
[ -f "$unix_other/kvctl.exe" ] || fail "nothing installed in $other"
[ ! -e "$unix_folder" ] || fail "the first folder is still there: $(ls -A "$unix_folder" | tr '\n' ' ')"
moved="$(path_value)"
# (The folder's letters as reg.exe prints them depend on the console's code
# page: the new entry is checked for its ASCII start and for being one entry.)
rest="${moved:${#before}}"
[ "${moved:0:${#before}}" = "$before" ] && [[ "$rest" == ';C:\Caf'* ]] && [[ "${rest:1}" != *';'* ]] ||
  fail "after the install into $other the PATH is not the old one plus that folder (ends: ${moved: -60})"

"${run[@]}" "$other\\uninstall.exe" /S || fail "the uninstaller exited with $?"
for _ in $(seq 150); do [ -e "$unix_other" ] || break; sleep 0.2; done
[ ! -e "$unix_other" ] || fail "left behind: $(ls -A "$unix_other" | tr '\n' ' ')"
final="$(path_value)"
[ "$final" = "$before" ] || fail "after uninstall the PATH is not the old one (${#final} characters, was ${#before})"
echo "installer_long_path_wine_test: PASS (a ${#before}-character PATH: install adds the folder, a second install keeps one entry, one into a non-Latin folder moves it, uninstall gives the old PATH back exactly)"
