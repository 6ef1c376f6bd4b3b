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


def bmp_with(width, height, bits, compression=0, colours_used=0, offset=None, masks=b"",
             pixels=b"", image_size=None, size=None, header_size=40):
    """A BMP built field by field; `size` pads (or cuts) the file to that many bytes."""
    info = struct.pack("<IiiHHIIiiII", header_size, width, height, 1, bits, compression,
                       len(pixels) if image_size is None else image_size, 2835, 2835,
                       colours_used, 0)
    info += bytes(max(0, header_size - len(info)))
    head_end = 14 + len(info) + len(masks)
    data = info + masks
    offset = head_end if offset is None else offset
    file = struct.pack("<2sIHHI", b"BM", size or head_end + len(pixels), 0, 0, offset) + data
    file += pixels
    if size is not None:
        file = file[:size] + bytes(max(0, size - len(file)))
    return file


def emf_with(records, handles=4):
    """An enhanced metafile of a header, the given (type, body) records and the end record."""
    body = b""
    for kind, payload in records + [(14, bytes(12))]:
        body += struct.pack("<II", kind, 8 + len(payload)) + payload
    header = bytearray(88)
    struct.pack_into("<II", header, 0, 1, 88)
    struct.pack_into("<iiii", header, 8, 0, 0, 63, 47)
    struct.pack_into("<iiii", header, 24, 0, 0, 1000, 750)
    struct.pack_into("<IIIIH", header, 40, 0x464D4520, 0x10000, 88 + len(body),
                     len(records) + 2, handles)
    struct.pack_into("<iiii", header, 72, 1024, 768, 320, 240)
    return bytes(header) + body


def words(*values):
    return struct.pack("<%dI" % len(values), *[v & 0xFFFFFFFF for v in values])


def gif_declaring(width, height, lzw=b"\x02\x02\x4C\x01\x00"):
    screen = b"GIF89a" + struct.pack("<HHBBB", width, height, 0x80, 0, 0) + bytes(6)
    image = b"\x2C" + struct.pack("<HHHHB", 0, 0, width, height, 0) + lzw
    return screen + image + b"\x3B"


def jpeg_declaring(width, height, scan_bytes=16):
    """A greyscale JPEG header of any size with only a few bytes of scan."""
    whole = grey_jpeg(8, 8)
    at = whole.index(b"\xFF\xC0") + 5
    header = whole[:at] + struct.pack(">HH", height, width) + whole[at + 4:]
    scan_end = header.index(b"\xFF\xDA") + 2 + 8
    return header[:scan_end] + bytes(scan_bytes) + b"\xFF\xD9"


