"""Water drops under Wine: rings on a flat picture that die away again, the size of the
smallest ripple, and drops on an 8-bit screen."""

import os
import time

import pictures
from winebench import BUILD, SAVER_CLASS, expect, options, settings_bytes, still_sampling

GREY = (128, 128, 128)
SMALLEST_DROP_SIDE = 98  # what a drop of the smallest wave size puts back on the screen


def start_on_grey(bench, **fields):
    """The saver over one flat grey picture, one drop after each reveal."""
    settings = dict(drop_period=15, blur=0, psychedelia=0, **fields)
    bench.write_settings(settings_bytes(folder=bench.images_dir, **settings))
    pictures.write_bmp(bench.unix_path(bench.images_dir) + "/grey.bmp",
                       pictures.Picture(320, 240, GREY))
    saver = bench.start_scr("/s")
    bench.wait_window(cls=SAVER_CLASS, timeout=30, proc=saver)
    return saver


def changed_box(screen, reference, tolerance=6):
    """The bounding box (left, top, right, bottom) of pixels unlike `reference`, and their
    count; None for a screen that shows only the reference colour. Black pixels are left
    out: those are the few that no reveal has reached yet, still showing the black screen
    of the start, which a ripple over grey never makes."""
    left = top = None
    right = bottom = -1
    count = 0
    data, width = screen.data, screen.width
    for y in range(screen.height):
        row = data[y * width * 3:(y + 1) * width * 3]
        for x in range(0, width * 3, 3):
            if row[x] == row[x + 1] == row[x + 2] == 0:
                continue
            if (abs(row[x] - reference[0]) > tolerance or abs(row[x + 1] - reference[1])
                    > tolerance or abs(row[x + 2] - reference[2]) > tolerance):
                px = x // 3
                count += 1
                left = px if left is None or px < left else left
                right = max(right, px)
                top = y if top is None else top
                bottom = y
    return ((left, top, right + 1, bottom + 1), count) if count else (None, 0)


def watch(bench, seconds, until=None, longest=60):
    """Screenshots over `seconds`: (changed box, changed count) of each against grey. With
    `until`, watching goes on up to `longest` seconds while `until(frames)` is false, since
    a loaded machine may drop later."""
    frames = []
    started = time.monotonic()
    while still_sampling(started, seconds, until and (lambda: until(frames)), longest):
        frames.append(changed_box(bench.screenshot(), GREY))
    return frames


def rings_then_settled(frames):
    rings = [i for i, (_, count) in enumerate(frames) if count >= 200]
    return bool(rings) and any(count < 2000 for _, count in frames[rings[0] + 1:])


def test_a_drop_shows_rings_that_settle_back_to_the_picture(bench):
    # The largest drop plays longest, so screenshots are most likely to catch its rings.
    saver = start_on_grey(bench, wave_size=4)
    frames = watch(bench, 15, until=rings_then_settled)
    bench.key("a")
    expect(saver.wait(30), 0, "exit code")
    rings = [i for i, (_, count) in enumerate(frames) if count >= 200]
    expect(bool(rings), True, "a frame with rings among %d (changed counts %r)"
           % (len(frames), [c for _, c in frames]))
    settled = [i for i, (_, count) in enumerate(frames) if i > rings[0] and count < 2000]
    expect(bool(settled), True, "the grey picture back after the rings (changed counts %r)"
           % [c for _, c in frames])


# A small screen makes screenshots quick, so that they follow a drop frame by frame.
@options(width=320, height=240)
def test_smallest_wave_size_changes_only_a_small_square(bench):
    saver = start_on_grey(bench, wave_size=0)
    # Frames before and during the grey picture's reveal differ almost everywhere; a ripple
    # of this size can change no more than its square.
    most = bench.width * bench.height // 4
    frames = watch(bench, 12, until=lambda seen: any(0 < count <= most for _, count in seen))
    bench.key("a")
    expect(saver.wait(30), 0, "exit code")
    boxes = [box for box, count in frames if 0 < count <= most]
    expect(bool(boxes), True, "a frame with a ripple among %d" % len(frames))
    for left, top, right, bottom in boxes:
        expect(right - left <= SMALLEST_DROP_SIDE and bottom - top <= SMALLEST_DROP_SIDE, True,
               "changed pixels inside a %d-pixel square: box %r"
               % (SMALLEST_DROP_SIDE, (left, top, right, bottom)))


def run_drop_probe(bench, wave_size, seed=1):
    """One drop in-process on the real surfaces: (depth, changed pixels at most, box)."""
    proc = bench.start_wine(os.path.join(BUILD, "probe_drop_ripple.exe"), str(wave_size),
                            str(seed))
    expect(proc.wait(90), 0, "drop probe exit code")
    out = dict(line.split(" ", 1) for line in proc.output().splitlines() if " " in line)
    box = tuple(int(v) for v in out["box"].split()) if "box" in out else None
    return int(out["depth"]), int(out["most"]), box


def test_drop_probe_keeps_the_smallest_ripple_inside_its_square(bench):
    for seed in (1, 7, 99):
        depth, most, box = run_drop_probe(bench, 0, seed)
        expect(most > 0, True, "pixels changed by a drop at seed %d" % seed)
        left, top, right, bottom = box
        expect(right - left <= SMALLEST_DROP_SIDE and bottom - top <= SMALLEST_DROP_SIDE, True,
               "changed pixels inside a %d-pixel square at seed %d: box %r"
               % (SMALLEST_DROP_SIDE, seed, box))


