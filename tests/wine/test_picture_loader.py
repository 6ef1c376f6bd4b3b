"""Picture loading under Wine: each format lands on an off-screen DirectDraw surface fitted
as the saver shows it, refused and broken files fail without touching the surface, and
nothing taken on the way is kept."""

import os
import struct
from pathlib import Path

import pictures
from winebench import BUILD, expect

PICTURES_DIR = r"C:\pictures"
GREY = (128, 128, 128)
E_FAIL = -2147467259
TOLERANCE = {"bmp": 12, "emf": 12, "gif": 12, "jpg": 40, "jpeg": 40}


class Loaded:
    """What the probe saw: the loader's result and the sampled pixels."""

    def __init__(self, code, text):
        self.code, self.text = code, text
        self.result = None
        self.size = None
        self.pixels = {}
        self.usage = {}
        for line in text.splitlines():
            words = line.split()
            if not words:
                continue
            if words[0] == "result":
                self.result = int(words[1])
            elif words[0] == "surface":
                self.size = (int(words[1]), int(words[2]))
            elif words[0] == "at" and len(words) == 6:
                self.pixels[(int(words[1]), int(words[2]))] = tuple(map(int, words[3:]))
            elif words[0] in ("gdi", "handles", "memory"):
                self.usage[words[0]] = (int(words[1]), int(words[2]))


def folder(bench):
    path = Path(bench.unix_path(PICTURES_DIR))
    path.mkdir(exist_ok=True)
    return path


def load(bench, name, width, height, points=(), cut=False, fill=GREY, repeat=1):
    """Runs the probe on C:\\pictures\\name with a surface of width x height painted `fill`."""
    args = ["--fill", "%02x%02x%02x" % fill]
    if cut:
        args.append("--cut")
    if repeat > 1:
        args += ["--repeat", repeat]
    for x, y in points:
        args += ["--at", "%d,%d" % (x, y)]
    probe = bench.start_wine(os.path.join(BUILD, "probe_picture_loader.exe"), *args, width,
                             height, PICTURES_DIR + "\\" + name)
    loaded = Loaded(probe.wait(90), probe.output())
    expect(loaded.code, 0, "probe exit code for %s (output: %r)" % (name, loaded.text))
    expect(loaded.size, (width, height), "surface size for %s" % name)
    return loaded


