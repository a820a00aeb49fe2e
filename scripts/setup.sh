#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs to build, test, package
# and run. Works as root or as a normal user with sudo; does nothing when all
# are present. apt's own output is shown, so a first run (some hundred MB to
# download) shows what it is doing.
set -euo pipefail
packages=(
  # build
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl1-mesa-dev libudev-dev
  # tests: GoogleTest, benchmarks, the lrzsz interop test, fonts for the
  # offscreen GUI tests and the window plugins (offscreen, xcb)
  libgtest-dev libgmock-dev libbenchmark-dev lrzsz fonts-dejavu-core qt6-qpa-plugins
  # sanitizer and fuzz builds (clang with its runtime libraries); style and
  # lint (scripts/check-style.sh)
  clang libclang-rt-14-dev clang-format clang-tidy
  # the Debian packages: library dependencies (dpkg-shlibdeps needs file)
  # and their check
  dpkg-dev file lintian
  # kvtool on a virtual display
  xvfb xauth
  # a window manager for the drawing checks of dialogs under one
  openbox
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
    echo "setup.sh: missing packages (${missing[*]}); run this as root or install sudo" >&2
    exit 1
  fi
  SUDO=(sudo)
fi
echo "setup.sh: installing ${missing[*]}"
"${SUDO[@]}" apt-get update
# Waits for another apt or dpkg (an unattended upgrade at boot) to finish.
"${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -o DPkg::Lock::Timeout=600 "${missing[@]}"
