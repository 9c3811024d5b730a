#!/usr/bin/env python3
"""Draws the page's icon, a waveform on a rounded square, as icon.svg and as
the PNGs an installed app needs (icon-192.png, icon-512.png), from the one
list of shapes below, into DIR (default: this folder).

Usage: make_icons.py [DIR]"""
import os
import struct
import sys
import zlib

# On a 512 square: (x, y, width, height, corner radius, colour).
BACKGROUND = (0, 0, 512, 512, 96, (0x1F, 0x5F, 0xA8))
BARS = [(x, 256 - h // 2, 40, h, 20, (0xFF, 0xFF, 0xFF))
        for x, h in zip(range(92, 381, 72), (120, 248, 344, 200, 96))]
SHAPES = [BACKGROUND] + BARS


def svg():
    rects = "".join(
        f'<rect x="{x}" y="{y}" width="{w}" height="{h}" rx="{r}" fill="#{c[0]:02x}{c[1]:02x}{c[2]:02x}"/>'
        for x, y, w, h, r, c in SHAPES)
    return f'<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 512 512">{rects}</svg>\n'


def inside(px, py, shape):
    x, y, w, h, r, _ = shape
    dx = max(x + r - px, 0, px - (x + w - r))
    dy = max(y + r - py, 0, py - (y + h - r))
    return dx * dx + dy * dy <= r * r and x <= px <= x + w and y <= py <= y + h


def png(size, samples=4):
    scale = 512 / size
    rows = []
    for j in range(size):
        row = bytearray([0])
        for i in range(size):
            rgba = [0, 0, 0, 0]
            for sj in range(samples):
                for si in range(samples):
                    px, py = (i + (si + 0.5) / samples) * scale, (j + (sj + 0.5) / samples) * scale
                    hit = next((s for s in reversed(SHAPES) if inside(px, py, s)), None)
                    if hit:
                        rgba = [a + b for a, b in zip(rgba, hit[5] + (255,))]
            n = samples * samples
            alpha = rgba[3] / n
            row += bytes([round(c / n * 255 / alpha) if alpha else 0 for c in rgba[:3]] + [round(alpha)])
        rows.append(bytes(row))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))


def main(folder):
    with open(os.path.join(folder, "icon.svg"), "w") as f:
        f.write(svg())
    for size in (192, 512):
        with open(os.path.join(folder, f"icon-{size}.png"), "wb") as f:
            f.write(png(size))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__)))