@options(depth=8)
def test_drops_ripple_on_an_eight_bit_screen(bench):
    # Wine shows an 8-bit primary surface without a palette as black, so the drop is
    # watched in the surface's own bytes.
    depth, most, box = run_drop_probe(bench, 2)
    expect(depth, 8, "bits per pixel of the primary surface")
    expect(most >= 200, True, "pixels changed by a drop on an 8-bit screen: %d" % most)


def ripple_runs(frames, most):
    """Runs of consecutive screenshots that show one ripple in motion: a few changed pixels
    (at most `most`), unlike those of the screenshot before (what a finished drop leaves
    behind stands still), and all within one drop's square (later drops fall elsewhere).
    [(first time, last time)]."""
    runs, run, before = [], None, None

    def fits(union, box):
        left, top = min(union[0], box[0]), min(union[1], box[1])
        right, bottom = max(union[2], box[2]), max(union[3], box[3])
        inside = right - left <= SMALLEST_DROP_SIDE and bottom - top <= SMALLEST_DROP_SIDE
        return (left, top, right, bottom) if inside else None
    for at, seen in frames:
        box, count = seen
        moving = 0 < count <= most and seen != before
        before = seen
        union = fits(run[2], box) if run and moving else None
        if union:
            run = (run[0], at, union)
            continue
        if run:
            runs.append(run[:2])
        run = (at, at, box) if moving else None
    if run:
        runs.append(run[:2])
    return runs


@options(width=320, height=240)
def test_smallest_ripple_stays_in_view_for_at_least_a_second(bench):
    # A wave-size-0 drop is 130 frames, about 2.2 s at 60 Hz; unpaced it was over in 10 ms.
    saver = start_on_grey(bench, wave_size=0)
    most = bench.width * bench.height // 4
    frames = []
    started = time.monotonic()

    def seen_a_second():
        return any(last - first >= 1.0 for first, last in ripple_runs(frames, most))
    while still_sampling(started, 3, lambda: seen_a_second(), 40):
        shot = bench.screenshot()
        frames.append((time.monotonic(), changed_box(shot, GREY)))
    bench.key("a")
    expect(saver.wait(30), 0, "exit code")
    runs = [round(last - first, 2) for first, last in ripple_runs(frames, most)]
    expect(any(span >= 1.0 for span in runs), True,
           "a ripple in view for at least 1 s in consecutive screenshots; saw runs of %r s "
           "over %d screenshots" % (runs, len(frames)))


def run_paths_probe(bench):
    """Lines of the paths probe as tuples, and the screen's depth."""
    proc = bench.start_wine(os.path.join(BUILD, "probe_ripple_paths.exe"))
    expect(proc.wait(120), 0, "ripple paths probe exit code")
    lines = proc.output().splitlines()
    depth = [int(line.split()[1]) for line in lines if line.startswith("depth ")]
    runs = [line.split()[1:] for line in lines if line.startswith("paths ")]
    return (depth[0] if depth else None), runs


def expect_paths_agree(bench, depth, compared_formats):
    """Drops as the saver plays them (frames written straight into the picture surface, and
    repeated frames left out) leave the bytes that every frame through GDI leaves, in the
    picture surface and on the screen, for small and clipped large drops. GDI frames
    pass through a bitmap of the screen's depth, so a picture surface deeper than the screen
    (which the saver never makes: its picture has the screen's format) is not compared."""
    seen_depth, runs = run_paths_probe(bench)
    expect(seen_depth, depth, "bits per pixel of the primary surface")
    expect(sorted({run[0] for run in runs if run[3] == "1"}), ["24", "555", "565", "screen"],
           "picture formats whose frames are written directly")
    for name, wave, seed, _direct, same_picture, same_screen, changed in runs:
        if name not in compared_formats:
            continue
        what = "%s picture, wave size %s, seed %s" % (name, wave, seed)
        expect(int(changed) > 100, True, "bytes a drop changed in the %s: %s" % (what, changed))
        expect(same_picture, "1", "the saver's frames leave the GDI frames' picture bytes (%s)"
               % what)
        expect(same_screen, "1", "the saver's frames leave the GDI frames' screen bytes (%s)"
               % what)


@options(width=480, height=360)
def test_direct_ripple_frames_match_gdi_frames_in_every_picture_format(bench):
    expect_paths_agree(bench, 32, ["screen", "565", "555", "24"])


@options(width=480, height=360, depth=16)
def test_direct_ripple_frames_match_gdi_frames_on_a_sixteen_bit_screen(bench):
    expect_paths_agree(bench, 16, ["screen", "565", "555"])


@options(width=480, height=360, depth=8)
def test_ripple_frames_on_an_eight_bit_screen_go_through_gdi(bench):
    seen_depth, runs = run_paths_probe(bench)
    expect(seen_depth, 8, "bits per pixel of the primary surface")
    screen_runs = [run for run in runs if run[0] == "screen"]
    expect(len(screen_runs) > 0, True, "drops played on the 8-bit picture surface")
    expect([run[3] for run in screen_runs], ["0"] * len(screen_runs),
           "an 8-bit picture surface gets its frames through GDI")
