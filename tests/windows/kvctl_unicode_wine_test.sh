#!/usr/bin/env bash
# kvctl.exe under Wine with files and folders named in Latin with accents,
# Greek and Chinese, against the Linux simulated tracker on COM7:
#   - set (its backup and audit log in such a folder), get -o (and get to a
#     redirected standard output, the same bytes), restore, update;
#   - backups in a folder given in the long-path form (\\?\Z:\...);
#   - the default backup folder and audit log under a %LOCALAPPDATA% of an
#     account whose name is in all three scripts, and under the known folder
#     (%LOCALAPPDATA% unset, the folder moved in the registry);
#   - --help in Windows terms, none of Linux's;
#   - on a console (Wine's, on a pseudo-terminal): a Greek file name and the
#     "…" of a notice shown as themselves, not as code page 437 letters.
#   tests/windows/kvctl_unicode_wine_test.sh LINUX_BUILD KVCTL_EXE
set -euo pipefail
linux="$(cd "$1" && pwd)"
kvctl_exe="$(cd "$(dirname "$2")" && pwd)/$(basename "$2")"
root="$(cd "$(dirname "$0")/../.." && pwd)"
prefix="$root/build/windows/wine-prefix"
export LC_ALL=C.UTF-8
work="$(mktemp -d "${TMPDIR:-/tmp}/kvctl-unicode.XXXXXX")"
sim=""
shell_folders='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders'
cleanup() {
  [ -n "$sim" ] && kill "$sim" 2>/dev/null || true
  if [ -n "${moved_known_folder:-}" ]; then
    "$root/scripts/wine-run.sh" "$prefix" reg add "$shell_folders" /v "Local AppData" /t REG_EXPAND_SZ \
      /d '%USERPROFILE%\AppData\Local' /f >/dev/null 2>&1 || true
  fi
  rm -f "$prefix/dosdevices/com7"
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "kvctl_unicode_wine_test: FAIL: $*"; failures=$((failures + 1)); }
kvctl() { (cd "$work" && "$root/scripts/wine-run.sh" "$prefix" "$kvctl_exe" "$@"); }
# The Windows path of a file under $work.
winpath() { printf 'Z:%s' "$work/$1" | tr / '\\'; }

"$linux/kvsim" --quiet >"$work/sim.out" 2>"$work/sim.err" &
sim=$!
for _ in $(seq 100); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
mkdir -p "$prefix/dosdevices"
ln -sfn "$(head -1 "$work/sim.out")" "$prefix/dosdevices/com7"

box='[KV DEVICE SETTING]\r\nDEVICE=Van 7\r\n[MESSAGE 1]\r\nCheck return number=1\r\nPark time=30\r\nUser name=Unit7\r\nSet time zone=+8.00\r\nReport mode=8\r\n[MESSAGE 2]\r\nSOS number1=5550101\r\n[MESSAGE 4]\r\nGPRS server address=192.0.2.10\r\n'

# The store filled first, so that every backup below is whole and restorable.
printf "$box" >"$work/box.ini"
kvctl set COM7 box.ini --no-backup --no-log >"$work/fill.out" 2>&1 || fail "set COM7 box.ini: $(tail -3 "$work/fill.out")"

for name in José Ελληνικά 中文; do
  mkdir -p "$work/$name"
  printf "$box" >"$work/$name/$name.ini"
  if ! kvctl set COM7 "$name/$name.ini" --backup-dir "$name/backups" --log "$name/audit.jsonl" \
      >"$work/set.out" 2>&1; then
    fail "set COM7 $name/$name.ini: $(tail -3 "$work/set.out")"
  fi
  ls "$work/$name/backups/"*.ini >/dev/null 2>&1 || fail "set: no backup in $name/backups"
  grep -q '"verdict"' "$work/$name/audit.jsonl" 2>/dev/null || fail "set: no audit line in $name/audit.jsonl"
  if ! kvctl get COM7 -o "$name/$name-out.ini" >"$work/get.out" 2>&1; then
    fail "get COM7 -o $name/$name-out.ini: $(tail -3 "$work/get.out")"
  fi
  grep -q 'Park time=30' "$work/$name/$name-out.ini" 2>/dev/null || fail "get -o: $name/$name-out.ini not written"
  # Redirected standard output gets the same bytes as -o (no CR added to CRLF).
  kvctl get COM7 >"$work/$name/$name-stdout.ini" 2>/dev/null || fail "get COM7 > $name/$name-stdout.ini"
  cmp -s "$work/$name/$name-out.ini" "$work/$name/$name-stdout.ini" ||
    fail "get COM7 > FILE differs from get -o FILE: $(od -c "$work/$name/$name-stdout.ini" | head -2 | tr '\n' ' ')"
  if ! kvctl restore COM7 --backup-dir "$name/backups" --no-log >"$work/restore.out" 2>&1; then
    fail "restore COM7 --backup-dir $name/backups: $(tail -3 "$work/restore.out")"
  fi
  # An absolute Windows path too (the drive, backslashes).
  if ! kvctl get COM7 -o "$(winpath "$name/$name-abs.ini")" >"$work/get.out" 2>&1 ||
     ! grep -q 'Park time=30' "$work/$name/$name-abs.ini" 2>/dev/null; then
    fail "get COM7 -o $(winpath "$name/$name-abs.ini"): $(tail -3 "$work/get.out")"
  fi
done

# Backups in a folder given in the long-path form ("\\?\Z:\..."), which
# takes no "/" inside it and is how a folder past 260 characters is named.
if ! kvctl set COM7 box.ini --no-log --backup-dir "\\\\?\\$(winpath "José/long form")" >"$work/long.out" 2>&1; then
  fail "set with --backup-dir \\\\?\\...: $(tail -2 "$work/long.out")"
