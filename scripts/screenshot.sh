#!/usr/bin/env bash
# Draws the README's pictures: the main window connected to a simulated
# tracker with its IMEI on show, and the Device Setting dialog in the basic
# and the extended layout (offscreen, no display needed).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh default
mkdir -p docs/images
build/default/tests/main_window_screenshot docs/images/main-window.png
build/default/tests/device_setting_screenshot docs/images/device-setting-basic.png \
  docs/images/device-setting-extended.png
echo "docs/images/main-window.png docs/images/device-setting-basic.png docs/images/device-setting-extended.png"
