#!/usr/bin/env bash
# Installs the Windows installer silently under Wine with the PATH option,
# checks the program files (stripped), the plain-text readme and licence,
# the uninstaller and its entry, the Start-menu shortcuts, the PATH entry and
# that the installed kvctl.exe runs; installs it again over itself (one PATH
# entry, the same files); then uninstalls silently and checks that all of it
# is gone, its entry too, and PATH is as it was.
#   tests/windows/installer_wine_test.sh INSTALLER.exe PREFIX
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
installer="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
prefix="$2"
run=("$root/scripts/wine-run.sh" "$prefix")
folder="$prefix/drive_c/Program Files/KV-770 Tool"
menu="$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/KV-770 Tool"
fail() { echo "installer_wine_test: FAIL: $*"; exit 1; }
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KV-770 Tool'
entry() {
  "${run[@]}" reg query "$uninstall_key" /v "$1" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_[A-Z_]* *//p"
}
path_value() {
  "${run[@]}" reg query 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment' /v Path 2>/dev/null |
    tr -d '\r' | sed -n 's/^ *Path *REG_[A-Z_]* *//p'
}

[ ! -e "$folder" ] || fail "already installed in $folder"
before="$(path_value)"
"${run[@]}" "$installer" /S /PATH || fail "the installer exited with $?"
for f in kvctl.exe kvtool.exe uninstall.exe LICENSE.txt README-Windows.txt; do
  [ -f "$folder/$f" ] || fail "$f was not installed"
done
[ -f "$menu/kvctl command prompt.lnk" ] || fail "no Start-menu shortcut"
[ ! -e "$folder/kvpath.exe" ] || fail "the installer's own kvpath.exe was installed"
after="$(path_value)"
case ";$after;" in *";C:\\Program Files\\KV-770 Tool;"*) ;; *) fail "PATH lacks the install folder: $after" ;; esac
# (Read whole: kvctl counts an output closed early as a failure.)
help="$("${run[@]}" "C:\\Program Files\\KV-770 Tool\\kvctl.exe" --help)" || fail "the installed kvctl.exe exited with $?"
grep -q '^Usage: kvctl' <<<"$help" || fail "the installed kvctl.exe does not run"
echo "installer_wine_test: installed: $(cd "$folder" && ls | tr '\n' ' ')"

# The entry in Apps and Programs and Features.
version="$(sed -n 's/^project(kv770tool VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
[ "$(entry DisplayVersion)" = "$version" ] || fail "DisplayVersion is '$(entry DisplayVersion)', not $version"
[ "$(entry Publisher)" = "KV-770 Tool maintainers" ] || fail "Publisher is '$(entry Publisher)'"
case "$(entry DisplayIcon)" in *'KV-770 Tool\kvtool.exe",0' | *'KV-770 Tool\kvctl.exe",0') ;;
  *) fail "DisplayIcon is '$(entry DisplayIcon)'" ;; esac
size_kib=$(( $(entry EstimatedSize) ))
actual_kib=$(( $(du -sk --apparent-size "$folder" | cut -f1) ))
[ "$size_kib" -gt 0 ] && [ $((size_kib - actual_kib)) -le 64 ] && [ $((actual_kib - size_kib)) -le 64 ] ||
  fail "EstimatedSize is $size_kib KiB for $actual_kib KiB installed"
# Stripped programs, a plain-text readme and the project's licence text.
for f in "$folder"/*.exe; do
  ! x86_64-w64-mingw32-objdump -h "$f" | grep -q '\.debug_' || fail "$(basename "$f") is not stripped"
done
! grep -q -e '!\[' -e '](' -e '^```' "$folder/README-Windows.txt" || fail "README-Windows.txt holds Markdown"
grep -q $'\r$' "$folder/README-Windows.txt" || fail "README-Windows.txt lacks Windows line ends"
grep -q 'kvctl ports' "$folder/README-Windows.txt" || fail "README-Windows.txt says nothing of kvctl"
licence="$(sed -n '/^License:/,$ { /^License:/d; s/^ //; p }' "$root/packaging/copyright" | head -1)"
grep -qF "$licence" "$folder/LICENSE.txt" || fail "LICENSE.txt lacks the licence text"
! grep -q 'debian.org\|^Files:' "$folder/LICENSE.txt" || fail "LICENSE.txt is the Debian copyright file"

# Installed again over itself: the same files, the PATH entry once.
"${run[@]}" "$installer" /S /PATH || fail "the second install exited with $?"
[ "$(path_value)" = "$after" ] || fail "a second install changed PATH: $(path_value)"
[ "$(entry DisplayVersion)" = "$version" ] || fail "the second install lost its entry"

# The uninstaller copies itself away and runs from there: wait for it.
"${run[@]}" "C:\\Program Files\\KV-770 Tool\\uninstall.exe" /S || fail "the uninstaller exited with $?"
for _ in $(seq 150); do [ -e "$folder" ] || break; sleep 0.2; done
[ ! -e "$folder" ] || fail "left behind: $(ls -A "$folder" | tr '\n' ' ')"
[ ! -e "$menu" ] || fail "the Start-menu folder is still there"
[ "$(path_value)" = "$before" ] || fail "PATH was not put back: $(path_value) (was $before)"
! "${run[@]}" reg query "$uninstall_key" >/dev/null 2>&1 || fail "the uninstall entry is still there"
echo "installer_wine_test: PASS (silent install with PATH, its entry, stripped programs, plain readme and licence, shortcuts, kvctl.exe runs; installed again over itself; silent uninstall removes all)"
