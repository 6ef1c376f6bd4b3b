#!/usr/bin/env python3
"""Draws the sample pictures that setup puts into the images folder, one or more in every
format the saver reads:

    sunset.bmp     a sunset over the sea: smooth sky, flat hills, a striped reflection
    balloons.gif   striped balloons on a plain sky, so that "cut of background" shows
    fractal.jpg    a fractal coastline in strong colours, full of fine detail
    rings.jpg      interfering rings: every colour channel changes everywhere
    window.emf     a stained-glass window drawn with pens and brushes

    make_samples.py OUT_DIR [--rc FILE --first-id N]

With --rc it also writes a resource script that embeds every picture (RCDATA, ids from N)
and names it in a string table under the same id, for the setup program.

Only the Python standard library and ImageMagick's /usr/bin/convert (for GIF and JPEG) are
used; every picture is computed here.
"""

import argparse
import colorsys
import math
import os
import struct
import subprocess
import sys

# ImageMagick itself; /usr/local/bin/convert may be another program.
CONVERT = "/usr/bin/convert"


def mix(a, b, t):
    return tuple(int(round(x + (y - x) * t)) for x, y in zip(a, b))


def ramp(stops, t):
    """Colour at t (0..1) along a list of (position, colour) stops."""
    t = min(max(t, 0.0), 1.0)
    for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
        if t <= p1:
            return mix(c0, c1, (t - p0) / (p1 - p0) if p1 > p0 else 0.0)
    return stops[-1][1]


# --- the pictures: each gives (width, height, rows of RGB tuples) ---------------------------

def sunset(width=640, height=480):
    sky = [(0.0, (28, 14, 84)), (0.45, (170, 40, 130)), (0.8, (250, 120, 50)),
           (1.0, (255, 200, 90))]
    horizon = int(height * 0.66)
    sun_x, sun_y, sun_r = int(width * 0.64), int(height * 0.52), height // 8
    far = (120, 40, 130)
    near = (40, 16, 70)
    sea = (16, 40, 120)
    glow = (255, 190, 60)
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            far_top = horizon - 60 - 40 * math.sin(x / 70.0) - 18 * math.sin(x / 23.0 + 1)
            near_top = horizon - 20 - 35 * math.sin(x / 110.0 + 2) - 8 * math.sin(x / 17.0)
            if y >= horizon:
                depth = (y - horizon) / (height - horizon)
                half = sun_r * (0.5 + 1.2 * depth)
                # Broken bands of light, as on small waves.
                on_band = math.sin(x * 0.11 + y * 0.9 + math.sin(y * 0.37) * 3) > -0.1
                if abs(x - sun_x) < half and on_band:
                    colour = mix(glow, sea, depth * 0.6)
                else:
                    colour = mix(sea, (4, 10, 40), depth)
            elif y >= near_top and x < width * 0.55 or y >= near_top + 25:
                colour = near
            elif y >= far_top:
                colour = far
            else:
                d = math.hypot(x - sun_x, y - sun_y)
                if d < sun_r:
                    colour = (255, 230, 80) if d < sun_r * 0.8 else (255, 170, 40)
                else:
                    colour = ramp(sky, y / horizon)
                    colour = mix(colour, (255, 150, 60), max(0.0, 1 - (d - sun_r) / 90) * 0.5)
            row.append(colour)
        rows.append(row)
    return width, height, rows


def balloons(width=800, height=600):
    background = (236, 242, 250)  # one flat colour: the top-left pixel is the background
    designs = [
        # centre x, centre y, radius, stripe colours
        (190, 200, 110, [(230, 30, 40), (250, 210, 20)]),
        (480, 150, 85, [(30, 60, 220), (20, 200, 220)]),
        (650, 330, 95, [(40, 170, 50), (255, 255, 255), (230, 30, 40)]),
        (380, 400, 70, [(200, 20, 200), (255, 140, 0)]),
    ]
    clouds = [(90, 470, 70, 24), (560, 520, 110, 28), (700, 80, 60, 18)]
    rows = [[background] * width for _ in range(height)]

    def plot(x, y, colour):
        if 0 <= x < width and 0 <= y < height:
            rows[y][x] = colour

    for cx, cy, rx, ry in clouds:
        for y in range(cy - ry, cy + ry):
            for x in range(cx - rx, cx + rx):
                if ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 < 1:
                    plot(x, y, (255, 255, 255))
    for cx, cy, r, colours in designs:
        basket_top = cy + int(r * 1.45)
        basket = 0.22 * r
        # Ropes from the envelope to the basket.
        for side in (-1, 1):
            x0, y0 = cx + side * int(r * 0.55), cy + int(r * 0.8)
            x1, y1 = cx + side * int(basket), basket_top
            for step in range(y1 - y0 + 1):
                plot(int(x0 + (x1 - x0) * step / max(1, y1 - y0)), y0 + step, (60, 40, 30))
        for y in range(basket_top, basket_top + int(r * 0.22)):
            for x in range(cx - int(basket), cx + int(basket)):
                plot(x, y, (130, 80, 30) if (x + y) % 6 else (90, 50, 20))
        # The envelope: a circle drawn out into a point below, in curved stripes.
        for y in range(cy - r, cy + int(r * 1.2)):
            dy = (y - cy) / r
            half = r * math.sqrt(max(0.0, 1 - dy * dy)) if dy < 0.55 else \
                r * math.sqrt(1 - 0.55 ** 2) * (1.2 - dy) / 0.65
            for x in range(cx - int(half), cx + int(half) + 1):
                u = (x - cx) / max(half, 1.0)
                stripe = int((math.asin(max(-1.0, min(1.0, u))) / math.pi + 0.5) * 8)
                colour = colours[stripe % len(colours)]
                shade = 0.75 + 0.25 * math.cos(u * 1.4)
                plot(x, y, mix((0, 0, 0), colour, shade))
    return width, height, rows


