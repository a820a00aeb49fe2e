#!/usr/bin/env python3
"""Fails when a source file includes a header against the layer order.

The layers, lowest first (each may include the ones below it, never above):
  platform   src/platform
  common     src/common
  engines    src/serial, src/settings, src/firmware (no engine includes another)
  dialogs    src/ui (the dialog layer), src/res, src/app
  programs   cli/ (kvctl), sim/ (kvsim: platform and common only)

Headers are named from src/ ("settings/settings_table.h"); a name without a
folder is a header of the including file's own folder. Only src/ui/qt may
include Qt. Prints file:line, the include and the rule it breaks; exit 1 on
any, 0 when the tree keeps the order. Usage: scripts/check-layers.py [ROOT]
"""
import os
import re
import sys

LAYERS = ["platform", "common", "serial", "settings", "firmware", "ui", "res", "app"]
ENGINE_BASE = {"platform", "common"}

# The folder of the including file (longest match first) and the src/
# folders its includes may name.
RULES = [
    ("src/platform", {"platform"}),
    ("src/common", ENGINE_BASE | {"common"}),
    ("src/serial", ENGINE_BASE | {"serial"}),
    ("src/settings", ENGINE_BASE | {"settings"}),
    ("src/firmware", ENGINE_BASE | {"firmware"}),
    ("src/ui", ENGINE_BASE | {"ui"}),
    ("src/res", ENGINE_BASE | {"serial", "settings", "firmware", "ui", "res"}),
    ("src/app", set(LAYERS)),
    ("cli", ENGINE_BASE | {"serial", "settings", "firmware"}),
    ("sim", ENGINE_BASE),
]

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def rule_text(folder, allowed):
    names = ", ".join(f"{name}/" for name in LAYERS if name in allowed)
    return f"{folder}/ may include {names} only"


def check_file(root, path, folder, allowed, findings):
    relative = os.path.relpath(path, root)
    qt_allowed = relative.startswith("src/ui/qt/")
    with open(path, encoding="utf-8", errors="replace") as source:
        for number, text in enumerate(source, 1):
            match = INCLUDE.match(text)
            if not match:
                continue
            bracket, name = match.groups()
            where = f"{relative}:{number}: {text.strip()}"
            if bracket == "<":
                if not qt_allowed and re.match(r"Q[A-Za-z]*(/|$)", name):
                    findings.append(f"{where}\n    breaks: only src/ui/qt/ may include Qt")
                continue
            if name.startswith("../") or "/../" in name:
                findings.append(f"{where}\n    breaks: headers are named from src/, never by climbing out of a folder")
                continue
            top = name.split("/", 1)[0] if "/" in name else None
            if top in LAYERS and top not in allowed:
                findings.append(f"{where}\n    breaks: {rule_text(folder, allowed)}")


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    findings = []
    checked = 0
    for folder, allowed in RULES:
        base = os.path.join(root, folder)
        for directory, _, files in os.walk(base):
            for name in sorted(files):
                if name.endswith((".cpp", ".h")):
                    check_file(root, os.path.join(directory, name), folder, allowed, findings)
                    checked += 1
    for finding in findings:
        print(finding)
    if findings:
        print(f"check-layers: {len(findings)} include(s) against the layer order in {checked} files")
        return 1
    print(f"check-layers: {checked} files keep the layer order")
    return 0


if __name__ == "__main__":
    sys.exit(main())
