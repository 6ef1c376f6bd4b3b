"""Pictures on screen under Wine: each format revealed and fitted, the order in which the
folder's pictures follow one another, the remembered picture, broken pictures among good
ones, and a 16-bit display mode."""

import time

import pictures
from winebench import SAVER_CLASS, expect, settings_bytes, wait_for

WIDTH, HEIGHT = 1024, 768
# Plain pictures, no blur, no colour change, the 2-second hold instead of drops, every
# format on and nothing cut out: what the screen shows is the fitted picture itself.
PLAIN = dict(drop_period=14, blur=0, psychedelia=0, emf=1, gif_cut=0)
SOLID_COLOURS = (pictures.RED, pictures.GREEN, pictures.BLUE, pictures.YELLOW,
                 pictures.MAGENTA, pictures.CYAN)


def configure(bench, **fields):
    bench.write_settings(settings_bytes(folder=bench.images_dir, **dict(PLAIN, **fields)))


def add(bench, name, pic):
    """Writes `pic` in the format of `name`'s ending into the images folder."""
    path = bench.unix_path(bench.images_dir) + "/" + name
    pictures.write(path, pic)
    return name


def start_saver(bench):
    saver = bench.start_scr("/s")
    bench.wait_window(cls=SAVER_CLASS, timeout=30, proc=saver)
    return saver


def end_saver(bench, saver):
    bench.key("a")
    expect(saver.wait(30), 0, "exit code of the saver ended by a key")


