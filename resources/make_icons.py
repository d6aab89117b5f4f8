#!/usr/bin/env python3
"""Draws the two window icons: a lit candle on a night-blue disc (class icon) and a bolder,
outlined candle without background (small icon, shown at 16 pixels in captions).

Each .ico holds one 32x32 image, 24 bits per pixel, with its AND mask. Without an alpha channel
a pixel is either opaque or transparent, so shapes are supersampled and a pixel is kept when
more than half of it is covered.

Usage: python3 make_icons.py [output directory]   (default: this script's directory)
"""

import math
import os
import struct
import sys

SIZE = 32
SUB = 4  # subsamples per pixel along each axis


# ---- shapes: functions (x, y) -> bool, in pixel units, y pointing down ----


def ellipse(cx, cy, rx, ry):
    return lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def minus(a, b):
    return lambda x, y: a(x, y) and not b(x, y)


def flame(cx, tip_y, base_y, half_width, lean):
    """Teardrop: pointed tip, round bottom; the tip is pushed sideways by `lean`."""
    height = base_y - tip_y

    def inside(x, y):
        t = (y - tip_y) / height
        if t < 0.0 or t > 1.0:
            return False
        if t > 0.68:
            w = half_width * math.sqrt(max(0.0, 1.0 - ((t - 0.68) / 0.32) ** 2))
        else:
            w = half_width * (t / 0.68) ** 1.4
        centre = cx + lean * (1.0 - t) ** 2
        return abs(x - centre) <= w

    return inside


def grow(shape, r):
    """The shape widened by r in every direction (for outlines)."""
    offsets = [(0.0, 0.0)] + [
        (r * math.cos(a * math.pi / 8), r * math.sin(a * math.pi / 8)) for a in range(16)
    ]
    return lambda x, y: any(shape(x + dx, y + dy) for dx, dy in offsets)


# ---- paints: functions (x, y) -> (r, g, b) in 0..1 ----


def solid(hex_rgb):
    c = tuple(int(hex_rgb[i : i + 2], 16) / 255.0 for i in (0, 2, 4))
    return lambda x, y: c


def mix(a, b, t):
    t = min(1.0, max(0.0, t))
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def horizontal(x0, x1, left, right):
    lc, rc = solid(left)(0, 0), solid(right)(0, 0)
    return lambda x, y: mix(lc, rc, (x - x0) / (x1 - x0))


def night_sky(glow_x, glow_y):
    """Dark blue disc, warmed by the candle's glow around the flame."""
    edge, centre, warm = solid("0b1326")(0, 0), solid("24345e")(0, 0), solid("d9822b")(0, 0)

    def paint(x, y):
        base = mix(centre, edge, math.hypot(x - 16, y - 16) / 16.0)
        glow = max(0.0, 1.0 - math.hypot(x - glow_x, (y - glow_y) * 1.15) / 11.0)
        return mix(base, warm, 0.75 * glow**1.8)

    return paint


# ---- icons: lists of (shape, paint) layers, painted in order ----


def main_icon():
    body = union(rect(11.0, 14.0, 21.0, 26.5), ellipse(16.0, 14.0, 5.0, 1.6))
    drips = union(
        rect(11.0, 14.0, 12.6, 18.5),
        ellipse(11.8, 18.5, 0.8, 1.0),
        rect(18.4, 14.0, 19.8, 20.0),
        ellipse(19.1, 20.0, 0.7, 1.0),
    )
    outer = flame(16.0, 2.0, 12.0, 3.6, 0.9)
    return [
        (ellipse(16.0, 16.0, 15.6, 15.6), night_sky(16.0, 8.5)),
        # brass holder: a dish with a lip and a handle ring on the right
        (minus(ellipse(25.0, 26.0, 3.2, 2.4), ellipse(25.0, 26.0, 1.7, 1.1)), solid("9c6a1c")),
        (ellipse(16.0, 27.0, 10.0, 2.8), horizontal(6.0, 26.0, "f0c35a", "8a5a14")),
        (ellipse(16.0, 26.3, 8.0, 1.6), solid("5e3d0c")),
        (body, horizontal(11.0, 21.0, "fffaf0", "c9b58a")),
        (drips, horizontal(11.0, 21.0, "fffdf7", "e6d8b6")),
        (ellipse(16.0, 14.0, 3.9, 1.0), solid("e9dcbc")),
        # wick, bent a little as it burns
        (union(rect(15.6, 11.0, 16.4, 14.0), rect(16.0, 10.2, 16.8, 11.2)), solid("2a1a10")),
        (outer, solid("ff7a12")),
        (flame(16.1, 4.0, 11.6, 2.5, 0.6), solid("ffc83a")),
        (flame(16.2, 6.5, 11.0, 1.4, 0.3), solid("fff6c8")),
    ]


def small_icon():
    outline = solid("1e1208")
    body = rect(9.5, 17.0, 22.5, 29.0)
    outer = flame(16.0, 1.5, 14.5, 5.6, 1.2)
    wick = rect(15.0, 13.0, 17.0, 17.5)
    return [
        (grow(union(body, outer, wick), 1.6), outline),
        (body, horizontal(9.5, 22.5, "fff8ea", "d4bf90")),
        (rect(9.5, 17.0, 22.5, 18.8), solid("efe2c2")),
        (outer, solid("ff6a0a")),
        (flame(16.0, 5.0, 14.0, 3.6, 0.8), solid("ffbf1f")),
        (flame(16.1, 8.5, 13.5, 1.9, 0.4), solid("fff4bf")),
        (wick, outline),
    ]


def render(layers):
    """Returns rows top-down of ((r, g, b) bytes, opaque) per pixel."""
    rows = []
    for py in range(SIZE):
        row = []
        for px in range(SIZE):
            acc, covered = [0.0, 0.0, 0.0], 0
            for sy in range(SUB):
                for sx in range(SUB):
                    x = px + (sx + 0.5) / SUB
                    y = py + (sy + 0.5) / SUB
                    colour = None
                    for shape, paint in layers:
                        if shape(x, y):
                            colour = paint(x, y)
                    if colour is not None:
                        covered += 1
                        for i in range(3):
                            acc[i] += colour[i]
            if covered * 2 > SUB * SUB:
                rgb = tuple(round(255 * acc[i] / covered) for i in range(3))
                row.append((rgb, True))
            else:
                row.append(((0, 0, 0), False))
        rows.append(row)
    return rows


def ico_bytes(rows):
    """One-image .ico: BITMAPINFOHEADER, bottom-up BGR rows, then the 1-bit AND mask."""
    xor = bytearray()
    mask = bytearray()
    for row in reversed(rows):
        for (r, g, b), _ in row:
            xor += bytes((b, g, r))
        bits = 0
        for (_, opaque) in row:
            bits = (bits << 1) | (0 if opaque else 1)
        mask += struct.pack(">I", bits)  # 32 pixels: one big-endian DWORD, already aligned
    image_size = len(xor) + len(mask)
    header = struct.pack(
        "<IiiHHIIiiII", 40, SIZE, 2 * SIZE, 1, 24, 0, image_size, 0, 0, 0, 0
    )
    image = header + bytes(xor) + bytes(mask)
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 24, len(image), 6 + 16)
    return icondir + entry + image


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for name, layers in (("icon_main.ico", main_icon()), ("icon_small.ico", small_icon())):
        with open(os.path.join(out_dir, name), "wb") as f:
            f.write(ico_bytes(render(layers)))


if __name__ == "__main__":
    main()
