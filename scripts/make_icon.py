#!/usr/bin/env python3
"""Draws the tool's icon (a small tracker with an antenna and a location mark)
and writes it as src/res/kvtool_icon.png plus src/res/app_icon_png.cpp, the
same bytes as a C array that the program embeds, and src/res/kvtool.ico, the
Windows programs' icon resource in the sizes Windows asks for (16 to 256
pixels, drawn at each size). Needs only the standard library; run it again
after changing the drawing."""
import math
import os
import struct
import zlib

SIZE = 64
SS = 4  # supersampling per axis

def inside_round_rect(x, y, x0, y0, x1, y1, r):
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r

def inside_pin(x, y, cx, cy, r):
    # A map pin: a circle with a point below it.
    if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
        return True
    tip = cy + 2.2 * r
    if cy <= y <= tip:
        half = r * (tip - y) / (tip - cy) * 0.9
        return abs(x - cx) <= half
    return False

def colour_at(x, y):
    # Antenna.
    if 43 <= x <= 47 and 4 <= y <= 18:
        return (60, 64, 72, 255)
    if (x - 45) ** 2 + (y - 5) ** 2 <= 9:
        return (220, 60, 50, 255)
    # Body with a darker rim.
    if inside_round_rect(x, y, 10, 14, 54, 60, 9):
        if not inside_round_rect(x, y, 12.5, 16.5, 51.5, 57.5, 7):
            return (22, 58, 110, 255)
        # Screen.
        if inside_round_rect(x, y, 17, 21, 47, 45, 3):
            if inside_pin(x, y, 32, 29, 5.5):
                if (x - 32) ** 2 + (y - 29) ** 2 <= 4.5:
                    return (255, 255, 255, 255)
                return (226, 72, 56, 255)
            # Faint grid, a map.
            if int(x) % 6 == 0 or int(y) % 6 == 0:
                return (196, 226, 208, 255)
            return (214, 240, 222, 255)
        # Two buttons.
        if (x - 25) ** 2 + (y - 51) ** 2 <= 9 or (x - 39) ** 2 + (y - 51) ** 2 <= 9:
            return (236, 240, 246, 255)
        return (44, 98, 170, 255)
    return (0, 0, 0, 0)

ICO_SIZES = (16, 24, 32, 48, 64, 256)

def render(size=SIZE):
    # The drawing is in 64-pixel units; other sizes sample it scaled.
    scale = SIZE / size
    rows = []
    for py in range(size):
        row = bytearray([0])  # PNG filter type: none
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(SS):
                for sx in range(SS):
                    c = colour_at((px + (sx + 0.5) / SS) * scale, (py + (sy + 0.5) / SS) * scale)
                    a = c[3]
                    acc[0] += c[0] * a
                    acc[1] += c[1] * a
                    acc[2] += c[2] * a
                    acc[3] += a
            n = SS * SS
            alpha = acc[3] / n
            if acc[3]:
                rgb = [round(acc[i] / acc[3]) for i in range(3)]
            else:
                rgb = [0, 0, 0]
            row += bytes(rgb + [round(alpha)])
        rows.append(bytes(row))
    return b"".join(rows)

def png(raw, size=SIZE):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))

def dib(raw, size):
    # A 32-bit BGRA bitmap as an icon holds it: bottom-up rows, the height
    # doubled for the (here all-zero) AND mask that follows.
    stride = 1 + size * 4
    pixels = bytearray()
    for py in reversed(range(size)):
        row = raw[py * stride + 1:(py + 1) * stride]
        for px in range(size):
            r, g, b, a = row[px * 4:px * 4 + 4]
            pixels += bytes((b, g, r, a))
    mask = bytes(((size + 31) // 32) * 4 * size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    return header + bytes(pixels) + mask

def ico():
    # Bitmaps for the small sizes (every Windows shell reads them), PNG for 256.
    images = []
    for size in ICO_SIZES:
        raw = render(size)
        images.append((size, png(raw, size) if size >= 256 else dib(raw, size)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)

def main():
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    data = png(render())
    with open(os.path.join(root, "src/res/kvtool_icon.png"), "wb") as f:
        f.write(data)
    with open(os.path.join(root, "src/res/kvtool.ico"), "wb") as f:
        f.write(ico())
    lines = []
    for i in range(0, len(data), 16):
        lines.append("    " + ", ".join("0x%02x" % b for b in data[i:i + 16]) + ",")
    with open(os.path.join(root, "src/res/app_icon_png.cpp"), "w") as f:
        f.write("// Generated by scripts/make_icon.py from its drawing; do not edit.\n")
        f.write("// The same bytes as src/res/kvtool_icon.png.\n")
        f.write('#include "res/app_icon.h"\n\n')
        f.write("namespace res {\n\n")
        f.write("const unsigned char kAppIconPng[] = {\n")
        f.write("\n".join(lines) + "\n};\n")
        f.write("const unsigned int kAppIconPngSize = sizeof kAppIconPng;\n\n")
        f.write("}  // namespace res\n")

if __name__ == "__main__":
    main()