def validation_corpus():
    """What the picture checks must refuse (name -> bytes), grouped by kind: content of
    another format than the name's, colour tables the file has no room for, bit fields, run-
    length overruns, metafile records whose contents point outside them, decompression
    bombs, and the reserved device names."""
    kinds = {}
    grey = solid((128, 128, 128), 64, 48)
    contents = {"bmp": pictures.bmp_bytes(grey), "emf": pictures.emf_bytes(grey),
                "jpg": grey_jpeg(64, 48)}
    gif = b"GIF89a" + struct.pack("<HHBBB", 64, 48, 0x80, 0, 0) + bytes(6)
    contents["gif"] = gif + b"\x2C" + struct.pack("<HHHHB", 0, 0, 64, 48, 0) + \
        b"\x02\x02\x4C\x01\x00\x3B"
    mismatch = {}
    for content, data in contents.items():
        for ending in FORMATS:
            if ending.startswith(content[:2]) or (content == "jpg" and ending == "jpeg"):
                continue
            mismatch["%s-content.%s" % (content, ending)] = data
    # The first fault seen in the field: a BMP claiming 512 x 512 x 32 in 4 KB as .gif.
    lying = bmp_with(512, 512, 32, pixels=bytes(4096 - 54))
    for ending in ("gif", "jpg", "jpeg"):
        mismatch["bmp-512x512x32-4k." + ending] = lying
    kinds["name and content of different formats"] = mismatch

    gaps = {}
    for bits in (16, 24, 32):
        for pages in (1, 2):
            size = 4096 * pages
            # Rows that fit in the file only when the 256-entry table is left out.
            stride = 4 * ((32 * bits + 31) // 32)
            rows = (size - 54 - 512) // stride
            gaps["table-gap-%dbit-%dk.bmp" % (bits, 4 * pages)] = bmp_with(
                32, rows, bits, colours_used=256, offset=0, pixels=bytes(stride * rows),
                size=size)
    kinds["colour table with no room, file a multiple of 4096"] = gaps

    fields = {}
    good_masks = {"rgb565": (16, (0xF800, 0x07E0, 0x001F)),
                  "bgr32": (32, (0xFF, 0xFF00, 0xFF0000))}
    for name, (bits, masks) in good_masks.items():
        stride = 4 * ((16 * bits + 31) // 32)
        fields["bitfields-good-%s.bmp" % name] = bmp_with(
            16, 12, bits, 3, masks=words(*masks), pixels=bytes(stride * 12))
    for name, masks in (("zero", (0, 0x07E0, 0x001F)), ("overlap", (0xFFE0, 0x07E0, 0x1F)),
                        ("wide", (0xF0000, 0x07E0, 0x001F)), ("split", (0xF00F, 0x0F0, 0x0))):
        fields["bitfields-bad-%s.bmp" % name] = bmp_with(16, 12, 16, 3, masks=words(*masks),
                                                        pixels=bytes(32 * 12))
    fields["bitfields-cut.bmp"] = bmp_with(16, 12, 16, 3, masks=words(0xF800, 0x7E0))[:-4]
    kinds["bit-field BMP (two good, the rest refused)"] = fields

    runs = {}
    palette = b"".join(bytes((i, i, i, 0)) for i in range(256))
    streams = {"run-past-rows": b"\xff\x07" * 40 + b"\x00\x01",
               "delta-past-end": b"\x00\x02\xff\xff" * 8 + b"\x05\x01\x00\x01",
               "absolute-past-stream": b"\x00\xfe\x01\x02",
               "no-end-mark": b"\x04\x03\x00\x00" * 4,
               "rows-past-last": b"\x02\x05\x00\x00" * 300 + b"\x00\x01"}
    for name, stream in streams.items():
        runs["rle8-%s.bmp" % name] = bmp_with(16, 8, 8, 1, colours_used=256, masks=palette,
                                              pixels=stream)
    runs["rle4-run-past-rows.bmp"] = bmp_with(16, 8, 4, 2, colours_used=16,
                                              masks=palette[:64],
                                              pixels=b"\xff\x12" * 40 + b"\x00\x01")
    runs["rle8-size-past-file.bmp"] = bmp_with(16, 8, 8, 1, colours_used=256, masks=palette,
                                               pixels=b"\x00\x01", image_size=100000)
    kinds["run-length overruns"] = runs

    records = {}
    bits24 = struct.pack("<IiiHHIIiiII", 40, 2, 2, 1, 24, 0, 0, 0, 0, 0, 0)
    def stretch(off_bits, cb_bits, width=2):
        info = struct.pack("<IiiHHIIiiII", 40, width, 2, 1, 24, 0, 0, 0, 0, 0, 0)
        return words(0, 0, 0, 0, 0, 0, 0, 0, 2, 2, 80, 40, off_bits, cb_bits, 0,
                     0xCC0020, 64, 48) + info + bytes(16)
    bodies = {"select-past-table": [(37, words(9999))],
              "delete-stock-past-end": [(40, words(0x800000FF))],
              "pen-past-table": [(38, words(40, 0, 1, 0, 0))],
              "polyline-count-huge": [(4, words(0, 0, 63, 47, 0x10000000, 1, 1, 5, 5))],
              "polypolygon-counts-exceed": [(8, words(0, 0, 63, 47, 1, 2, 900, 1, 1, 5, 5))],
              "stretchdibits-bits-past-record": [(81, stretch(120, 4000))],
              "stretchdibits-wider-than-bits": [(81, stretch(120, 16, 9999))],
              "exttextout-chars-past-record": [(84, words(0, 0, 63, 47, 1, 0, 0, 5, 5, 60000,
                                                          76, 0, 0, 0, 63, 47, 0) + bytes(8))],
              "comment-past-record": [(70, words(100000))],
              "clip-region-rects-past": [(75, words(48, 5, 32, 1, 1000, 16, 0, 0, 0, 0))]}
    for name, recs in bodies.items():
        records["emf-%s.emf" % name] = emf_with(recs)
    records["emf-handles-65535.emf"] = emf_with([], handles=65535)
    records["emf-handles-0.emf"] = emf_with([], handles=0)
    del bits24
    kinds["metafile record contents out of bounds"] = records

    bombs = {"bomb-gif-65535x65535.gif": gif_declaring(65535, 65535),
             "bomb-jpeg-65500x65500.jpg": jpeg_declaring(65500, 65500),
             "bomb-jpeg-20000x20000.jpeg": jpeg_declaring(20000, 20000),
             "bomb-rle8-30000x30000.bmp": bmp_with(30000, 30000, 8, 1, colours_used=256,
                                                   masks=palette, pixels=b"\x00\x01"),
             "bomb-rle4-65535x65535.bmp": bmp_with(65535, 65535, 4, 2, colours_used=16,
                                                   masks=palette[:64], pixels=b"\x00\x01")}
    kinds["decompression bombs"] = bombs

    devices = {}
    for name in ("con.jpg", "nul.gif", "com1.bmp", "aux.emf", "lpt1.jpeg", "prn.bmp"):
        devices[name] = pictures.bmp_bytes(solid(GOOD[0][1]))
    kinds["reserved device names"] = devices
    return kinds


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
    for kind, files in validation_corpus().items():
        for name, data in files.items():
            try:
                with open(os.path.join(out, name), "wb") as f:
                    f.write(data)
            except OSError:
                continue  # a device name the file system here will not take
            note(kind)
    for name in ("x.bmp", "folder.jpg", "x.jpg"):
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
