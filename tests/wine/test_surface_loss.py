"""A display that comes back: when the surfaces are lost (the test build loses them on
demand as the second picture starts), the render thread waits, paced, until they restore
and goes on with the next picture; a stop ends the saver while it waits."""

import os
import time

import pictures
from winebench import BUILD, SAVER_CLASS, expect, options, settings_bytes

WIDTH, HEIGHT = 320, 240
# Plain pictures held 2 s each: what the screen shows is the picture itself.
PLAIN = dict(drop_period=14, blur=0, psychedelia=0)
COLOURS = {"a.bmp": pictures.RED, "b.bmp": pictures.GREEN, "c.bmp": pictures.BLUE}


def start_show(bench):
    bench.write_settings(settings_bytes(folder=bench.images_dir, **PLAIN))
    for name, colour in COLOURS.items():
        bench.add_picture(name, pictures.bmp_bytes(pictures.Picture(64, 48, colour)))
    bench.mousemove(0, 0)
    saver = bench.start_scr("/s")
    bench.wait_window(cls=SAVER_CLASS, timeout=30, proc=saver)
    return saver


def shown_colour(bench):
    """The picture colour that covers nearly the whole screen, or None."""
    shot = bench.screenshot()
    points = [shot.pixel(x, y) for y in range(8, HEIGHT, 29) for x in range(8, WIDTH, 31)]
    for colour in COLOURS.values():
        if sum(1 for p in points if pictures.close(p, colour, 40)) >= 0.95 * len(points):
            return colour
    return None


def colours_shown(bench, seconds, until=None):
    seen = []
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline and not (until and until(seen)):
        colour = shown_colour(bench)
        if colour is not None and (not seen or seen[-1] != colour):
            seen.append(colour)
        time.sleep(0.2)
    return seen


@options(seams=["surface-loss"], width=WIDTH, height=HEIGHT)
def test_show_goes_on_with_the_next_picture_once_lost_surfaces_restore(bench):
    saver = start_show(bench)
    # The second picture is never revealed the first time round: the surfaces are lost
    # as it starts, and come back about a second later.
    seen = colours_shown(bench, 45, until=lambda seen: len(set(seen)) == len(COLOURS))
    expect(sorted(set(seen)), sorted(COLOURS.values()),
           "pictures shown in turn after the loss (sequence %r)" % seen)
    bench.key("a")
    expect(saver.wait(30), 0, "exit code after a key")


@options(seams=["surface-loss-stays"], width=WIDTH, height=HEIGHT)
def test_saver_ends_on_a_key_while_it_waits_for_the_display(bench):
    saver = start_show(bench)
    seen = colours_shown(bench, 30, until=lambda seen: len(seen) >= 1)
    expect(len(seen), 1, "the first picture on screen")
    # Two seconds of hold and the next reveal would have shown another picture by now.
    time.sleep(4)
    later = colours_shown(bench, 2)
    expect(later, seen, "the screen while the surfaces stay lost")
    expect(saver.alive, True, "saver still running while it waits")
    bench.key("a")
    expect(saver.wait(30), 0, "exit code after a key during the wait")
    bench.wait_no_window(cls=SAVER_CLASS, timeout=10)


@options(width=WIDTH, height=HEIGHT)
def test_show_goes_on_after_another_program_changes_the_display_mode_and_back(bench):
    # Wine 8 keeps the surfaces through this; Windows may lose them, which the seams cover.
    saver = start_show(bench)
    first = colours_shown(bench, 30, until=lambda seen: len(seen) >= 1)
    expect(len(first), 1, "the first picture on screen")
    changed = bench.driver("setmode", WIDTH, HEIGHT, 16, 1500)
    expect((changed.int("changed"), changed.int("restored")), (0, 0),
           "ChangeDisplaySettings results (to 16 bits, back)")
    later = colours_shown(bench, 30, until=lambda seen: len(set(seen)) == len(COLOURS))
    expect(sorted(set(later)), sorted(COLOURS.values()),
           "pictures shown in turn after the mode change (sequence %r)" % later)
    bench.key("a")
    expect(saver.wait(30), 0, "exit code after a key")




@options(seams=["surface-loss", "surface-wrong-mode"], width=WIDTH, height=HEIGHT)
def test_saver_ends_by_itself_when_no_surface_takes_the_new_display_mode(bench):
    saver = start_show(bench)
    colours_shown(bench, 30, until=lambda seen: len(seen) >= 1)
    # Lost at the second picture (within 4 s), then 2 s of tries for new surfaces.
    expect(saver.wait(30), 0, "exit code of a saver whose surfaces cannot be made again")
    bench.wait_no_window(cls=SAVER_CLASS, timeout=10)


def test_surfaces_made_for_another_colour_depth_are_made_again(bench):
    # In-process: Wine shows a depth change only to the process that made it.
    proc = bench.start_wine(os.path.join(BUILD, "probe_surface_recovery.exe"), bench.width,
                           bench.height)
    expect(proc.wait(60), 0, "probe exit code (output %r)" % proc.output())
    seen = dict(line.split(" ", 1) for line in proc.output().splitlines() if " " in line)
    expect(seen.get("restore"), "8876024b", "Restore of the old primary (DDERR_WRONGMODE)")
    expect((seen.get("lost"), seen.get("recovered")), ("1", "1"), "(lost, recovered)")
    expect((seen.get("screen"), seen.get("picture")), ("16 1", "16 1"),
           "new surfaces (bits per pixel, lock works)")
