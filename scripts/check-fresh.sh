#!/usr/bin/env bash
# Checks the README's two commands on a fresh Debian 12 as a new user would:
# makes a minimal bookworm root with debootstrap (sudo, git and
# ca-certificates only; the Debian apt source this machine is configured
# with), creates a normal user with sudo there, clones this repository's main
# branch into the user's home and runs, as that user, scripts/run.sh (without
# a display: kvctl probes the simulated tracker) and then scripts/test.sh.
# Prints each command's result and time, the test count and what apt
# downloaded and installed.
#
# Not part of .ci/run: it takes tens of minutes and needs the Debian mirror.
# Run it before closing any change to the set-up and note its result in the
# README.
#
# Usage: scripts/check-fresh.sh [--ref REF] [--keep] [--dir DIR]
#   --ref REF  clone REF (a branch or commit of this repository) as main
#              instead of main itself, to check a change before it lands
#   --keep     leave the fresh root in place afterwards (for a look inside)
#   --dir DIR  make the fresh root in DIR (default: a new folder in /var/tmp)
# Needs root (re-runs itself with sudo); installs debootstrap when missing.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
ref=main
keep=0
root=""
while [ $# -gt 0 ]; do
  case "$1" in
    --ref) ref="$2"; shift 2 ;;
    --keep) keep=1; shift ;;
    --dir) root="$2"; shift 2 ;;
    *) echo "usage: $0 [--ref REF] [--keep] [--dir DIR]" >&2; exit 2 ;;
  esac
done
if [ "$(id -u)" -ne 0 ]; then
  exec sudo "$0" --ref "$ref" $([ $keep -eq 1 ] && echo --keep) ${root:+--dir "$root"}
fi
commit="$(git -C "$repo" rev-parse --verify "$ref^{commit}")"
user=kvuser
start=$(date +%s)
stamp() { echo "[check-fresh $(date +%H:%M:%S), $(( $(date +%s) - start )) s] $*"; }

if ! command -v debootstrap >/dev/null; then
  stamp "installing debootstrap"
  apt-get install -y debootstrap
fi

# The host's Debian source for bookworm: the files that name it, and the
# mirror of its first entry for debootstrap itself.
sources=()
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] && grep -q '^[^#]*bookworm' "$f" && sources+=("$f")
done
[ ${#sources[@]} -gt 0 ] || { echo "check-fresh: no bookworm apt source configured here" >&2; exit 1; }
mirror="$(grep -h -m1 -oE '^(URIs:|deb) +(\[[^]]*\] +)?[a-z]+://[^ ]+' "${sources[@]}" | head -n1 | awk '{print $NF}')"
[ -n "$mirror" ] || { echo "check-fresh: cannot read the mirror from ${sources[*]}" >&2; exit 1; }

# The root is removed at the end, so a given folder must be new or empty.
if [ -n "$root" ]; then
  if [ -e "$root" ] && [ -n "$(ls -A "$root" 2>/dev/null)" ]; then
    echo "check-fresh: $root is not empty; give a new folder" >&2
    exit 2
  fi
  mkdir -p "$root"
else
  root="$(mktemp -d /var/tmp/kv770-fresh.XXXXXX)"
fi
# mktemp makes the folder 0700; as the new root's / it must let the user in.
chmod 0755 "$root"
root="$(realpath "$root")"
log="$root.log"
mounted=()
cleanup() {
  local status=$?
  # Processes left inside the root (a hung test) would keep the mounts busy.
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ] && kill -9 "${p#/proc/}" 2>/dev/null || true
  done
  for (( i=${#mounted[@]}-1; i>=0; i-- )); do umount -R "${mounted[$i]}" 2>/dev/null || umount -l "${mounted[$i]}" || true; done
  if [ $keep -eq 0 ]; then rm -rf --one-file-system "$root"; else echo "fresh root kept in $root"; fi
  exit $status
}
trap cleanup EXIT
trap 'exit 130' INT TERM

stamp "debootstrap bookworm from $mirror into $root"
debootstrap --variant=minbase --include=sudo,git,ca-certificates bookworm "$root" "$mirror" \
  >"$root.debootstrap.log" 2>&1 || { tail -n 30 "$root.debootstrap.log"; exit 1; }
rm -f "$root"/etc/apt/sources.list
mkdir -p "$root/etc/apt/sources.list.d"
for f in "${sources[@]}"; do
  case "$f" in
    */sources.list) cp "$f" "$root/etc/apt/sources.list" ;;
    *) cp "$f" "$root/etc/apt/sources.list.d/" ;;
  esac
done
# How this machine's apt treats the source's dates (a frozen mirror's
# Release files may be past their Valid-Until).
grep -hE '^[[:space:]]*Acquire::Check-(Valid-Until|Date)' /etc/apt/apt.conf.d/* \
  > "$root/etc/apt/apt.conf.d/90host-source" 2>/dev/null || true
cp /etc/resolv.conf "$root/etc/resolv.conf"
echo "127.0.1.1 $(hostname)" >> "$root/etc/hosts"

for m in proc sys dev; do
  case "$m" in
    proc) mount -t proc proc "$root/proc" ;;
    sys) mount -t sysfs sys "$root/sys" ;;
    dev) mount --rbind /dev "$root/dev"; mount --make-rslave "$root/dev" ;;  # with /dev/pts
  esac
  mounted+=("$root/$m")
done

stamp "user $user with sudo; cloning $ref ($commit) as main"
chroot "$root" useradd -m -s /bin/bash -G sudo "$user"
echo "$user ALL=(ALL) NOPASSWD:ALL" > "$root/etc/sudoers.d/$user"
chmod 0440 "$root/etc/sudoers.d/$user"
git init -q --bare "$root/srv/kv770-tool.git"
git -C "$repo" push -q "$root/srv/kv770-tool.git" "$commit:refs/heads/main"
git -C "$root/srv/kv770-tool.git" symbolic-ref HEAD refs/heads/main
chroot "$root" chown -R "$user:$user" /srv/kv770-tool.git
as_user() {
  chroot "$root" /usr/sbin/runuser -l "$user" -c "$1"
}
as_user "git clone -q /srv/kv770-tool.git kv770-tool"

: > "$log"
run_step() {  # name, command: runs it as the user, logs and times it
  local t0=$(date +%s) rc=0
  stamp "$1 as $user"
  as_user "cd kv770-tool && $2" 2>&1 | tee -a "$log" || rc=$?
  times+=("$1: exit $rc after $(( $(date +%s) - t0 )) s")
  return $rc
}
times=()
status=0
run_step "scripts/run.sh" "scripts/run.sh" || status=1
run_step "scripts/test.sh" "scripts/test.sh" || status=1

echo
echo "=== check-fresh: Debian 12 (debootstrap minbase + sudo, git, ca-certificates), user $user with sudo"
echo "cloned: $ref = $commit, as main"
for t in "${times[@]}"; do echo "$t"; done
grep -E '^(Need to get|After this operation)' "$log" | head -n 2 || true
grep -E 'tests passed|tests failed out of' "$log" | tail -n 1 || echo "no test summary"
echo "log: $log"
if [ $status -eq 0 ]; then stamp "PASS"; else stamp "FAIL"; fi
exit $status