def mismatches(screen, pic, fit, tolerance, step=37):
    """Points of a grid over the screen whose colour is not the fitted picture's."""
    wrong = []
    for y in range(step // 2, HEIGHT, step):
        for x in range(step // 2, WIDTH, step):
            if not pic.is_clear(x, y, WIDTH, HEIGHT, fit):
                continue
            expected = pic.expected_at(x, y, WIDTH, HEIGHT, fit)
            if not pictures.close(screen.pixel(x, y), expected, tolerance):
                wrong.append(((x, y), screen.pixel(x, y), expected))
    return wrong


def expect_picture_on_screen(bench, pic, fit, tolerance, what):
    def shown():
        screen = bench.screenshot()
        return screen if len(mismatches(screen, pic, fit, tolerance)) <= 2 else None
    try:
        wait_for(shown, 20, "%s on the screen" % what, interval=0.5)
    except AssertionError:
        wrong = mismatches(bench.screenshot(), pic, fit, tolerance)
        raise AssertionError("%s: %d sample points differ, first (point, seen, expected): %r"
                             % (what, len(wrong), wrong[:3])) from None


def nearest_colour(rgb, colours, tolerance=60):
    for colour in colours:
        if pictures.close(rgb, colour, tolerance):
            return colour
    return None


def colours_shown(bench, colours, seconds, points=((300, 200), (700, 500), (512, 384)),
                  with_gaps=False, enough=None):
    """The sequence of picture colours seen over `seconds`, each run of one colour once,
    or until `enough` colours are seen, since a loaded machine walks the folder slower.
    A colour counts when every sample point agrees, so half-revealed frames are skipped.
    With `with_gaps`, each colour comes with the time since the last frame before it that
    showed a picture (for the first, since the call), so a caller can tell a picture it
    may have missed in between."""
    seen = []
    last_seen = time.monotonic()
    deadline = last_seen + seconds
    while time.monotonic() < deadline and (enough is None or len(seen) < enough):
        screen = bench.screenshot()
        now = time.monotonic()
        found = {nearest_colour(screen.pixel(x, y), colours) for x, y in points}
        if len(found) == 1 and None not in found:
            colour = found.pop()
            if not seen or seen[-1][0] != colour:
                seen.append((colour, now - last_seen))
            last_seen = now
        time.sleep(0.2)
    return seen if with_gaps else [colour for colour, _ in seen]


def listing(bench):
    """The images folder as Windows lists it: the order the saver walks it in."""
    return [name for name in bench.driver("listdir", bench.images_dir).values("entry")
            if name not in (".", "..")]


def test_each_format_is_revealed_fitted_to_the_screen(bench):
    configure(bench)
    images = bench.unix_path(bench.images_dir)
    cases = (
        ("q.bmp", pictures.quadrants(640, 480), "stretch", 12),
        ("q.emf", pictures.quadrants(400, 500), "stretch", 12),
        ("q.gif", pictures.cropped_frame(300, 200, WIDTH, HEIGHT), "crop", 12),
        ("q.jpg", pictures.cropped_frame(1000, 1000, WIDTH, HEIGHT), "crop", 40),
    )
    for name, pic, fit, tolerance in cases:
        for old in list(listing(bench)):
            bench.delete_file(bench.images_dir + "\\" + old)
        pictures.write(images + "/" + name, pic)
        saver = start_saver(bench)
        expect_picture_on_screen(bench, pic, fit, tolerance, name)
        end_saver(bench, saver)
        expect(bench.read_fsl(), name.encode() + b"\0", "vellutor.fsl after showing " + name)


def test_pictures_follow_the_listing_order_and_start_again(bench):
    configure(bench)
    names = ["a.bmp", "b.gif", "c.jpg", "d.emf"]
    colour_of = {}
    for name, colour in zip(names, SOLID_COLOURS):
        add(bench, name, pictures.Picture(320, 240, colour))
        colour_of[name] = colour
    bench.add_picture("notes.txt", b"not a picture")
    order = [colour_of[n] for n in listing(bench) if n in colour_of]
    expect(len(order), 4, "pictures in the listing")

    saver = start_saver(bench)
    seen = colours_shown(bench, SOLID_COLOURS, 60, with_gaps=True, enough=6)
    end_saver(bench, saver)
    expect(len(seen) >= 6, True, "pictures seen in 60 s: %r" % seen)
    # Each picture stands for 2 s, so screenshots see every one of them; on a heavily loaded
    # machine one may still slip by, so a step of two counts as one picture missed. Going
    # back, or standing still, is a wrong order; most steps must be single ones.
    position = order.index(seen[0][0])
    steps = []
    for colour, gap in seen[1:]:
        step = (order.index(colour) - position) % len(order)
        expect(step in (1, 2), True, "step from %r to %r in the listing order %r "
               "(%.1f s between screenshots); all seen: %r"
               % (order[position], colour, order, gap, seen))
        steps.append(step)
        position = order.index(colour)
    expect(steps.count(1) >= 2 * len(steps) / 3, True,
           "single steps through the listing: %r, all seen: %r" % (steps, seen))
    expect(set(order) <= {colour for colour, _ in seen}, True, "every picture shown: %r" % seen)


def test_remembered_picture_is_resumed_on_the_next_start(bench):
    configure(bench, remember_picture=1)
    # Five pictures: a walk that ignored the remembered one would start four steps away.
    names = ["a.bmp", "b.bmp", "c.bmp", "d.bmp", "e.bmp"]
    colour_of = {}
    for name, colour in zip(names, SOLID_COLOURS):
        add(bench, name, pictures.Picture(320, 240, colour))
        colour_of[name] = colour
    order = [n for n in listing(bench) if n in colour_of]
    remembered = order[1]
    bench.write_fsl(remembered.encode() + b"\0")

    saver = start_saver(bench)
    expect_walk_starts_at(bench, order, colour_of, remembered)
    end_saver(bench, saver)
    shown_last = bench.read_fsl()
    expect(shown_last[-1:], b"\0", "vellutor.fsl ends with its terminator")
    expect(shown_last[:-1].decode() in colour_of, True,
           "vellutor.fsl %r names a picture of the folder" % shown_last)

    # Off, the remembered name is not looked for: the walk starts at the first picture.
    configure(bench, remember_picture=0)
    bench.write_fsl(order[2].encode() + b"\0")
    saver = start_saver(bench)
    expect_walk_starts_at(bench, order, colour_of, order[0])
    end_saver(bench, saver)


def expect_walk_starts_at(bench, order, colour_of, first):
    """The saver, just started, shows `first` and then the pictures after it. Each picture
    stands for at least 2 s, so a first screenshot that comes late may only have missed as
    many pictures as that time allows."""
    seen = colours_shown(bench, SOLID_COLOURS, 20, with_gaps=True, enough=1)
    expect(bool(seen), True, "a picture shown within 20 s")
    colour, waited = seen[0]
    names = [name for name in order if colour_of[name] == colour]
    steps = (order.index(names[0]) - order.index(first)) % len(order)
    expect(steps <= int(waited / 2.0), True,
           "first picture seen %s, %d after %s in the listing %r, %.1f s after the start"
           % (names[0], steps, first, order, waited))


def test_broken_pictures_are_skipped_and_the_saver_keeps_running(bench):
    configure(bench)
    images = bench.unix_path(bench.images_dir)
    add(bench, "good.bmp", pictures.Picture(320, 240, pictures.RED))
    add(bench, "fine.jpg", pictures.Picture(320, 240, pictures.BLUE))
    pictures.write_empty(images + "/empty.gif")
    pictures.write_truncated(images + "/cut.jpg", pictures.quadrants(400, 300))
    pictures.write_truncated(images + "/cut.bmp", pictures.quadrants(400, 300))
    pictures.write_garbage_after_header(images + "/junk.gif", pictures.quadrants(200, 100))
    pictures.write_noise(images + "/noise.emf")
    bench.add_picture("folder.bmp", b"")  # replaced by a folder below
    bench.delete_file(bench.images_dir + "\\folder.bmp")
    import os
    os.mkdir(images + "/folder.bmp")

    saver = start_saver(bench)
    seen = colours_shown(bench, (pictures.RED, pictures.BLUE), 40, enough=2)
    expect(set(seen), {pictures.RED, pictures.BLUE}, "good pictures shown among broken ones")
    expect(saver.alive, True, "saver running after many broken pictures")
    end_saver(bench, saver)


def test_pictures_are_revealed_in_a_sixteen_bit_display_mode(bench):
    # The second listed mode is the 16-bit one under Wine.
    configure(bench, video_mode=2)
    pic = pictures.quadrants(640, 480)
    add(bench, "q.bmp", pic)
    saver = start_saver(bench)
    expect_picture_on_screen(bench, pic, "stretch", 16, "q.bmp in 16 bits")
    end_saver(bench, saver)
