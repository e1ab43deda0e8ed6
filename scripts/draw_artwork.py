#!/usr/bin/env python3
"""Draws the window's application icon and banner as PNG files (standard library only).

Usage: scripts/draw_artwork.py OUTPUT_DIR
The icon is a small Data Matrix-like tile; the banner a blue gradient with a row of tiles.
"""
import os
import struct
import sys
import zlib


def write_png(path, width, height, pixels):
    """pixels: list of rows, each a list of (r, g, b, a)."""
    raw = bytearray()
    for row in pixels:
        raw.append(0)
        for r, g, b, a in row:
            raw += bytes((r, g, b, a))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def tile(side, seed):
    """A side x side module pattern: solid L on the left and bottom, alternating top and right
    edges, pseudo-random inside (1 = dark)."""
    state = seed
    grid = []
    for r in range(side):
        row = []
        for c in range(side):
            if c == 0 or r == side - 1:
                v = 1
            elif r == 0:
                v = 1 if c % 2 == 0 else 0
            elif c == side - 1:
                v = 1 if r % 2 == 1 else 0
            else:
                state = (state * 1103515245 + 12345) & 0x7FFFFFFF
                v = (state >> 16) & 1
            row.append(v)
        grid.append(row)
    return grid


def draw_icon(path):
    size, side, module = 64, 12, 4
    grid = tile(side, 7)
    margin = (size - side * module) // 2
    pixels = []
    for y in range(size):
        row = []
        for x in range(size):
            # Rounded blue plate with a white field for the symbol.
            inside = margin - 4 <= x < size - margin + 4 and margin - 4 <= y < size - margin + 4
            if not inside:
                row.append((30, 80, 160, 255))
                continue
            gx, gy = (x - margin) // module, (y - margin) // module
            if 0 <= gx < side and 0 <= gy < side and grid[gy][gx]:
                row.append((20, 20, 30, 255))
            else:
                row.append((255, 255, 255, 255))
        pixels.append(row)
    # Cut the plate's corners.
    for y in range(size):
        for x in range(size):
            dx = min(x, size - 1 - x)
            dy = min(y, size - 1 - y)
            if dx + dy < 5:
                pixels[y][x] = (0, 0, 0, 0)
    write_png(path, size, size, pixels)


def draw_banner(path):
    width, height = 873, 80
    module = 4
    tiles = [(width - 20 - (i + 1) * 64, 12, tile(14, 11 + i)) for i in range(5)]
    pixels = []
    for y in range(height):
        row = []
        for x in range(width):
            t = x / (width - 1)
            r = int(16 + 60 * t)
            g = int(48 + 110 * t)
            b = int(120 + 110 * t)
            # A thin light line along the bottom edge.
            if y >= height - 3:
                r, g, b = 230, 236, 245
            row.append((r, g, b, 255))
        pixels.append(row)
    for left, top, grid in tiles:
        side = len(grid)
        for gy in range(side):
            for gx in range(side):
                colour = (255, 255, 255, 255) if grid[gy][gx] else None
                if colour is None:
                    continue
                for y in range(top + gy * module, top + (gy + 1) * module - 1):
                    for x in range(left + gx * module, left + (gx + 1) * module - 1):
                        pixels[y][x] = colour
    write_png(path, width, height, pixels)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "resources")
    os.makedirs(out, exist_ok=True)
    draw_icon(os.path.join(out, "icon.png"))
    draw_banner(os.path.join(out, "banner.png"))


if __name__ == "__main__":
    main()
