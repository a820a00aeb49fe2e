#!/usr/bin/env bash
# Installs the Debian 12 packages the Windows build needs on top of setup.sh:
# the mingw-w64 cross compiler (POSIX threads), Wine to run the programs and
# tests, NSIS for the installer, and the fonts Wine's dialogs need. Works as
# root or as a normal user with sudo; does nothing when all are present.
set -euo pipefail
packages=(
  # cross build (the posix variant: std::thread and std::mutex need it)
  g++-mingw-w64-x86-64-posix
  # running the programs and tests (64-bit only; a 32-bit prefix is not used)
  wine wine64
  # Tahoma and Marlett for readable dialogs and message boxes
  fonts-wine
  # the installer
  nsis
  # kvtool.exe's screenshots: a virtual display, driving it, saving the picture
  xvfb xdotool x11-apps netpbm
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
SUDO=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "setup-windows.sh: missing packages (${missing[*]}); run this as root or install sudo" >&2
    exit 1
  fi
  SUDO=(sudo)
fi
echo "setup-windows.sh: installing ${missing[*]}"
"${SUDO[@]}" apt-get update
# Waits for another apt or dpkg (an unattended upgrade at boot) to finish.
"${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
  -o DPkg::Lock::Timeout=600 "${missing[@]}"