def sample_points(width, height, steps=12, border=None):
    """A grid of cell centres; with `border`, also points that far inside each edge, where a
    wrong fit shows first."""
    xs = [(2 * i + 1) * width // (2 * steps) for i in range(steps)]
    ys = [(2 * j + 1) * height // (2 * steps) for j in range(steps)]
    if border is not None:
        xs += [border, width - 1 - border]
        ys += [border, height - 1 - border]
    return [(x, y) for y in ys for x in xs]


def expect_fitted(bench, name, pic, width, height, fit, cut=False):
    """Loads the picture and compares every clear sample point with the colour the fit
    puts there."""
    tolerance = TOLERANCE[Path(name).suffix.lower().lstrip(".")]
    points = [p for p in sample_points(width, height, border=8)
              if pic.is_clear(p[0], p[1], width, height, fit)]
    loaded = load(bench, name, width, height, points, cut=cut)
    expect(loaded.result, 0, "result of loading %s onto %dx%d" % (name, width, height))
    wrong = []
    for x, y in points:
        wanted = pic.expected_at(x, y, width, height, fit)
        seen = loaded.pixels.get((x, y))
        if seen is None or not pictures.close(seen, wanted, tolerance):
            wrong.append("(%d,%d) expected %r saw %r" % (x, y, wanted, seen))
    expect(wrong, [], "%s on %dx%d (%s, %d points checked): wrong pixels"
           % (name, width, height, fit, len(points)))
    return loaded


def expect_unchanged(bench, name, width=200, height=150, wanted_result=-1):
    """Loading fails with `wanted_result` (or any non-zero result for None) and the
    surface keeps its fill colour."""
    loaded = load(bench, name, width, height, sample_points(width, height, 4))
    if wanted_result is None:
        expect(loaded.result not in (0, None), True,
               "non-zero result for %s (saw %r)" % (name, loaded.result))
    else:
        expect(loaded.result, wanted_result, "result of loading %s" % name)
    changed = {p: c for p, c in loaded.pixels.items() if not pictures.close(c, GREY, 2)}
    expect(changed, {}, "pixels changed by the failed load of %s" % name)


def test_gif_and_jpeg_keep_their_shape_and_lose_equal_strips(bench):
    d = folder(bench)
    # Wider than the surface: the frame at left and right is what the crop removes.
    wide = pictures.cropped_frame(300, 200, 1024, 768)
    pictures.write_gif(d / "wide.gif", wide)
    expect_fitted(bench, "wide.gif", wide, 1024, 768, "crop")
    # Taller than the surface: strips at top and bottom go.
    square = pictures.cropped_frame(1000, 1000, 800, 600)
    pictures.write_jpeg(d / "square.jpg", square)
    expect_fitted(bench, "square.jpg", square, 800, 600, "crop")
    # Same shape as the surface: the whole picture, enlarged, frame and all.
    same = pictures.framed_quadrants(640, 480, (40, 40, 600, 440))
    pictures.write_jpeg(d / "same.jpeg", same)
    expect_fitted(bench, "same.jpeg", same, 1024, 768, "crop")
    # Unmixed colours with the cut of background set.
    pictures.write_gif(d / "portrait.gif", pictures.cropped_frame(200, 400, 320, 240))
    expect_fitted(bench, "portrait.gif", pictures.cropped_frame(200, 400, 320, 240), 320,
                  240, "crop", cut=True)


def test_bmp_and_emf_are_stretched_over_the_whole_surface(bench):
    d = folder(bench)
    # A crop would hide the frame; stretched, it shows along the surface's edges.
    pic = pictures.cropped_frame(400, 200, 400, 300)
    pictures.write_bmp(d / "wide.bmp", pic)
    expect_fitted(bench, "wide.bmp", pic, 400, 300, "stretch")
    expect_fitted(bench, "wide.bmp", pic, 400, 300, "stretch", cut=True)
    pictures.write_emf(d / "wide.emf", pic)
    expect_fitted(bench, "wide.emf", pic, 400, 300, "stretch")
    tall = pictures.stripes(100, 300, [pictures.RED, pictures.GREEN, pictures.BLUE],
                            vertical=False)
    pictures.write_emf(d / "tall.emf", tall)
    expect_fitted(bench, "tall.emf", tall, 640, 200, "stretch")
    pictures.write_bmp(d / "tall.bmp", tall)
    expect_fitted(bench, "tall.bmp", tall, 640, 200, "stretch")


def test_a_metafile_draws_over_what_the_surface_held(bench):
    # Played into a copy of the surface away from it: the copy must start as the surface.
    d = folder(bench)
    pictures.write_emf(d / "box.emf",
                       pictures.Picture(200, 150, None, [(50, 40, 150, 110, pictures.RED)]))
    points = [(10, 10), (190, 140), (30, 75), (100, 75)]
    loaded = load(bench, "box.emf", 200, 150, points)
    expect(loaded.result, 0, "result of loading box.emf")
    seen = {p: loaded.pixels.get(p) for p in points}
    wanted = {(10, 10): GREY, (190, 140): GREY, (30, 75): GREY, (100, 75): pictures.RED}
    wrong = {p: seen[p] for p in points if seen[p] is None or
             not pictures.close(seen[p], wanted[p], TOLERANCE["emf"])}
    expect(wrong, {}, "pixels that are not the surface's grey outside the box and red inside")


def test_endings_choose_the_decoder_in_either_case(bench):
    d = folder(bench)
    pic = pictures.cropped_frame(300, 200, 400, 300)
    pictures.write_bmp(d / "PICTURE.BMP", pic)
    expect_fitted(bench, "PICTURE.BMP", pic, 400, 300, "stretch")
    pictures.write_jpeg(d / "photo.JPEG", pic)
    expect_fitted(bench, "photo.JPEG", pic, 400, 300, "crop")
    pictures.write_jpeg(d / "photo.jpg", pic)
    expect_fitted(bench, "photo.jpg", pic, 400, 300, "crop")
    pictures.write_gif(d / "Mixed.GiF", pic)
    expect_fitted(bench, "Mixed.GiF", pic, 400, 300, "crop")
    pictures.write_emf(d / "DRAWING.EMF", pic)
    expect_fitted(bench, "DRAWING.EMF", pic, 400, 300, "stretch")


def test_metafiles_of_the_old_kind_are_refused(bench):
    d = folder(bench)
    pictures.write_wmf(d / "old.wmf")
    expect_unchanged(bench, "old.wmf")
    # Even an enhanced metafile is not played when its name says .wmf.
    pictures.write_emf(d / "new.WMF", pictures.quadrants(100, 100))
    expect_unchanged(bench, "new.WMF")


def test_empty_and_missing_files_leave_the_surface_unchanged(bench):
    d = folder(bench)
    for name in ("empty.gif", "empty.jpg", "empty.bmp", "empty.emf"):
        pictures.write_empty(d / name)
        expect_unchanged(bench, name)
    expect_unchanged(bench, "missing.gif")
    expect_unchanged(bench, "missing.bmp")
    expect_unchanged(bench, "missing.emf")


def test_broken_files_fail_without_crashing(bench):
    d = folder(bench)
    pic = pictures.quadrants(120, 90)
    results = {}
    for ending in ("gif", "jpg", "bmp", "emf"):
        pictures.write_garbage_after_header(d / ("garbage." + ending), pic)
        pictures.write_truncated(d / ("short." + ending), pic, keep=0.5)
        pictures.write_truncated(d / ("header." + ending), pic, keep=10)
        pictures.write_noise(d / ("noise." + ending))
        for stem in ("garbage", "short", "header", "noise"):
            name = "%s.%s" % (stem, ending)
            # load() fails unless the probe ended normally: a crash in the decoder shows.
            results[name] = load(bench, name, 160, 120).result
    shown = sorted(name for name, result in results.items() if result == 0)
    expect(shown, [], "broken files reported as shown (results: %r)" % results)


def test_loading_without_a_surface_fails(bench):
    folder(bench)
    probe = bench.start_wine(os.path.join(BUILD, "probe_picture_loader.exe"), "--null-surface",
                             1, 1, PICTURES_DIR + "\\none.gif")
    loaded = Loaded(probe.wait(60), probe.output())
    expect(loaded.result, E_FAIL, "result without a surface")


def test_repeated_loads_give_back_what_they_take(bench):
    d = folder(bench)
    big = pictures.quadrants(1000, 1000)
    pictures.write_jpeg(d / "big.jpg", big)
    pictures.write_bmp(d / "big.bmp", big)
    pictures.write_emf(d / "big.emf", big)
    pictures.write_empty(d / "empty.gif")
    # A picture kept on each load would take about 4 MB of address space.
    for name in ("big.jpg", "big.bmp", "big.emf", "empty.gif"):
        loaded = load(bench, name, 800, 600, repeat=60)
        before, after = loaded.usage["memory"]
        expect(after - before < 32 * 1024, True,
               "address space in use after 60 loads of %s: %d KB before, %d KB after"
               % (name, before, after))
        handles = loaded.usage["handles"]
        expect(handles[1] - handles[0] <= 2, True,
               "handles after 60 loads of %s: %r" % (name, handles))


# --- BMP kinds decoded from memory, compared with the system's file loader -------------

def _palette_of(pic, bits):
    colours = []
    for row in pic.rows():
        for pixel in row:
            if pixel not in colours:
                colours.append(pixel)
    assert len(colours) <= 1 << bits, "picture has too many colours for %d bits" % bits
    return colours


def _rle_row(indices, four_bit):
    out = bytearray()
    i = 0
    while i < len(indices):
        run = 1
        while i + run < len(indices) and indices[i + run] == indices[i] and run < 254:
            run += 1
        value = indices[i] * 17 if four_bit else indices[i]
        out += bytes((run, value))
        i += run
    return out + b"\0\0"


def bmp_kind(pic, kind):
    """The picture as a BMP of one kind: "pal1", "pal4", "pal8", "rle8", "rle4", "rgb565",
    "core24" (12-byte header) or "v5top32" (124-byte header, bit fields, rows top-down)."""
    rows = list(reversed(pic.rows()))
    header_size, top_down, compression, masks = 40, False, 0, b""
    palette = b""
    colours = []
    if kind in ("pal1", "pal4", "pal8", "rle8", "rle4"):
        bits = {"pal1": 1, "pal4": 4, "pal8": 8, "rle8": 8, "rle4": 4}[kind]
        colours = _palette_of(pic, bits)
        palette = b"".join(bytes((b, g, r, 0)) for r, g, b in colours)
        index_rows = [[colours.index(p) for p in row] for row in rows]
        if kind.startswith("rle"):
            compression = 1 if kind == "rle8" else 2
            body = b"".join(_rle_row(r, kind == "rle4") for r in index_rows)[:-2] + b"\0\1"
        else:
            body = bytearray()
            for r in index_rows:
                packed = 0
                for index in r:
                    packed = packed << bits | index
                total = len(r) * bits
                pad = (-total) % 32
                body += (packed << pad).to_bytes((total + pad) // 8, "big")
            body = bytes(body)
    elif kind == "rgb565":
        bits, compression = 16, 3
        masks = struct.pack("<III", 0xF800, 0x07E0, 0x001F)
        body = bytearray()
        for row in rows:
            for r, g, b in row:
                body += struct.pack("<H", (r >> 3) << 11 | (g >> 2) << 5 | b >> 3)
            body += b"\0" * ((-len(row) * 2) % 4)
        body = bytes(body)
    elif kind == "core24":
        bits, header_size = 24, 12
        body = pictures.bmp_bytes(pic)[54:]
    elif kind == "v5top32":
        bits, header_size, top_down, compression = 32, 124, True, 3
        body = b"".join(bytes((b, g, r, 0)) for row in pic.rows() for r, g, b in row)
    else:
        raise ValueError(kind)
    height = -pic.height if top_down else pic.height
    if header_size == 12:
        info = struct.pack("<IHHHH", 12, pic.width, pic.height, 1, bits)
    else:
        info = struct.pack("<IiiHHIIiiII", header_size, pic.width, height, 1, bits, compression,
                           len(body) if compression in (1, 2) else 0, 2835, 2835, len(colours), 0)
        if header_size > 40:
            info += struct.pack("<III", 0xFF0000, 0xFF00, 0xFF) if compression == 3 else bytes(12)
            info += bytes(header_size - len(info))
    offset = 14 + len(info) + len(masks) + len(palette)
    head = struct.pack("<2sIHHI", b"BM", offset + len(body), 0, 0, offset)
    return head + info + masks + palette + body


def _dump(bench, name, width, height, system):
    out = Path(bench.unix_path(PICTURES_DIR)) / (name + (".system" if system else ".own") + ".ppm")
    args = ["--fill", "808080", "--dump", PICTURES_DIR + "\\" + out.name]
    if system:
        args.append("--system-bmp")
    probe = bench.start_wine(os.path.join(BUILD, "probe_picture_loader.exe"), *args, width,
                             height, PICTURES_DIR + "\\" + name)
    loaded = Loaded(probe.wait(90), probe.output())
    expect(loaded.result, 0, "result of loading %s (system loader: %s)" % (name, system))
    return out.read_bytes()


def test_bmp_of_every_kind_looks_as_the_system_loader_draws_it(bench):
    d = folder(bench)
    two = pictures.stripes(37, 23, [pictures.RED, pictures.BLUE])
    many = pictures.framed_quadrants(61, 47, (6, 6, 55, 41))
    for kind, pic in (("pal1", two), ("pal4", many), ("pal8", many), ("rle8", many),
                      ("rle4", many), ("rgb565", many), ("core24", many)):
        name = "%s.bmp" % kind
        (d / name).write_bytes(bmp_kind(pic, kind))
        own = _dump(bench, name, 160, 120, system=False)
        system = _dump(bench, name, 160, 120, system=True)
        differing = sum(1 for a, b in zip(own, system) if abs(a - b) > 2)
        expect(differing, 0, "bytes of %s on the surface that differ from the system "
               "loader's drawing (of %d)" % (name, len(own)))
    # Wine's file loader draws this kind black; the picture itself is the reference.
    big = pictures.framed_quadrants(200, 150, (10, 10, 190, 140))
    (d / "v5top32.bmp").write_bytes(bmp_kind(big, "v5top32"))
    expect_fitted(bench, "v5top32.bmp", big, 320, 240, "stretch")


# --- Photos turned upright by their EXIF orientation ------------------------------------

def exif_orientation_segment(value):
    tiff = b"MM\0*" + struct.pack(">I", 8) + struct.pack(">H", 1)
    tiff += struct.pack(">HHIHH", 0x0112, 3, 1, value, 0) + struct.pack(">I", 0)
    body = b"Exif\0\0" + tiff
    return b"\xff\xe1" + struct.pack(">H", len(body) + 2) + body


def test_photos_show_upright_as_their_exif_orientation_says(bench):
    d = folder(bench)
    upright = pictures.framed_quadrants(240, 360, (20, 20, 220, 340))
    # How a camera stores each orientation: the sensor's rows, turned back by the viewer.
    for value, stored_turn in ((6, "-90"), (8, "90"), (3, "180")):
        name = "turned%d.jpg" % value
        source = d / ("stored%d.jpg" % value)
        pictures._convert(source, upright, "jpeg", "-rotate", stored_turn, "-quality", "95",
                          "-sampling-factor", "1x1")
        data = source.read_bytes()
        (d / name).write_bytes(data[:2] + exif_orientation_segment(value) + data[2:])
        expect_fitted(bench, name, upright, 320, 240, "crop")


def test_jpeg_of_every_kind_shows_decoded_to_scale(bench):
    # 1600 x 1200 onto 320 x 240 decodes at 2/8: every kind goes through the scaled decoding.
    d = folder(bench)
    pic = pictures.framed_quadrants(1600, 1200, (100, 100, 1500, 1100))
    grey = pictures.framed_quadrants(1600, 1200, (100, 100, 1500, 1100), frame=(20, 20, 20))
    grey.boxes = [box[:4] + ((v, v, v),) for box, v in zip(grey.boxes, (60, 110, 160, 210))]
    options = "-quality", "95", "-sampling-factor", "1x1"
    pictures._convert(d / "progressive.jpg", pic, "jpeg", "-interlace", "JPEG", *options)
    pictures._convert(d / "cmyk.jpg", pic, "jpeg", "-colorspace", "CMYK", *options)
    pictures._convert(d / "grey.jpg", grey, "jpeg", "-colorspace", "Gray", *options)
    pictures.write_cjpeg(d / "arithmetic.jpg", pic, "-arithmetic")
    for name, shown in (("progressive.jpg", pic), ("cmyk.jpg", pic), ("grey.jpg", grey),
                        ("arithmetic.jpg", pic)):
        expect_fitted(bench, name, shown, 320, 240, "crop")
    # Upright by EXIF after the scaled decoding: 1200 wide once turned, so 3/8.
    upright = pictures.framed_quadrants(1200, 1600, (100, 100, 1100, 1500))
    pictures._convert(d / "stored.jpg", upright, "jpeg", "-rotate", "-90", *options)
    data = (d / "stored.jpg").read_bytes()
    (d / "turned.jpg").write_bytes(data[:2] + exif_orientation_segment(6) + data[2:])
    expect_fitted(bench, "turned.jpg", upright, 320, 240, "crop")
    # An end marker in the middle of the scan: the decoding fails half-way, after the
    # decoder started writing rows; the surface keeps what it had.
    whole = (d / "progressive.jpg").read_bytes()
    (d / "broken.jpg").write_bytes(whole[:len(whole) // 2] + b"\xff\xd9")
    expect_unchanged(bench, "broken.jpg", 320, 240)


def test_jpeg_at_full_scale_looks_as_the_system_decoder_draws_it(bench):
    d = folder(bench)
    pic = pictures.framed_quadrants(400, 300, (30, 30, 370, 270))
    pictures.write_jpeg(d / "full.jpg", pic, quality=80)
    out = Path(bench.unix_path(PICTURES_DIR))
    dumps = {}
    for system in (False, True):
        dump = "full.%s.ppm" % ("system" if system else "own")
        args = ["--dump", PICTURES_DIR + "\\" + dump] + (["--system-jpeg"] if system else [])
        probe = bench.start_wine(os.path.join(BUILD, "probe_picture_loader.exe"), *args, 400,
                                 300, PICTURES_DIR + "\\full.jpg")
        loaded = Loaded(probe.wait(90), probe.output())
        expect(loaded.result, 0, "result of loading full.jpg (system decoder: %s)" % system)
        dumps[system] = (out / dump).read_bytes()
    worst = max(abs(a - b) for a, b in zip(dumps[False], dumps[True]))
    expect(worst <= 3, True, "largest difference to the system decoder's pixels at 1/1: %d "
           "levels" % worst)


# --- Content of another format than the name's ------------------------------------------

def test_content_that_is_not_the_names_format_is_skipped(bench):
    d = folder(bench)
    pic = pictures.quadrants(64, 48)
    sources = {"bmp": pictures.bmp_bytes(pic), "emf": pictures.emf_bytes(pic)}
    pictures.write_gif(d / "real.gif", pic)
    pictures.write_jpeg(d / "real.jpg", pic)
    sources["gif"] = (d / "real.gif").read_bytes()
    sources["jpg"] = (d / "real.jpg").read_bytes()
    for content, data in sources.items():
        for ending in ("bmp", "gif", "jpg", "emf"):
            if ending == content:
                continue
            name = "%s_as.%s" % (content, ending)
            (d / name).write_bytes(data)
            expect_unchanged(bench, name)
