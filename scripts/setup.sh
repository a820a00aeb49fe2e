#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs to build, test and run.
# Works as root or as a normal user with sudo; does nothing when all are present.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config clang
  qt6-base-dev qt6-base-dev-tools libgl1-mesa-dev
  libudev-dev libgtest-dev libgmock-dev libbenchmark-dev
  lrzsz xvfb xauth fonts-dejavu-core dpkg-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