fi
ls "$work/José/long form/"*.ini >/dev/null 2>&1 || fail "set: no backup in the long-path form's folder"
if ! kvctl restore COM7 --no-log --backup-dir "\\\\?\\$(winpath "José/long form")" >"$work/long.out" 2>&1; then
  fail "restore with --backup-dir \\\\?\\...: $(tail -2 "$work/long.out")"
fi

# A firmware image named in Chinese, in the Greek folder: read, hashed for
# the audit log and sent whole.
python3 -c 'import sys; sys.stdout.buffer.write(bytes((i * 7) % 256 for i in range(4096)))' >"$work/Ελληνικά/固件.bin"
if ! kvctl update COM7 "Ελληνικά/固件.bin" --log "Ελληνικά/update.jsonl" >"$work/update.out" 2>&1; then
  fail "update COM7 Ελληνικά/固件.bin: $(tail -3 "$work/update.out")"
fi
grep -q "$(sha256sum <"$work/Ελληνικά/固件.bin" | cut -d' ' -f1)" "$work/Ελληνικά/update.jsonl" 2>/dev/null ||
  fail "update: the audit line lacks the image's SHA-256"

# The default folders, under the local application data of an account named
# in three scripts (set for kvctl by cmd, which passes it on in UTF-16).
account="Zoë Ελληνικά 中文"
mkdir -p "$work/$account/AppData/Local"
local_app_data="$(winpath "$account/AppData/Local")"
printf "$box" >"$work/box.ini"
# (cmd takes no quotes from Wine's command line: the build's path has no blanks.)
winexe="Z:$(printf '%s' "$kvctl_exe" | tr / '\\')"
if ! (cd "$work" && "$root/scripts/wine-run.sh" "$prefix" cmd /c \
      "set LOCALAPPDATA=$local_app_data&& $winexe set COM7 box.ini") >"$work/default.out" 2>&1; then
  fail "set with the default backup folder: $(tail -3 "$work/default.out")"
fi
ls "$work/$account/AppData/Local/kv770/backups/"*.ini >/dev/null 2>&1 ||
  fail "no backup in the default folder %LOCALAPPDATA%\\kv770\\backups ($(tail -3 "$work/default.out"))"
grep -q '"verdict"' "$work/$account/AppData/Local/kv770/audit.jsonl" 2>/dev/null ||
  fail "no audit line in the default %LOCALAPPDATA%\\kv770\\audit.jsonl"

# Without %LOCALAPPDATA%, the known folder itself (SHGetKnownFolderPath),
# moved for this run to a folder named in Greek and Chinese.
mkdir -p "$work/Ελληνικά 中文/Local"
moved_known_folder=1
"$root/scripts/wine-run.sh" "$prefix" reg add "$shell_folders" /v "Local AppData" /t REG_EXPAND_SZ \
  /d "$(winpath "Ελληνικά 中文/Local")" /f >/dev/null 2>&1
if ! (cd "$work" && "$root/scripts/wine-run.sh" "$prefix" cmd /c "set LOCALAPPDATA=&& $winexe set COM7 box.ini") \
    >"$work/known.out" 2>&1; then
  fail "set with the known folder: $(tail -3 "$work/known.out")"
fi
"$root/scripts/wine-run.sh" "$prefix" reg add "$shell_folders" /v "Local AppData" /t REG_EXPAND_SZ \
  /d '%USERPROFILE%\AppData\Local' /f >/dev/null 2>&1
moved_known_folder=""
ls "$work/Ελληνικά 中文/Local/kv770/backups/"*.ini >/dev/null 2>&1 ||
  fail "no backup in the known folder's kv770\\backups ($(tail -2 "$work/known.out"))"

# --help in Windows terms.
kvctl --help >"$work/help.out" 2>&1 || fail "--help exited non-zero"
for term in COM5 '%LOCALAPPDATA%\kv770' Ctrl-Break 'console window'; do
  grep -qF "$term" "$work/help.out" || fail "--help does not speak of $term"
done
for term in ttyUSB0 /dev/ '~/.local' SIGTERM SIGHUP XDG_; do
  ! grep -qF "$term" "$work/help.out" || fail "--help speaks of $term"
done
kvctl set --help >"$work/set-help.out" 2>&1
! grep -qF /dev/ "$work/set-help.out" || fail "set --help speaks of /dev/"

# On a console: the program's text as characters, in any code page.
on_console() {  # prints what the console showed, without its cursor codes
  (cd "$work" && script -qec "$root/scripts/wine-run.sh '$prefix' '$kvctl_exe' $*" /dev/null </dev/null) 2>&1 |
    sed -e 's/\x1b\[K\x1b\[1C/ /g' -e 's/\x1b\[[0-9;?]*[A-Za-z]//g' -e 's/\r//g'
}
on_console set COM7 Ελληνικά/missing.ini >"$work/console1.out" || true
grep -q 'Ελληνικά/missing.ini' "$work/console1.out" ||
  fail "the console did not show the Greek file name: $(grep -a missing "$work/console1.out" | head -2)"
on_console probe COM7 >"$work/console2.out" || true
grep -q 'COM7…' "$work/console2.out" || fail "the console did not show the notice's …: $(grep -a Connecting "$work/console2.out" | head -1)"
grep -q 'ΓÇª' "$work/console2.out" && fail "the console showed … as code page 437 letters (ΓÇª)"

[ "$failures" -eq 0 ] || { echo "kvctl_unicode_wine_test: $failures failures"; exit 1; }
echo "kvctl_unicode_wine_test: PASS (set, get -o, restore, update in José, Ελληνικά, 中文; the default folder of account \"$account\"; --help; console text)"
