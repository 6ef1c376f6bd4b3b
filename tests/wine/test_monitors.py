"""Every monitor covered in a full-screen run: on a bench with two monitors the second gets a
topmost, cursorless window of the saver's own showing a picture show of its own (black with
"Pictures on every monitor" off or a video mode chosen), input there ends the saver by the
same rules as on the primary, and the show on the primary stays as it was."""

import time

import pictures
from winebench import SAVER_CLASS, VELLUTOR_KEY, expect, options, settings_bytes, wait_for

COVER_CLASS = "VellutorCover"
PRIMARY = (0, 0, 1024, 768)
SECOND = (1024, 0, 1824, 600)
WS_POPUP = 0x80000000
WS_EX_TOPMOST = 0x00000008
PANEL_GREEN = (0x20, 0xC0, 0x40)
FAULT_EXIT_CODE = 3
EVERY_MONITOR = "PicturesOnEveryMonitor"
SOLIDS = (pictures.RED, pictures.BLUE, pictures.YELLOW)


def covers_of(bench, pid):
    return [w for w in bench.visible_windows() if w[2] == COVER_CLASS and w[1] == pid]


def start_saver(bench):
    saver = bench.start_scr("/s")
    window = bench.wait_window(cls=SAVER_CLASS, timeout=30, proc=saver)
    wait_for(lambda: bench.find_window(cls=COVER_CLASS), 20, "the cover window")
    return saver, window


def still_running(saver, what, seconds=1.0):
    try:
        code = saver.wait(seconds)
    except AssertionError:
        return
    raise AssertionError("%s: expected the saver to keep running, it ended with %r"
                         % (what, code))


def add_solids(bench):
    for number, colour in enumerate(SOLIDS):
        pictures.write(bench.unix_path(bench.images_dir + "\\s%d.bmp" % number),
                       pictures.Picture(64, 48, colour))


