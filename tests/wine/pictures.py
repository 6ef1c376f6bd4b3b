"""Test pictures of known content, in every format the saver reads, and broken ones.

A Picture is a width, a height and a colour function; the writers put it into a folder
as BMP (written here), GIF and JPEG (through ImageMagick from a PPM written here) or EMF
(records written here: filled rectangles with solid brushes). A test then asks
`expected_at` which colour a fitted picture should show at a point of the surface, and
`is_clear` whether that point lies far enough from any colour edge to be compared.

    pic = pictures.quadrants(300, 200)
    path = pictures.write_gif(folder / "q.gif", pic)
    colour = pic.expected_at(x, y, 1024, 768, fit="crop")
"""

import math
import os
import struct
import subprocess
from pathlib import Path

# ImageMagick itself; /usr/local/bin/convert is a different program.
CONVERT = "/usr/bin/convert"
CJPEG = "/usr/bin/cjpeg"

RED = (230, 30, 30)
GREEN = (30, 200, 40)
BLUE = (30, 40, 220)
YELLOW = (240, 220, 20)
MAGENTA = (200, 0, 200)
CYAN = (0, 200, 210)
BLACK = (0, 0, 0)
WHITE = (255, 255, 255)
QUADRANT_COLOURS = (RED, GREEN, BLUE, YELLOW)  # top-left, top-right, bottom-left, bottom-right


class Picture:
    """A picture made of axis-aligned filled rectangles, later ones on top."""

    def __init__(self, width, height, background, boxes=()):
        self.width = width
        self.height = height
        self.background = background
        self.boxes = list(boxes)  # (left, top, right, bottom, colour), right/bottom exclusive

    def colour(self, x, y):
        for left, top, right, bottom, colour in reversed(self.boxes):
            if left <= x < right and top <= y < bottom:
                return colour
        return self.background

    def edges(self):
        """The x and y positions where the colour may change."""
        xs = {0, self.width}
        ys = {0, self.height}
        for left, top, right, bottom, _ in self.boxes:
            xs.update((left, right))
            ys.update((top, bottom))
        return sorted(xs), sorted(ys)

    def source_rect(self, surface_width, surface_height, fit):
        """The part of the picture drawn over the surface: "crop" keeps the aspect ratio and
        cuts the excess evenly (GIF, JPEG); "stretch" uses all of it (BMP, EMF)."""
        if fit == "stretch":
            return 0.0, 0.0, float(self.width), float(self.height)
        w, h = float(self.width), float(self.height)
        ex = max(0.0, w - h * (surface_width / surface_height))
        ey = max(0.0, h - w * (surface_height / surface_width))
        return (float(math.trunc(0.5 * ex)), float(math.trunc(0.5 * ey)),
                float(math.trunc(w - ex)), float(math.trunc(h - ey)))

    def source_point(self, x, y, surface_width, surface_height, fit):
        sx, sy, sw, sh = self.source_rect(surface_width, surface_height, fit)
        return (sx + (x + 0.5) * sw / surface_width, sy + (y + 0.5) * sh / surface_height)

    def expected_at(self, x, y, surface_width, surface_height, fit):
        px, py = self.source_point(x, y, surface_width, surface_height, fit)
        return self.colour(int(px), int(py))

    def is_clear(self, x, y, surface_width, surface_height, fit, margin=4):
        """True when the surface point lies at least `margin` surface pixels from the
        surface's border and from every colour edge of the picture as fitted, so that
        scaling and filtering cannot blur it."""
        if not (margin <= x < surface_width - margin and margin <= y < surface_height - margin):
            return False
        _, _, sw, sh = self.source_rect(surface_width, surface_height, fit)
        px, py = self.source_point(x, y, surface_width, surface_height, fit)
        mx = margin * sw / surface_width + 1
        my = margin * sh / surface_height + 1
        xs, ys = self.edges()
        return (all(abs(px - e) >= mx for e in xs if 0 < e < self.width)
                and all(abs(py - e) >= my for e in ys if 0 < e < self.height))

    def rows(self):
        """Rows of RGB tuples, top to bottom."""
        return [[self.colour(x, y) for x in range(self.width)] for y in range(self.height)]


def quadrants(width, height, colours=QUADRANT_COLOURS):
    """Four coloured quadrants: top-left, top-right, bottom-left, bottom-right."""
    hx, hy = width // 2, height // 2
    tl, tr, bl, br = colours
    return Picture(width, height, br, [
        (0, 0, hx, hy, tl), (hx, 0, width, hy, tr), (0, hy, hx, height, bl)])


