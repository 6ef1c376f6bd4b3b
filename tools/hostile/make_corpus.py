#!/usr/bin/env python3
"""Makes a folder of hostile pictures for the saver: broken files of every format it reads,
lying headers, a huge JPEG, a metafile that is none, a folder with a picture's name, long
names and names outside the ANSI code page, between a few good pictures whose solid colours
show on screen when the saver gets to them.

    make_corpus.py OUT [--copies N] [--many N]

--copies N  makes N of each broken kind (default 1), with different cut points and seeds
--many N    adds N small good pictures (BMP, each its own colour) to OUT, for a folder of thousands

Prints one line per kind, "kind count", and last "good" with the good pictures' colours.
"""

import argparse
import os
import struct
import sys
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "tests", "wine"))
import pictures  # noqa: E402

# The good pictures: one colour each, far apart, so a screenshot tells which one shows.
GOOD = (("good-1.bmp", (220, 40, 40)), ("good-2.gif", (40, 200, 60)),
        ("good-3.jpg", (40, 60, 220)), ("good-4.emf", (230, 210, 30)))
FORMATS = ("bmp", "gif", "jpg", "jpeg", "emf")
HUGE_JPEG_SIDE = 10000


def solid(colour, width=64, height=48):
    return pictures.Picture(width, height, colour)


def grey_jpeg(width, height):
    """A baseline greyscale JPEG of one flat grey, any size, without an encoder: every 8 x 8
    block is "no change of DC, end of block", two bits with one-symbol Huffman tables."""
    def segment(marker, payload):
        return struct.pack(">BBH", 0xFF, marker, len(payload) + 2) + payload
    quant = segment(0xDB, bytes([0]) + bytes([1] * 64))
    frame = segment(0xC0, struct.pack(">BHHB", 8, height, width, 1) + bytes([1, 0x11, 0]))
    # One code of length 1 in each table: DC category 0, AC end of block.
    dc = segment(0xC4, bytes([0x00, 1] + [0] * 15 + [0]))
    ac = segment(0xC4, bytes([0x10, 1] + [0] * 15 + [0]))
    scan = segment(0xDA, bytes([1, 1, 0x00, 0, 63, 0]))
    blocks = ((width + 7) // 8) * ((height + 7) // 8)
    bits = 2 * blocks
    data = bytes(bits // 8) + (bytes([(1 << (8 - bits % 8)) - 1]) if bits % 8 else b"")
    return b"\xFF\xD8" + quant + frame + dc + ac + scan + data + b"\xFF\xD9"


def absurd_bmp(width, height, bits=24):
    """A BMP whose header claims `width` x `height` and holds 64 bytes of pixels."""
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, 0, 2835, 2835, 0, 0)
    body = bytes(64)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(body), 0, 0, 14 + len(info))
    return header + info + body


def noise(size, seed):
    out = bytearray()
    state = seed & 0xFFFFFFFF
    while len(out) < size:
        state = (state * 1103515245 + 12345) & 0xFFFFFFFF
        out.append((state >> 16) & 0xFF)
    return bytes(out)


def make(out, copies=1, many=0):
    os.makedirs(out, exist_ok=True)
    counts = {}

    def note(kind, n=1):
        counts[kind] = counts.get(kind, 0) + n

    for name, colour in GOOD:
        pictures.write(os.path.join(out, name), solid(colour))
        note("good")
    pic = solid((128, 128, 128), 96, 64)
    for copy in range(copies):
        tag = "" if copies == 1 else "-%d" % copy
        for ending in FORMATS:
            pictures.write_empty(os.path.join(out, "empty%s.%s" % (tag, ending)))
            note("empty")
            # Cut at several points: inside the header, just after it, in the middle.
            for keep in (10, 0.25, 0.5, 0.9):
                cut = keep if isinstance(keep, int) else keep * (1 + copy) / copies
                pictures.write_truncated(
                    os.path.join(out, "truncated%s-%s.%s" % (tag, str(keep).replace(".", ""),
                                                             ending)), pic,
                    keep=cut if isinstance(cut, int) else min(cut, 0.95))
                note("truncated")
            pictures.write_garbage_after_header(
                os.path.join(out, "garbage%s.%s" % (tag, ending)), pic, seed=copy + 1)
            note("valid header, garbage after")
    absurd = {"absurd-100000x100000.bmp": absurd_bmp(100000, 100000),
              "absurd-2147483647x1.bmp": absurd_bmp(0x7FFFFFFF, 1),
              "absurd-negative-width.bmp": absurd_bmp(-640, 480),
              "absurd-32bit-65535x65535.bmp": absurd_bmp(65535, 65535, 32)}
    for name, data in absurd.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
        note("BMP with absurd dimensions")
    with open(os.path.join(out, "huge-%dx%d.jpg" % (HUGE_JPEG_SIDE, HUGE_JPEG_SIDE)), "wb") as f:
        f.write(grey_jpeg(HUGE_JPEG_SIDE, HUGE_JPEG_SIDE))
    note("%d x %d JPEG" % (HUGE_JPEG_SIDE, HUGE_JPEG_SIDE))
    for name, data in (("not-a-metafile.emf", noise(2048, 3)),
                       ("text.emf", b"this is not a metafile\r\n" * 20),
                       ("zip-as.emf", zlib.compress(noise(4096, 4)))):
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
        note(".emf that is not a metafile")
    for name in ("x.bmp", "folder.jpg"):
        os.makedirs(os.path.join(out, name), exist_ok=True)
        with open(os.path.join(out, name, "inside.bmp"), "wb") as f:
            f.write(pictures.bmp_bytes(solid((0, 0, 0))))
        note("folder with a picture's name")
    # 255 characters, the longest name a file system takes; one good, one broken.
    for stem, ending, data in (("L", "bmp", pictures.bmp_bytes(solid(GOOD[0][1]))),
                               ("M", "gif", b"GIF89a")):
        name = stem * (255 - len(ending) - 1) + "." + ending
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
        note("name of 255 characters")
    # Names the ANSI code page cannot spell: Windows hands them over with "?" in them.
    for name in ("\u56fe\u7247.bmp", "\u03a9mega.gif", "\u0436\u0443\u043a.jpg",
                 "emoji-\U0001F600.bmp"):
        with open(os.path.join(out, name), "wb") as f:
            f.write(pictures.bmp_bytes(solid(GOOD[0][1])))
        note("name outside the ANSI code page")
    if many:
        # Each its own colour, so that a screenshot tells one from the next.
        for i in range(many):
            colour = ((i * 37) % 200 + 30, (i * 91) % 200 + 30, (i * 53) % 200 + 30)
            with open(os.path.join(out, "many-%05d.bmp" % i), "wb") as f:
                f.write(pictures.bmp_bytes(solid(colour, 16, 12)))
        note("many small good pictures", many)
    return counts


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out")
    parser.add_argument("--copies", type=int, default=1)
    parser.add_argument("--many", type=int, default=0)
    args = parser.parse_args()
    for kind, n in make(args.out, args.copies, args.many).items():
        print("%s %d" % (kind, n))
    print("good " + " ".join("%s=%d,%d,%d" % ((name,) + colour) for name, colour in GOOD))


if __name__ == "__main__":
    main()
