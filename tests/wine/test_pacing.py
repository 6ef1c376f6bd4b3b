"""Frames at the display's pace under Wine: how long pictures, reveals and drops stay on the
screen, read from the test build's pace log (every paced frame with the time it went on the
screen) or from the drop probe, and a key in the middle of a paced drop."""

import os
import time

import pictures
from winebench import BUILD, SAVER_CLASS, expect, options, settings_bytes, wait_for

PACE_LOG = r"C:\vellutor\pace.log"
DIALOG_TITLE = "Vellutor - Settings"
CANCEL = 2
REVEAL_STEPS = 13
FRAMES_PER_DROP = {0: 130, 1: 240, 2: 360, 3: 440, 4: 560}
DROP_TOLERANCE = 0.15
# The show's clock: a drop lasts its frames at 60 a second on any display.
STEPS_PER_SECOND = 60
FAST_DISPLAY_TOLERANCE = 0.05


class PaceLog:
    """The pace log: the refresh rate paced at, and the marks in order, each (kind, seconds
    since the pacer started): "P" a new picture, "R" a reveal step shown, "F" a ripple
    frame shown."""

    def __init__(self, text):
        # The saver may be writing the last line as it is read.
        lines = text.splitlines() if text.endswith("\n") else text.splitlines()[:-1]
        header = lines[0].split() if lines else []
        self.refresh_hz = int(header[1]) if len(header) > 1 and header[0] == "refresh" else 0
        self.vblank = len(header) > 3 and header[3] == "1"
        self.marks = []
        for line in lines[1:]:
            parts = line.split()
            if len(parts) == 2 and parts[1].isdigit():
                self.marks.append((parts[0], int(parts[1]) / 1e6))
        self.period = 1.0 / self.refresh_hz if self.refresh_hz else None

    def pictures(self):
        """The marks of each picture's cycle, from its "P" to the next "P" (whole cycles
        only)."""
        starts = [i for i, (kind, _) in enumerate(self.marks) if kind == "P"]
        return [self.marks[a:b] for a, b in zip(starts, starts[1:])]

    def slot(self, seconds):
        return int(seconds / self.period)


def read_pace_log(bench):
    data = bench.read_file(PACE_LOG)
    return PaceLog(data.decode("latin-1") if data else "")


def pictures_logged(bench, count):
    log = read_pace_log(bench)
    return log if sum(1 for kind, _ in log.marks if kind == "P") >= count else None


def start_with_pictures(bench, mode="/s", **fields):
    bench.write_settings(settings_bytes(folder=bench.images_dir, **fields))
    for name, colour in (("a.bmp", pictures.RED), ("b.bmp", pictures.BLUE)):
        pictures.write_bmp(bench.unix_path(bench.images_dir) + "/" + name,
                           pictures.Picture(320, 240, colour))
    saver = bench.start_scr(mode)
    if mode == "/s":
        bench.wait_window(cls=SAVER_CLASS, timeout=30, proc=saver)
    else:
        bench.wait_window(title=DIALOG_TITLE, timeout=30, proc=saver)
    return saver


def check_reveal_and_drops(log, cycle, wave_size, what):
    """One picture's cycle: 13 reveal steps in 13 refreshes of their own, then its drop's
    frames, each in a refresh of its own. (How long a whole drop lasts is checked in the
    drop probe's cases below, away from the picture loads of a running saver.)"""
    reveal = [t for kind, t in cycle if kind == "R"]
    frames = [t for kind, t in cycle if kind == "F"]
    expect(len(reveal), REVEAL_STEPS, "%s: reveal steps" % what)
    expect(len(frames), FRAMES_PER_DROP[wave_size], "%s: ripple frames" % what)
    shown = reveal + frames
    slots = [log.slot(t) for t in shown]
    shared = [i for i in range(1, len(slots)) if slots[i] <= slots[i - 1]]
    expect(shared, [], "%s: frames sharing a refresh with the one before (at %r)"
           % (what, [round(shown[i], 4) for i in shared[:5]]))
    # The last reveal step stays until the first ripple frame replaces part of it.
    reveal_refreshes = (frames[0] - reveal[0]) / log.period
    expect(reveal_refreshes >= REVEAL_STEPS - 1, True,
           "%s: reveal on screen for at least %d refreshes, saw %.1f"
           % (what, REVEAL_STEPS, reveal_refreshes))


