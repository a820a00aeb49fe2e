#!/usr/bin/env bash
# Installs the Windows installer silently under Wine with the PATH option,
# checks the program files, the uninstaller, the Start-menu shortcuts, the
# PATH entry and that the installed kvctl.exe runs; then uninstalls silently
# and checks that all of it is gone and PATH is as it was.
#   tests/windows/installer_wine_test.sh INSTALLER.exe PREFIX
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
installer="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
prefix="$2"
run=("$root/scripts/wine-run.sh" "$prefix")
folder="$prefix/drive_c/Program Files/KV-770 Tool"
menu="$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/KV-770 Tool"
fail() { echo "installer_wine_test: FAIL: $*"; exit 1; }
path_value() {
  "${run[@]}" reg query 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment' /v Path 2>/dev/null |
    tr -d '\r' | sed -n 's/^ *Path *REG_[A-Z_]* *//p'
}

[ ! -e "$folder" ] || fail "already installed in $folder"
before="$(path_value)"
"${run[@]}" "$installer" /S /PATH || fail "the installer exited with $?"
for f in kvctl.exe uninstall.exe LICENSE.txt README-Windows.txt; do
  [ -f "$folder/$f" ] || fail "$f was not installed"
done
[ -f "$menu/kvctl command prompt.lnk" ] || fail "no Start-menu shortcut"
after="$(path_value)"
case ";$after;" in *";C:\\Program Files\\KV-770 Tool;"*) ;; *) fail "PATH lacks the install folder: $after" ;; esac
"${run[@]}" "C:\\Program Files\\KV-770 Tool\\kvctl.exe" --help | grep -q '^Usage: kvctl' || fail "the installed kvctl.exe does not run"
echo "installer_wine_test: installed: $(cd "$folder" && ls | tr '\n' ' ')"

# The uninstaller copies itself away and runs from there: wait for it.
"${run[@]}" "C:\\Program Files\\KV-770 Tool\\uninstall.exe" /S || fail "the uninstaller exited with $?"
for _ in $(seq 150); do [ -e "$folder" ] || break; sleep 0.2; done
[ ! -e "$folder" ] || fail "left behind: $(ls -A "$folder" | tr '\n' ' ')"
[ ! -e "$menu" ] || fail "the Start-menu folder is still there"
[ "$(path_value)" = "$before" ] || fail "PATH was not put back: $(path_value) (was $before)"
echo "installer_wine_test: PASS (silent install with PATH, shortcuts, kvctl.exe runs; silent uninstall removes all)"
