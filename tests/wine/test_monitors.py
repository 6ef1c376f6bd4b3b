"""Every monitor covered in a full-screen run: on a bench with two monitors the second gets a
black, topmost, cursorless window of the saver's own, input there ends the saver by the
same rules as on the primary, and the show on the primary stays as it was."""

from winebench import SAVER_CLASS, expect, options, wait_for

COVER_CLASS = "VellutorCover"
PRIMARY = (0, 0, 1024, 768)
SECOND = (1024, 0, 1824, 600)
WS_POPUP = 0x80000000
WS_EX_TOPMOST = 0x00000008
PANEL_GREEN = (0x20, 0xC0, 0x40)


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


@options(monitors=2)
def test_second_monitor_gets_a_black_topmost_cursorless_cover_and_the_primary_keeps_the_show(
        bench):
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


@options(monitors=2)
def test_covers_are_made_anew_when_the_monitors_change(bench):
    bench.mousemove(1400, 300)
    saver, window = start_saver(bench)
    before = bench.find_window(cls=COVER_CLASS)
    # What the system sends every top-level window when a monitor comes or goes.
    bench.driver("post", window.hwnd, WM_DISPLAYCHANGE, 24, (768 << 16) | 1024)

    def replaced():
        cover = bench.find_window(cls=COVER_CLASS)
        return cover if cover is not None and cover.hwnd != before.hwnd else None
    cover = wait_for(replaced, 20, "a new cover after the display change")
    expect((cover.rect, cover.visible, cover.topmost, len(covers_of(bench, window.pid))),
           (SECOND, True, True, 1), "new cover (rect, visible, topmost) and the covers' count")
    expect(saver.alive, True, "saver running through the display change")
    bench.key("a")
    expect(saver.wait(30), 0, "exit code after a key")
