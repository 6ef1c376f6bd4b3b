"""Picture loading under Wine: each format lands on an off-screen DirectDraw surface fitted
as the saver shows it, refused and broken files fail without touching the surface, and
nothing taken on the way is kept."""

import os
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