def fractal(width=640, height=480, limit=64):
    palette = [(0.0, (10, 20, 90)), (0.2, (0, 160, 220)), (0.4, (250, 250, 120)),
               (0.6, (240, 90, 10)), (0.8, (160, 0, 120)), (1.0, (10, 20, 90))]
    # A stretch of the Mandelbrot set's coast with branching filaments.
    cx, cy, span = -0.16, 1.0405, 0.026
    scale = span / width
    log2 = math.log(2)
    rows = []
    for py in range(height):
        row = []
        ci = cy + (py - height / 2) * scale
        for px in range(width):
            cr = cx + (px - width / 2) * scale
            zr = zi = 0.0
            n = 0
            while n < limit:
                zr2, zi2 = zr * zr, zi * zi
                if zr2 + zi2 > 256.0:
                    break
                zi = 2 * zr * zi + ci
                zr = zr2 - zi2 + cr
                n += 1
            if n == limit:
                row.append((0, 0, 0))  # flat: the inside of the set
            else:
                smooth = n + 1 - math.log(math.log(math.sqrt(zr * zr + zi * zi))) / log2
                row.append(ramp(palette, (smooth / 24.0) % 1.0))
        rows.append(row)
    return width, height, rows


def rings(width=800, height=600):
    centres = [(width * 0.3, height * 0.35, 9.0), (width * 0.72, height * 0.6, 13.0),
               (width * 0.5, height * 0.95, 17.0)]
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            v = sum(math.sin(math.hypot(x - cx, y - cy) / k) for cx, cy, k in centres)
            hue = (v / 6.0 + 0.5 + x / (4.0 * width)) % 1.0
            value = 0.55 + 0.45 * math.cos(v * 1.7)
            r, g, b = colorsys.hsv_to_rgb(hue, 0.95, value)
            row.append((int(r * 255), int(g * 255), int(b * 255)))
        rows.append(row)
    return width, height, rows


# --- writers ----------------------------------------------------------------------------------

def bmp_bytes(width, height, rows):
    """A 24-bit bottom-up BMP."""
    stride = (width * 3 + 3) & ~3
    pad = b"\0" * (stride - width * 3)
    body = bytearray()
    for row in reversed(rows):
        for r, g, b in row:
            body += bytes((b, g, r))
        body += pad
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(body), 2835, 2835,
                       0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(body), 0, 0, 14 + len(info))
    return header + info + bytes(body)


def convert_from_rows(path, width, height, rows, fmt, *options):
    ppm = b"P6\n%d %d\n255\n" % (width, height) + b"".join(
        bytes(c for pixel in row for c in pixel) for row in rows)
    subprocess.run([CONVERT, "ppm:-", *options, "%s:%s" % (fmt, path)], input=ppm,
                   check=True, stdout=subprocess.DEVNULL)


EMR_HEADER, EMR_EOF = 1, 14
EMR_SELECTOBJECT, EMR_CREATEPEN, EMR_CREATEBRUSHINDIRECT, EMR_DELETEOBJECT = 37, 38, 39, 40
EMR_ELLIPSE, EMR_RECTANGLE = 42, 43


def colorref(rgb):
    r, g, b = rgb
    return r | (g << 8) | (b << 16)


