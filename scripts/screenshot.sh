#!/usr/bin/env bash
# Draws the README's pictures on a real X server (Xvfb, installed by
# scripts/setup.sh): the main window connected to a simulated tracker with its
# IMEI on show, the Device Setting dialog in the basic and the extended
# layout, the Scan COM Port dialog after a scan of three ports, and the Device
# Setting dialog's boxes after a pulled cable and for an Import it refuses.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh default
mkdir -p docs/images
tools=build/default/tests
draw() {
  "$tools/main_window_screenshot" docs/images/main-window.png
  "$tools/device_setting_screenshot" docs/images/device-setting-basic.png \
    docs/images/device-setting-extended.png
  "$tools/scan_dialog_screenshot" docs/images/scan-com-port.png
  "$tools/device_setting_boxes_screenshot" docs/images/pulled-cable-write.png docs/images/import-refused.png
}
export -f draw
export tools
xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24 -dpi 96" bash -c draw
echo "docs/images/main-window.png docs/images/device-setting-basic.png" \
  "docs/images/device-setting-extended.png docs/images/scan-com-port.png" \
  "docs/images/pulled-cable-write.png docs/images/import-refused.png"
