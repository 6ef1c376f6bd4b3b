#!/usr/bin/env python3
"""Draws the Vellutor logo (a drop falling into rippling water) and writes
resources/logo.bmp (100 x 100, 8 bits per pixel with a colour table) and
resources/vellutor.ico (16, 32 and 48 pixels, 32 bits per pixel)."""
import math
import os
import struct

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def palette():
    # Deep blue through teal to a pale, almost white crest.
    stops = [(0, (12, 20, 60)), (110, (20, 90, 150)), (190, (60, 180, 200)), (255, (235, 250, 255))]
    colours = []
    for i in range(256):
        for (a, ca), (b, cb) in zip(stops, stops[1:]):
            if a <= i <= b:
                t = (i - a) / (b - a)
                colours.append(tuple(round(ca[k] + (cb[k] - ca[k]) * t) for k in range(3)))
                break
    return colours


def shade(x, y, size):
    """Brightness 0..1 of the logo at (x, y), y growing downwards."""
    s = size / 100.0
    cx, cy = 50 * s, 62 * s
    dx, dy = (x - cx) / s, (y - cy) / s * 2.2  # rings seen at a slant
    r = math.hypot(dx, dy)
    water = 0.25 + 0.2 * (1 - y / size)
    water += 0.35 * math.cos(r / 3.2) * math.exp(-r / 28)  # rings fading outwards
    # The drop: a round body with a pointed top.
    ddx, ddy = (x - 50 * s) / s, (y - 26 * s) / s
    body = math.hypot(ddx, ddy - 6) < 9
    tip = -14 < ddy < -2 and abs(ddx) < (ddy + 14) * 0.55
    if body or tip:
        water = 0.75 + 0.25 * max(0.0, -(ddx + ddy) / 14)
    return min(1.0, max(0.0, water))


def write_logo(path, size=100):
    pal = palette()
    row_bytes = (size + 3) & ~3
    pixels = bytearray()
    for y in range(size - 1, -1, -1):  # bottom-up rows
        row = bytes(round(shade(x + 0.5, y + 0.5, size) * 255) for x in range(size))
        pixels += row + b"\0" * (row_bytes - size)
    colour_table = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in pal)
    offset = 14 + 40 + len(colour_table)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, size, size, 1, 8, 0, len(pixels), 2835, 2835, 256, 0)
    with open(path, "wb") as f:
        f.write(header + info + colour_table + pixels)


def icon_image(size):
    pal = palette()
    xor = bytearray()
    for y in range(size - 1, -1, -1):
        for x in range(size):
            r, g, b = pal[round(shade(x + 0.5, y + 0.5, size) * 255)]
            # Round corners: transparent outside a circle of the icon's size.
            inside = math.hypot(x + 0.5 - size / 2, y + 0.5 - size / 2) <= size / 2
            xor += struct.pack("<BBBB", b, g, r, 255 if inside else 0)
    mask_row = ((size + 31) // 32) * 4
    and_mask = bytes(mask_row * size)
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    return info + bytes(xor) + and_mask


def write_icon(path, sizes=(16, 32, 48)):
    images = [icon_image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, img in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    write_logo(os.path.join(ROOT, "resources", "logo.bmp"))
    write_icon(os.path.join(ROOT, "resources", "vellutor.ico"))