def stained_glass(width=800, height=600):
    """The EMF records of a window: panes in strong colours, lead lines, a rose."""
    records = []

    def record(kind, payload):
        records.append(struct.pack("<II", kind, 8 + len(payload)) + payload)

    def pen(colour, thickness):
        record(EMR_CREATEPEN, struct.pack("<IIiiI", 1, 0, thickness, 0, colorref(colour)))
        record(EMR_SELECTOBJECT, struct.pack("<I", 1))

    def brush(colour):
        record(EMR_CREATEBRUSHINDIRECT, struct.pack("<IIII", 2, 0, colorref(colour), 0))
        record(EMR_SELECTOBJECT, struct.pack("<I", 2))

    def shape(kind, left, top, right, bottom, colour):
        brush(colour)
        record(kind, struct.pack("<iiii", left, top, right, bottom))
        record(EMR_SELECTOBJECT, struct.pack("<I", 0x80000000 | 0))  # WHITE_BRUSH
        record(EMR_DELETEOBJECT, struct.pack("<I", 2))

    glass = [(200, 30, 40), (30, 60, 200), (250, 200, 20), (30, 160, 60), (150, 30, 170),
             (20, 180, 200), (240, 110, 20)]
    pen((20, 20, 24), 8)
    shape(EMR_RECTANGLE, 0, 0, width, height, (20, 20, 24))
    columns, lines = 8, 6
    for j in range(lines):
        for i in range(columns):
            left, top = i * width // columns, j * height // lines
            right, bottom = (i + 1) * width // columns, (j + 1) * height // lines
            shape(EMR_RECTANGLE, left, top, right, bottom, glass[(i * 3 + j * 5) % len(glass)])
    cx, cy = width // 2, height // 2
    for k, radius in enumerate(range(height // 2 - 20, 20, -38)):
        shape(EMR_ELLIPSE, cx - radius, cy - radius, cx + radius, cy + radius,
              glass[(k * 2 + 1) % len(glass)])
    for k in range(8):
        angle = k * math.pi / 4
        px, py = cx + int(math.cos(angle) * 170), cy + int(math.sin(angle) * 170)
        shape(EMR_ELLIPSE, px - 36, py - 36, px + 36, py + 36, glass[k % len(glass)])
    record(EMR_SELECTOBJECT, struct.pack("<I", 0x80000000 | 7))  # BLACK_PEN
    record(EMR_DELETEOBJECT, struct.pack("<I", 1))
    record(EMR_EOF, struct.pack("<III", 0, 16, 20))

    header_size = 88
    total = header_size + sum(len(r) for r in records)
    device, millimetres = (1024, 768), (320, 240)
    frame = (0, 0, round((width - 1) * 100 * millimetres[0] / device[0]),
             round((height - 1) * 100 * millimetres[1] / device[1]))
    header = struct.pack("<II4i4iIIIIHHIIIiiii", EMR_HEADER, header_size,
                         0, 0, width - 1, height - 1, *frame,
                         0x464D4520, 0x10000, total, len(records) + 1, 3, 0, 0, 0, 0,
                         *device, *millimetres)
    return header + b"".join(records)


def write_all(folder):
    """Writes every sample into `folder` and returns their file names, in order."""
    os.makedirs(folder, exist_ok=True)
    made = []

    def target(name):
        made.append(name)
        return os.path.join(folder, name)

    with open(target("sunset.bmp"), "wb") as f:
        f.write(bmp_bytes(*sunset()))
    # Few colours: the palette holds them all, so the plain sky stays one exact colour.
    convert_from_rows(target("balloons.gif"), *balloons(), "gif", "+dither", "-colors", "64")
    convert_from_rows(target("fractal.jpg"), *fractal(), "jpeg", "-quality", "88")
    convert_from_rows(target("rings.jpg"), *rings(), "jpeg", "-quality", "85")
    with open(target("window.emf"), "wb") as f:
        f.write(stained_glass())
    return made


def write_resource_script(path, folder, names, first_id):
    """RCDATA for each picture and its file name in a string table, under the same id."""
    def quoted(text):
        return '"%s"' % text.replace("\\", "\\\\").replace('"', '""')
    lines = ["// Made by tools/samples/make_samples.py; do not edit.", "STRINGTABLE", "BEGIN"]
    lines += ["    %d %s" % (first_id + i, quoted(name)) for i, name in enumerate(names)]
    lines += ["END", ""]
    lines += ["%d RCDATA %s" % (first_id + i, quoted(os.path.abspath(os.path.join(folder, n))))
              for i, n in enumerate(names)]
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def main(argv):
    parser = argparse.ArgumentParser(description="Draws Vellutor's sample pictures.")
    parser.add_argument("folder")
    parser.add_argument("--rc", help="also write a resource script embedding them")
    parser.add_argument("--first-id", type=int, default=2000)
    args = parser.parse_args(argv)
    if not os.access(CONVERT, os.X_OK):
        print("make_samples: %s (ImageMagick) is missing; run scripts/deps" % CONVERT,
              file=sys.stderr)
        return 1
    names = write_all(args.folder)
    if args.rc:
        write_resource_script(args.rc, args.folder, names, args.first_id)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