def check_default_pictures(bench, refresh_hz, what):
    # The defaults: one drop of wave size 2 per picture, no hold.
    saver = start_with_pictures(bench)
    log = wait_for(lambda: pictures_logged(bench, 2), 45, "two pictures in the pace log",
                   interval=0.5)
    bench.key("a")
    expect(saver.wait(30), 0, "exit code")
    expect(log.refresh_hz, refresh_hz, "refresh rate paced at " + what)
    starts = [t for kind, t in log.marks if kind == "P"]
    for number, (began, ended) in enumerate(zip(starts, starts[1:]), 1):
        expect(ended - began >= 5.0, True,
               "picture %d on screen at least 5 s, saw %.2f s" % (number, ended - began))
    for number, cycle in enumerate(log.pictures(), 1):
        check_reveal_and_drops(log, cycle, 2, "picture %d" % number)


@options(seams=["pace-log"])
def test_default_settings_keep_each_picture_five_seconds_at_sixty_hertz(bench):
    check_default_pictures(bench, 60, "on a screen that reports none")


@options(seams=["pace-log", "refresh-144"])
def test_default_settings_keep_each_picture_five_seconds_on_a_144_hertz_display(bench):
    check_default_pictures(bench, 144, "on a screen that reports 144 Hz")


@options(seams=["pace-log"])
def test_settings_preview_paces_reveal_and_drops_like_the_saver(bench):
    saver = start_with_pictures(bench, "/c", wave_size=0, blur=0)
    log = wait_for(lambda: pictures_logged(bench, 3), 45, "three preview pictures logged",
                   interval=0.5)
    bench.driver("command", bench.find_window(title=DIALOG_TITLE).hwnd, CANCEL)
    expect(saver.wait(30), 0, "exit code after Cancel")
    for number, cycle in enumerate(log.pictures(), 1):
        check_reveal_and_drops(log, cycle, 0, "preview picture %d" % number)


@options(seams=["pace-log"])
def test_a_key_during_a_paced_drop_ends_the_saver_with_exit_0(bench):
    saver = start_with_pictures(bench, wave_size=4)

    def inside_a_drop():
        log = read_pace_log(bench)
        last_picture = max((i for i, (kind, _) in enumerate(log.marks) if kind == "P"),
                           default=None)
        if last_picture is None:
            return None
        frames = sum(1 for kind, _ in log.marks[last_picture:] if kind == "F")
        return log if frames >= 60 else None
    wait_for(inside_a_drop, 45, "a drop a second under way", interval=0.2)
    bench.key("a")
    expect(saver.wait(30), 0, "exit code of the saver ended by a key in a drop")
    log = read_pace_log(bench)
    last_picture = max(i for i, (kind, _) in enumerate(log.marks) if kind == "P")
    frames = sum(1 for kind, _ in log.marks[last_picture:] if kind == "F")
    expect(frames < FRAMES_PER_DROP[4], True,
           "the drop cut short by the key: %d of %d frames played" % (frames, FRAMES_PER_DROP[4]))


def paced_drop_durations(bench, *sizes):
    proc = bench.start_wine(os.path.join(BUILD, "probe_ripple_rate.exe"), 0, 1,
                            *[str(size) for size in sizes])
    expect(proc.wait(90), 0, "ripple probe exit code")
    lines = [line.split() for line in proc.output().splitlines()]
    pacer = [fields for fields in lines if fields and fields[0] == "pacer"]
    expect(len(pacer), 1, "the pacer's line in %r" % proc.output())
    return int(pacer[0][1]), {int(f[1]): (int(f[2]), float(f[3]), float(f[4]))
                              for f in lines if f and f[0] == "paced"}


def check_drop_durations(bench, sizes, what, refresh_hz=60, tolerance=DROP_TOLERANCE):
    paced_hz, drops = paced_drop_durations(bench, *sizes)
    expect(paced_hz, refresh_hz, "%s: refresh rate paced at" % what)
    expect(sorted(drops), sorted(sizes), "%s: wave sizes measured" % what)
    for size, (frames, lasted, expected) in sorted(drops.items()):
        expect(frames, FRAMES_PER_DROP[size], "%s: frames of a wave-size-%d drop" % (what, size))
        expect(abs(expected - frames / STEPS_PER_SECOND) < 1e-3, True,
               "%s: the probe's expected duration %.3f s is frames / 60" % (what, expected))
        expect(abs(lasted - expected) <= tolerance * expected, True,
               "%s: wave-size-%d drop lasting %.3f s in the process, frames / 60 %.3f s "
               "(within %d %%)" % (what, size, lasted, expected, tolerance * 100))


def test_a_drop_lasts_its_frames_at_the_refresh_rate(bench):
    check_drop_durations(bench, (0, 1), "32-bit screen")


@options(seams=["refresh-75"])
def test_drops_last_as_long_on_displays_faster_than_sixty_hertz(bench):
    # The probe links the test build; each run arms the rate its display reports.
    for refresh_hz in (75, 120, 144, 240):
        bench.seams = ["refresh-%d" % refresh_hz]
        check_drop_durations(bench, (0, 1), "a display at %d Hz" % refresh_hz, refresh_hz,
                             FAST_DISPLAY_TOLERANCE)


