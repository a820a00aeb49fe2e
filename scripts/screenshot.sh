#!/usr/bin/env bash
# Draws the README's picture: the main window connected to a simulated
# tracker, its IMEI on show (offscreen, no display needed).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh default
mkdir -p docs/images
build/default/tests/main_window_screenshot docs/images/main-window.png
echo "docs/images/main-window.png"