def dominant(shot, share=0.6):
    """The picture colour that at least `share` of the shot shows, or None."""
    counts = {}
    for at in range(0, len(shot.data), 3 * 13):
        key = tuple(v // 32 for v in shot.data[at:at + 3])
        counts[key] = counts.get(key, 0) + 1
    best = max(counts, key=counts.get)
    if counts[best] < share * sum(counts.values()):
        return None
    centre = tuple(v * 32 + 16 for v in best)
    return next((c for c in SOLIDS + ((0, 0, 0),) if pictures.close(c, centre, 48)), None)


def monitor_colours(bench, primary, second):
    """The picture colour each monitor shows (x y w h on the X screen), or None."""
    shot = bench.screenshot()
    return dominant(shot.crop(*primary)), dominant(shot.crop(*second))


@options(monitors=2)
def test_second_monitor_gets_a_black_topmost_cursorless_cover_and_the_primary_keeps_the_show(
        bench):
    # Pictures on every monitor off: the cover stays black whatever the folder holds.
    bench.reg_write(VELLUTOR_KEY, EVERY_MONITOR, 0)
    add_solids(bench)
    monitors = bench.driver("monitors").values("monitor")
    expect(sorted(monitors), sorted(["%d %d %d %d 1" % PRIMARY, "%d %d %d %d 0" % SECOND]),
           "monitors Wine reports on the two-monitor bench")
    # Another program's window on the second monitor, as a user would leave it open.
    panel = bench.start_driver("panel", 1124, 100, 600, 400, 60000)
    wait_for(lambda: "panel" in panel.output(), 20, "the panel window")
    bench.mousemove(1400, 300)
    saver, window = start_saver(bench)

    expect(window.rect, PRIMARY, "saver window rectangle")
    cover = bench.find_window(cls=COVER_CLASS)
    expect((cover.rect, bool(cover.style & WS_POPUP), cover.topmost, cover.pid),
           (SECOND, True, True, window.pid), "cover (rect, pop-up, topmost, saver's process)")
    expect(len(covers_of(bench, window.pid)), 1, "cover windows")
    expect(bench.driver("cursor").int("cursor"), 0, "cursor over the cover")

    wait_for(lambda: monitor_colours(bench, (0, 0, 1024, 768), (1024, 0, 800, 600))[0]
             in SOLIDS, 30, "a picture on the primary")
    shot = bench.screenshot()
    second = shot.crop(SECOND[0], 0, SECOND[2] - SECOND[0], SECOND[3])
    expect((second.is_uniform(), second.pixel(0, 0)), (True, (0, 0, 0)),
           "second monitor (all one colour, that colour) with the panel behind the cover")
    bench.key("a")
    expect(saver.wait(30), 0, "exit code after a key")
    bench.wait_no_window(cls=COVER_CLASS, timeout=10)
    shot = bench.screenshot()
    expect(shot.pixel(1424, 300), PANEL_GREEN, "the panel once the saver has ended")
    panel.kill()


@options(monitors=2)
def test_click_and_pointer_drift_on_the_second_monitor_end_the_saver(bench):
    # The pointer rests on the second monitor before each run, so that the first move
    # takes the reference there.
    bench.mousemove(1400, 300)
    saver, _ = start_saver(bench)
    bench.mousemove(1405, 305)
    still_running(saver, "a drift of 10 on the second monitor")
    bench.mousemove(1412, 305)
    expect(saver.wait(30), 0, "exit code after a drift of 17 on the second monitor")
    bench.wait_no_window(cls=COVER_CLASS, timeout=10)

    bench.mousemove(1500, 200)
    saver, _ = start_saver(bench)
    still_running(saver, "the pointer resting on the second monitor")
    bench.click(3)
    expect(saver.wait(30), 0, "exit code after a right click on the second monitor")

    bench.mousemove(1500, 200)
    saver, _ = start_saver(bench)
    bench.click(1)
    expect(saver.wait(30), 0, "exit code after a left click on the second monitor")


WM_DISPLAYCHANGE = 0x007E


# Two monitors of one size: the primary's show copies the pictures the second monitor's show
# fitted a cycle earlier, and must still show its own.
@options(monitors=2, second_size=(1024, 768))
def test_second_monitor_shows_pictures_of_its_own_never_the_primarys(bench):
    add_solids(bench)
    bench.mousemove(1400, 300)
    saver, window = start_saver(bench)
    cover = bench.find_window(cls=COVER_CLASS)
    expect((cover.rect, cover.topmost, cover.pid), ((1024, 0, 2048, 768), True, window.pid),
           "the second monitor's window (rect, topmost, saver's process)")
    primary, second = (0, 0, 1024, 768), (1024, 0, 1024, 768)
    wait_for(lambda: monitor_colours(bench, primary, second)[1] in SOLIDS, 30,
             "a picture on the second monitor")
    # Three pictures for two monitors: one picture apart, changing at other moments, the
    # two never show the same one. Reveals under way show no single colour and are left out.
    pairs = []
    deadline = time.monotonic() + 14
    while time.monotonic() < deadline:
        pair = monitor_colours(bench, primary, second)
        if pair[0] in SOLIDS and pair[1] in SOLIDS:
            pairs.append(pair)
        time.sleep(0.7)
    expect(len(pairs) >= 4, True, "moments with a whole picture on each monitor: %r" % pairs)
    expect([p for p in pairs if p[0] == p[1]], [], "moments with the same picture on both")
    expect(len({p[1] for p in pairs}) >= 2, True,
           "pictures the second monitor went through: %r" % pairs)
    expect(len({p[0] for p in pairs}) >= 2, True,
           "pictures the primary went through: %r" % pairs)
    bench.key("a")
    expect(saver.wait(30), 0, "exit code after a key")


@options(monitors=2, seams=["decode-fault"])
def test_a_picture_that_faults_on_the_second_monitor_is_the_one_passed_by_later(bench):
    # The second monitor's show starts one picture further on: it decodes the second picture
    # of the listing while the primary's decodes the first, and the fault is the second's.
    add_solids(bench)
    order = [n for n in bench.driver("listdir", bench.images_dir).values("entry")
             if n.endswith(".bmp")]
    bench.seams = ["decode-fault=" + order[1]]
    bench.write_settings(settings_bytes(folder=bench.images_dir))
    saver = bench.start_scr("/s")
    expect(saver.wait(60), FAULT_EXIT_CODE, "exit code of the run that faulted on " + order[1])
    skipped = bench.read_file(bench.install_dir + "\\vellutor.skp") or b""
    expect([name for name in order if name.encode() + b"\0" in skipped], [order[1]],
           "pictures \"vellutor.skp\" names after the second monitor's fault")


@options(monitors=2, second="left")
def test_a_monitor_left_of_the_primary_shows_the_whole_picture_and_its_input_ends_the_saver(
        bench):
    # On the X screen the left monitor is 0,0-800,600 and the primary 800,0-1824,768.
    bench.add_picture("q.bmp", pictures.bmp_bytes(pictures.quadrants(320, 240)))
    monitors = bench.driver("monitors").values("monitor")
    expect(sorted(monitors), sorted(["0 0 1024 768 1", "-800 0 0 600 0"]),
           "monitors Wine reports with the second one on the left")
    # The pointer rests at -300,300 on the Windows screen: the run's first move takes it
    # as the reference, though its coordinates sum to 0.
    bench.mousemove(500, 300)
    saver, window = start_saver(bench)
    cover = bench.find_window(cls=COVER_CLASS)
    expect(cover.rect, (-800, 0, 0, 600), "the left monitor's window")
    # The picture's four quadrants fill the monitor from its own top-left corner.
    corners = [(30, 30), (770, 30), (30, 570), (770, 570)]

    def quartered():
        shot = bench.screenshot()
        return all(pictures.close(shot.pixel(x, y), colour, 40)
                   for (x, y), colour in zip(corners, pictures.QUADRANT_COLOURS))
    wait_for(quartered, 30, "the quadrants in the left monitor's corners")
    bench.mousemove(512, 305)
    expect(saver.wait(30), 0, "exit code after a drift of 17 from -300,300")
    bench.wait_no_window(cls=COVER_CLASS, timeout=10)


@options(monitors=2)
def test_a_video_mode_keeps_the_second_monitor_black(bench):
    add_solids(bench)
    # The two-monitor bench lists one mode, the primary's own: choosing it still takes the
    # exclusive level and sets the mode.
    bench.write_settings(settings_bytes(folder=bench.images_dir, video_mode=1))
    bench.mousemove(1400, 300)
    saver, _ = start_saver(bench)
    time.sleep(4)
    shot = bench.screenshot()
    second = shot.crop(SECOND[0], 0, SECOND[2] - SECOND[0], SECOND[3])
    expect((second.is_uniform(), second.pixel(0, 0)), (True, (0, 0, 0)),
           "second monitor (all one colour, that colour) in a chosen video mode")
    bench.key("a")
    expect(saver.wait(30), 0, "exit code after a key")


WM_DISPLAYCHANGE = 0x007E


@options(monitors=2)
def test_a_display_change_without_a_new_layout_keeps_the_second_monitors_show(bench):
    add_solids(bench)
    bench.mousemove(1400, 300)
    saver, window = start_saver(bench)
    before = bench.find_window(cls=COVER_CLASS)
    wait_for(lambda: monitor_colours(bench, (0, 0, 1024, 768), (1024, 0, 800, 600))[1]
             in SOLIDS, 30, "a picture on the second monitor")
    # What the system sends every top-level window on wake, with nothing changed.
    bench.driver("post", window.hwnd, WM_DISPLAYCHANGE, 24, (768 << 16) | 1024)
    time.sleep(2)
    after = bench.find_window(cls=COVER_CLASS)
    expect((after.hwnd, after.rect, len(covers_of(bench, window.pid))),
           (before.hwnd, SECOND, 1), "the second monitor's window (handle, rect) and count")
    expect(saver.alive, True, "saver running through the display change")
    bench.key("a")
    expect(saver.wait(30), 0, "exit code after a key")


@options(monitors=2, seams=["monitor-layout-flip"])
def test_shows_are_made_anew_when_the_monitors_change(bench):
    # The test build sees the second monitor half as wide at every other look.
    add_solids(bench)
    bench.mousemove(1400, 300)
    saver, window = start_saver(bench)
    before = bench.find_window(cls=COVER_CLASS)
    for rect in ((1024, 0, 1424, 600), SECOND):
        # What the system sends every top-level window when a monitor comes or goes.
        bench.driver("post", window.hwnd, WM_DISPLAYCHANGE, 24, (768 << 16) | 1024)

        def replaced():
            cover = bench.find_window(cls=COVER_CLASS)
            return cover if cover is not None and cover.hwnd != before.hwnd else None
        cover = wait_for(replaced, 20, "a new window after the display change to %r" % (rect,))
        expect((cover.rect, cover.visible, cover.topmost, len(covers_of(bench, window.pid))),
               (rect, True, True, 1), "new window (rect, visible, topmost) and the count")
        width = rect[2] - rect[0]
        wait_for(lambda: monitor_colours(bench, (0, 0, 1024, 768), (1024, 0, width, 600))[1]
                 in SOLIDS, 30, "a picture on the remade second monitor")
        before = cover
    expect(saver.alive, True, "saver running through the display changes")
    bench.key("a")
    expect(saver.wait(30), 0, "exit code after a key")