def framed_quadrants(width, height, inner, frame=MAGENTA):
    """Quadrants inside `inner` = (left, top, right, bottom), with a plain frame colour
    around them: a picture whose frame a correct centre crop cuts away."""
    left, top, right, bottom = inner
    hx, hy = (left + right) // 2, (top + bottom) // 2
    tl, tr, bl, br = QUADRANT_COLOURS
    return Picture(width, height, frame, [
        (left, top, hx, hy, tl), (hx, top, right, hy, tr),
        (left, hy, hx, bottom, bl), (hx, hy, right, bottom, br)])


def cropped_frame(width, height, surface_width, surface_height):
    """Framed quadrants whose frame is exactly the strips that fitting onto a surface of
    the given size cuts away."""
    pic = Picture(width, height, MAGENTA)
    sx, sy, sw, sh = pic.source_rect(surface_width, surface_height, "crop")
    return framed_quadrants(width, height, (int(sx), int(sy), int(sx + sw), int(sy + sh)))


def stripes(width, height, colours, vertical=True):
    """Equal stripes of the given colours, left to right or top to bottom."""
    n = len(colours)
    boxes = []
    for i, colour in enumerate(colours):
        if vertical:
            boxes.append((i * width // n, 0, (i + 1) * width // n, height, colour))
        else:
            boxes.append((0, i * height // n, width, (i + 1) * height // n, colour))
    return Picture(width, height, colours[-1], boxes)


# --- writers ---------------------------------------------------------------------------

def bmp_bytes(pic):
    """A 24-bit bottom-up BMP."""
    stride = (pic.width * 3 + 3) & ~3
    pad = b"\0" * (stride - pic.width * 3)
    body = bytearray()
    for row in reversed(pic.rows()):
        for r, g, b in row:
            body += bytes((b, g, r))
        body += pad
    info = struct.pack("<IiiHHIIiiII", 40, pic.width, pic.height, 1, 24, 0, len(body),
                       2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(body), 0, 0, 14 + len(info))
    return header + info + bytes(body)


def ppm_bytes(pic):
    body = bytearray()
    for row in pic.rows():
        for pixel in row:
            body += bytes(pixel)
    return b"P6\n%d %d\n255\n" % (pic.width, pic.height) + bytes(body)


def write_bmp(path, pic):
    path = Path(path)
    path.write_bytes(bmp_bytes(pic))
    return path


def _convert(path, pic, fmt, *options):
    path = Path(path)
    source = path.with_name(path.name + ".source.ppm")
    source.write_bytes(ppm_bytes(pic))
    try:
        # The output format is named explicitly, so odd endings (photo.JPEG) still work.
        subprocess.run([CONVERT, str(source), *options, f"{fmt}:{path}"], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    finally:
        source.unlink(missing_ok=True)
    return path


def write_gif(path, pic):
    return _convert(path, pic, "gif")


def write_cjpeg(path, pic, *options):
    """A JPEG written by libjpeg's own cjpeg, which makes kinds ImageMagick does not
    (arithmetic coding)."""
    path = Path(path)
    with open(path, "wb") as out:
        subprocess.run([CJPEG, "-quality", "95", "-sample", "1x1", *options], check=True,
                       input=ppm_bytes(pic), stdout=out, stderr=subprocess.PIPE)
    return path


def write_jpeg(path, pic, quality=95):
    # Full-resolution chroma keeps colour edges sharp enough to sample near them.
    return _convert(path, pic, "jpeg", "-quality", str(quality), "-sampling-factor", "1x1")


EMR_HEADER = 1
EMR_EOF = 14
EMR_SELECTOBJECT = 37
EMR_CREATEBRUSHINDIRECT = 39
EMR_DELETEOBJECT = 40
EMR_RECTANGLE = 43
NULL_PEN = 0x80000000 | 8  # stock object: rectangles without an outline
BS_SOLID = 0


def emf_bytes(pic, device=(1024, 768), millimetres=(320, 240)):
    """An enhanced metafile that fills the background and each box with a solid brush,
    in logical units equal to the picture's pixels."""
    records = []

    def record(kind, payload):
        records.append(struct.pack("<II", kind, 8 + len(payload)) + payload)

    def colorref(rgb):
        r, g, b = rgb
        return r | (g << 8) | (b << 16)

    record(EMR_SELECTOBJECT, struct.pack("<I", NULL_PEN))
    # A null pen leaves out the right and bottom edge of a rectangle: draw one pixel wider.
    # A background of None leaves everything outside the boxes undrawn.
    fill = [] if pic.background is None else [(0, 0, pic.width, pic.height, pic.background)]
    boxes = fill + pic.boxes
    for left, top, right, bottom, colour in boxes:
        record(EMR_CREATEBRUSHINDIRECT, struct.pack("<IIII", 1, BS_SOLID, colorref(colour), 0))
        record(EMR_SELECTOBJECT, struct.pack("<I", 1))
        record(EMR_RECTANGLE, struct.pack("<iiii", left, top, right + 1, bottom + 1))
        record(EMR_SELECTOBJECT, struct.pack("<I", 0x80000000 | 0))  # WHITE_BRUSH
        record(EMR_DELETEOBJECT, struct.pack("<I", 1))
    record(EMR_EOF, struct.pack("<III", 0, 16, 20))

    header_size = 88
    total = header_size + sum(len(r) for r in records)
    # The frame, in hundredths of a millimetre of the reference device.
    per_mm_x = device[0] / millimetres[0]
    per_mm_y = device[1] / millimetres[1]
    frame = (0, 0, round((pic.width - 1) * 100 / per_mm_x), round((pic.height - 1) * 100 / per_mm_y))
    header = struct.pack(
        "<II4i4iIIIIHHIIIiiii",
        EMR_HEADER, header_size,
        0, 0, pic.width - 1, pic.height - 1,
        *frame,
        0x464D4520, 0x10000, total, len(records) + 1, 2, 0,
        0, 0, 0,
        device[0], device[1], millimetres[0], millimetres[1])
    assert len(header) == header_size
    return header + b"".join(records)


def write_emf(path, pic):
    path = Path(path)
    path.write_bytes(emf_bytes(pic))
    return path


def write_wmf(path):
    """A placeable-less Windows metafile holding only its header and end: enough to be
    recognised as one, which the saver refuses by its ending anyway."""
    path = Path(path)
    end = struct.pack("<IH", 3, 0)
    header = struct.pack("<HHHIHIH", 1, 9, 0x300, (18 + len(end)) // 2, 0, 3, 0)
    path.write_bytes(header + end)
    return path


WRITERS = {"bmp": write_bmp, "gif": write_gif, "jpg": write_jpeg, "jpeg": write_jpeg,
           "emf": write_emf}


def write(path, pic):
    """Writes the picture in the format its file name's ending names (any case)."""
    ending = Path(path).suffix.lower().lstrip(".")
    return WRITERS[ending](path, pic)


# --- broken files ----------------------------------------------------------------------

def write_empty(path):
    path = Path(path)
    path.write_bytes(b"")
    return path


def write_truncated(path, pic, keep=0.5):
    """A valid picture of the ending's format cut short after `keep` of its bytes (a
    fraction) or after `keep` bytes (an int)."""
    path = Path(path)
    write(path, pic)
    data = path.read_bytes()
    cut = keep if isinstance(keep, int) else max(1, int(len(data) * keep))
    path.write_bytes(data[:cut])
    return path


def write_garbage_after_header(path, pic, header_bytes=None, garbage=4096, seed=1):
    """A valid picture's first bytes (its header) followed by pseudo-random garbage."""
    path = Path(path)
    write(path, pic)
    data = path.read_bytes()
    if header_bytes is None:
        header_bytes = {".bmp": 54, ".gif": 13, ".jpg": 20, ".jpeg": 20, ".emf": 88}.get(
            path.suffix.lower(), 16)
    state = seed
    noise = bytearray()
    for _ in range(garbage):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        noise.append((state >> 16) & 0xFF)
    path.write_bytes(data[:header_bytes] + bytes(noise))
    return path


def write_noise(path, size=4096, seed=7):
    """A file of pseudo-random bytes only."""
    path = Path(path)
    state = seed
    noise = bytearray()
    for _ in range(size):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        noise.append((state >> 16) & 0xFF)
    path.write_bytes(bytes(noise))
    return path


def close(a, b, tolerance):
    """True when two RGB colours differ by at most `tolerance` in every channel."""
    return all(abs(x - y) <= tolerance for x, y in zip(a, b))


if __name__ == "__main__":
    import sys
    folder = Path(sys.argv[1] if len(sys.argv) > 1 else ".")
    folder.mkdir(parents=True, exist_ok=True)
    q = quadrants(300, 200)
    for name in ("q.bmp", "q.gif", "q.jpg", "q.emf"):
        print(write(folder / name, q))