@options(depth=8)
def test_a_drop_lasts_its_frames_at_the_refresh_rate_on_an_eight_bit_screen(bench):
    check_drop_durations(bench, (0,), "8-bit screen")


@options(depth=16)
def test_a_drop_lasts_its_frames_at_the_refresh_rate_on_a_sixteen_bit_screen(bench):
    check_drop_durations(bench, (0,), "16-bit screen")


def test_a_paced_wait_answers_a_hold_and_a_stop_at_once(bench):
    proc = bench.start_wine(os.path.join(BUILD, "probe_pace_wait.exe"))
    expect(proc.wait(60), 0, "pace-wait probe exit code")
    said = dict(line.split(" ", 1) for line in proc.output().splitlines() if " " in line)
    # The hold gives up after 3 s and the far timer fires after 10 s: well below either,
    # the wait itself answered.
    expect(int(said["hold_ms"]) < 1000, True,
           "a hold answered by a wait whose timer is 10 s away, in %s ms" % said["hold_ms"])
    expect(int(said["stop_ms"]) < 1000 and said["far_ended"] == "1", True,
           "the waiting thread ended by a stop, in %s ms" % said["stop_ms"])
    expect(said["far_result"], "0", "the wait's answer to a stop")
    expect(int(said["frames_before_hold"]) > 0, True, "paced frames before the hold")
    expect(said["frames_while_held"], "0", "paced frames while held")
    expect(int(said["frames_after_release"]) > 0, True, "paced frames after the release")
    expect(int(said["paced_stop_ms"]) < 1000 and said["paced_ended"] == "1", True,
           "paced frames ended by a stop, in %s ms" % said["paced_stop_ms"])


DISPLAY_POWER_MESSAGE = 0x8000 + 7  # the test build's stand-in, WM_APP + 7
DISPLAY_OFF, DISPLAY_ON, DISPLAY_DIMMED = 0, 1, 2
HELD_SECONDS = 3.0
# While held the saver waits in messages and events only; a tick or two of the clock's
# counting is noise.
HELD_CPU_SHARE = 0.01


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def frames_of_last_picture(bench):
    """The pace log, the pictures begun so far and the ripple frames of the last one."""
    log = read_pace_log(bench)
    starts = [i for i, (kind, _) in enumerate(log.marks) if kind == "P"]
    if not starts:
        return log, 0, 0
    return log, len(starts), sum(1 for kind, _ in log.marks[starts[-1]:] if kind == "F")


@options(seams=["pace-log", "display-power"])
def test_display_off_holds_the_show_and_on_resumes_it_where_it_was(bench):
    saver = start_with_pictures(bench, wave_size=4)
    window = bench.find_window(cls=SAVER_CLASS).hwnd
    wait_for(lambda: frames_of_last_picture(bench)[2] >= 60, 45, "a drop a second under way",
             interval=0.2)

    def switch(state):
        bench.driver("post", window, DISPLAY_POWER_MESSAGE, state)

    switch(DISPLAY_OFF)
    time.sleep(0.5)
    _, picture, frames_before = frames_of_last_picture(bench)
    used_before, began = cpu_seconds(saver.pid), time.monotonic()
    time.sleep(HELD_SECONDS)
    share = (cpu_seconds(saver.pid) - used_before) / (time.monotonic() - began)
    _, _, frames_held = frames_of_last_picture(bench)
    expect(frames_held, frames_before, "ripple frames while the display is off")
    expect(share <= HELD_CPU_SHARE, True,
           "processor time while the display is off: %.1f %% of one core" % (share * 100))

    switch(DISPLAY_DIMMED)  # a dimmed display is still seen: the show goes on
    wait_for(lambda: frames_of_last_picture(bench)[2] > frames_held + 30, 10,
             "frames again once the display is dimmed", interval=0.2)
    switch(DISPLAY_OFF)
    time.sleep(0.5)
    switch(DISPLAY_ON)
    log = wait_for(lambda: (lambda found: found[0] if found[1] > picture else None)(
        frames_of_last_picture(bench)), 30, "the picture after the held drop", interval=0.5)
    # The drop went on where it was each time: its picture has all its frames.
    frames = sum(1 for kind, _ in log.pictures()[picture - 1] if kind == "F")
    expect(frames, FRAMES_PER_DROP[4], "frames of the drop held twice")

    # Held again, a key still ends the saver at once.
    switch(DISPLAY_OFF)
    time.sleep(0.5)
    pressed = time.monotonic()
    bench.key("a")
    expect(saver.wait(30), 0, "exit code of the saver ended by a key while held")
    expect(time.monotonic() - pressed < 3.0, True,
           "the saver ended %.1f s after the key" % (time.monotonic() - pressed))
