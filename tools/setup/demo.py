#!/usr/bin/env python3
"""Shows Vellutor at work under Wine and records it (scripts/demo runs this after building).

Installs Vellutor with its setup program (/quiet) into a fresh 32-bit Wine prefix, starts
the screen saver the way Windows would (from "SCRNSAVE.EXE") for about 30 seconds and
records the screen into out/demo.gif, then opens the settings (/c) and saves the dialog with
its live preview as out/dialog.png. Runs on $DISPLAY when there is one, otherwise on an
Xvfb of its own. Every process it started is stopped at the end, also on Ctrl+C.

    demo.py [--seconds N] [--out FOLDER]
"""

import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(REPO, "tests", "wine"))
import winebench  # noqa: E402

CONVERT = "/usr/bin/convert"
DESKTOP_KEY = r"Control Panel\Desktop"
DIALOG_TITLE = "Vellutor - Settings"
FRAME_INTERVAL = 0.5   # at most one grab in this many seconds
GIF_WIDTH = 320        # the animation is scaled down to this width
GIF_COLOURS = 64
MIN_DISTINCT_FRAMES = 20
USER_DISPLAY = os.environ.get("DISPLAY")
DEMO_SETTINGS = {"drop_period": 18, "blur": 3}


class DemoBench(winebench.Bench):
    """The test bench, but on the user's own screen when there is one."""

    def _start_xvfb(self):
        if USER_DISPLAY:
            self.display = USER_DISPLAY
        else:
            super()._start_xvfb()


def say(text):
    print("demo: " + text, flush=True)


def install(bench):
    setup = os.path.join(winebench.BUILD, "vellutor-setup.exe")
    code = bench.start_wine(setup, "/quiet", name="vellutor-setup").wait(120)
    if code != 0:
        raise RuntimeError("vellutor-setup /quiet failed with exit code %d" % code)
    saver = bench.reg_read(DESKTOP_KEY, "SCRNSAVE.EXE")
    if not saver:
        raise RuntimeError("setup did not make Vellutor the screen saver")
    return saver


def choose_settings(bench):
    """What a user might pick in the settings dialog to see more: a few drops on every
    picture and a stronger blur."""
    folder = bench.reg_read(r"Software\Vellutor", "Install_Dir")
    bench.write_file(folder + "\\vellutor.set",
                     winebench.settings_bytes(folder=folder + "\\images\\", **DEMO_SETTINGS))


def grab(bench, path):
    subprocess.run(["import", "-display", bench.display, "-window", "root", "-depth", "8",
                    path], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=30, check=True)


def record_saver(bench, saver_path, seconds, frames_dir):
    saver = bench.start_wine(saver_path, "/s", name="vellutor.scr")
    bench.wait_window(cls=winebench.SAVER_CLASS, timeout=30, proc=saver)
    say("the screen saver runs; recording %d seconds" % seconds)
    frames = []
    end = time.monotonic() + seconds
    while time.monotonic() < end and saver.alive:
        started = time.monotonic()
        path = os.path.join(frames_dir, "frame%04d.ppm" % len(frames))
        grab(bench, "ppm:" + path)
        # The screen is black until the first picture appears: nothing to show yet.
        if frames or not looks_black(path):
            frames.append((path, started))
        time.sleep(max(0.0, FRAME_INTERVAL - (time.monotonic() - started)))
    frames.append((None, time.monotonic()))  # when the last frame ends
    bench.key("Escape")
    try:
        saver.wait(20)
    except winebench.BenchTimeout:
        saver.kill()
    return frames


def looks_black(path):
    with open(path, "rb") as f:
        screen = winebench.Screen.from_ppm(f.read())
    return max(screen.mean()) < 8


def distinct(frames):
    """The frames that differ from the one before (the screen often holds still), each with
    how long it was on screen, in hundredths of a second."""
    kept, last = [], None
    for (path, shown), (_, next_shown) in zip(frames, frames[1:]):
        with open(path, "rb") as f:
            digest = hashlib.sha1(f.read()).digest()
        if digest != last:
            kept.append([path, 0.0])
        kept[-1][1] += (next_shown - shown) * 100
        last = digest
    return kept


def make_gif(frames, target):
    """The animation in real time."""
    timed = []
    for path, hundredths in frames:
        timed += ["-delay", str(max(1, round(hundredths))), path]
    subprocess.run([CONVERT, *timed, "-resize", "%dx" % GIF_WIDTH, "+dither", "-colors", str(GIF_COLOURS),
                    "-layers", "Optimize", "-loop", "0", target], check=True)


def record_dialog(bench, saver_path, target, work):
    if not USER_DISPLAY:
        # No window manager on Xvfb: Wine draws the dialog's frame and caption itself.
        bench.reg_write(r"Software\Wine\X11 Driver", "Managed", "N")
    dialog_run = bench.start_wine(saver_path, "/c", name="vellutor.scr-settings")
    try:
        window = bench.wait_window(title=DIALOG_TITLE, timeout=30, proc=dialog_run)
        time.sleep(6)  # let the live preview show a picture or two
        shot = os.path.join(work, "dialog.png")
        grab(bench, shot)
        left, top, right, bottom = window.rect
        subprocess.run([CONVERT, shot, "-crop", "%dx%d+%d+%d" % (right - left, bottom - top,
                                                               max(0, left), max(0, top)),
                        "+repage", target], check=True)
    finally:
        bench.key("Escape")
        try:
            dialog_run.wait(20)
        except winebench.BenchTimeout:
            dialog_run.kill()


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=int, default=30)
    parser.add_argument("--out", default=os.path.join(REPO, "out"))
    args = parser.parse_args(argv)
    os.makedirs(args.out, exist_ok=True)
    gif = os.path.join(args.out, "demo.gif")
    png = os.path.join(args.out, "dialog.png")

    winebench.install_signal_handlers()
    work = tempfile.mkdtemp(prefix="vellutor-demo-")
    bench = DemoBench(name="demo", install_dir=False)
    try:
        say("making a fresh Wine prefix (the first time takes a minute)")
        bench.start()
        say("installing Vellutor with vellutor-setup.exe /quiet")
        saver_path = install(bench)
        choose_settings(bench)
        frames = distinct(record_saver(bench, saver_path, args.seconds, work))
        if len(frames) < MIN_DISTINCT_FRAMES:
            raise RuntimeError("only %d distinct frames were recorded" % len(frames))
        make_gif(frames, gif)
        say("opening the settings dialog")
        record_dialog(bench, saver_path, png, work)
    except (Exception, winebench.Interrupted) as error:
        say("failed: %s" % error)
        return 1
    finally:
        bench.close()
        shutil.rmtree(work, ignore_errors=True)
    say("done. The animation: %s (%d frames, %d KB)" % (gif, len(frames),
                                                       os.path.getsize(gif) // 1024))
    say("      The settings dialog: %s" % png)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
