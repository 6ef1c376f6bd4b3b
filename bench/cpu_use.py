#!/usr/bin/env python3
"""Processor time of the saver in /s at the default settings, showing the setup's sample
pictures, per minute of running, for each screen size: the saver as shipped (frames paced at
the display's refresh) beside the same saver with pacing switched off (the test build with
the "unpaced-frames" seam: every frame as fast as the machine makes it, as before pacing).
A third run, paced with the longest usage period (36 drops per picture), shows what the
drops alone cost, so that the rest of the default figure is the per-picture work (loading,
fitting and the 13 reveal steps). A fourth, paced, shows a folder of three files in formats
the default settings accept, with content that no check accepts: what the saver costs while
every picture fails to load. A fifth run, "two", has a second monitor of the same size beside
the primary (the two-monitor bench: Xephyr with Xinerama), which shows a picture show of its
own; set beside "paced" it gives what the second monitor costs.

    python3 bench/cpu_use.py [--seconds N] [--sizes 1024x768,1920x1080] [--json FILE]
                             [--runs unpaced,paced,drops,broken,two]

Each figure is the user and system time of the Windows program's process (from
/proc/PID/stat) over N seconds after a 3-second start, as a share of one core; beside it
the X server's time in the same span, which stands in for the display work a real graphics
driver does. Under the table, each thread's share of the same span (Wine threads are Linux
threads), which tells the render threads of the two monitors apart. Needs the Windows build
(VELLUTOR_BUILD) and the sample pictures it draws."""

import argparse
import glob
import json
import os
import shutil
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "wine"))
from winebench import BUILD, SAVER_CLASS, Bench, settings_bytes  # noqa: E402

SAMPLES = os.path.join(BUILD, "tools", "setup", "samples")
SETTLE_S = 3.0
TICKS = os.sysconf("SC_CLK_TCK")
DEFAULT_DROP_PERIOD = 15
DROPS_ONLY_PERIOD = 50
BROKEN_NAMES = ("broken.bmp", "broken.gif", "broken.jpg")


def cpu_seconds(pid):
    """User plus system time of a process so far, or None once it is gone."""
    return cpu_seconds_of("/proc/%d/stat" % pid)


def thread_seconds(pid):
    """User plus system time of each thread of a process, by thread id (Wine threads are
    Linux threads; ids rise in the order the threads were made)."""
    times = {}
    for task in glob.glob("/proc/%d/task/*" % pid):
        seconds = cpu_seconds_of(task + "/stat")
        if seconds is not None:
            times[int(os.path.basename(task))] = seconds
    return times


def cpu_seconds_of(stat_path):
    try:
        with open(stat_path) as f:
            fields = f.read().rsplit(")", 1)[1].split()
    except OSError:
        return None
    return (int(fields[11]) + int(fields[12])) / TICKS


def measure(width, height, paced, seconds, broken=False, monitors=1, **fields):
    seams = None if paced else ["unpaced-frames"]
    with Bench("cpu-use", width=width, height=height, seams=seams, monitors=monitors,
               second_size=(width, height)) as bench:
        images = bench.unix_path(bench.images_dir)
        if broken:
            for name in BROKEN_NAMES:
                with open(os.path.join(images, name), "wb") as f:
                    f.write(b"not a picture " * 64)
        else:
            for path in glob.glob(os.path.join(SAMPLES, "*.*")):
                shutil.copy(path, images)
        bench.write_settings(settings_bytes(folder=bench.images_dir, **fields))
        saver = bench.start_scr("/s")
        bench.wait_window(cls=SAVER_CLASS, timeout=60, proc=saver)
        time.sleep(SETTLE_S)
        # The X server the saver draws on: Xephyr holds both monitors of the two.
        xvfb = (bench._xephyr if monitors == 2 else bench._xvfb).pid
        threads0 = thread_seconds(saver.pid)
        saver0, x0, began = cpu_seconds(saver.pid), cpu_seconds(xvfb), time.monotonic()
        time.sleep(seconds)
        saver1, x1, ended = cpu_seconds(saver.pid), cpu_seconds(xvfb), time.monotonic()
        threads1 = thread_seconds(saver.pid)
        bench.key("a")
        code = saver.wait(30)
    span = ended - began
    return {"width": width, "height": height, "paced": paced, "seconds": span,
            "monitors": monitors,
            "drop_period": fields.get("drop_period", DEFAULT_DROP_PERIOD),
            "broken": broken, "saver_cpu_s": saver1 - saver0, "xvfb_cpu_s": x1 - x0, "exit": code,
            "saver_share": (saver1 - saver0) / span, "xvfb_share": (x1 - x0) / span,
            # Threads that ran in the span, oldest first: the window thread, then the render
            # threads in the order of their screens (the primary's first).
            "thread_shares": [(threads1[t] - threads0[t]) / span for t in sorted(threads1)
                              if t in threads0 and threads1[t] > threads0[t]],
            "load": open("/proc/loadavg").read().split()[:3]}


def label(run):
    if run.get("monitors", 1) == 2:
        return "paced, two monitors of this size"
    if run.get("broken"):
        return "paced, every picture broken"
    if not run["paced"]:
        return "unpaced (before)"
    if run.get("drop_period", DEFAULT_DROP_PERIOD) != DEFAULT_DROP_PERIOD:
        return "paced, drops only (usage period %d)" % run["drop_period"]
    return "paced (after)"


def table(runs):
    lines = ["| screen | frames | saver, CPU s per minute | saver, share of one core | "
             "X server, share of one core |", "| --- | --- | --- | --- | --- |"]
    for r in runs:
        lines.append("| %d x %d | %s | %.1f | %.1f %% | %.1f %% |" % (
            r["width"], r["height"], label(r), 60 * r["saver_share"], 100 * r["saver_share"],
            100 * r["xvfb_share"]))
    for r in runs:
        lines.append("\n%d x %d, %s: threads that ran, oldest first: %s" % (
            r["width"], r["height"], label(r),
            ", ".join("%.1f %%" % (100 * share) for share in r["thread_shares"])))
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--seconds", type=float, default=60.0)
    parser.add_argument("--sizes", default="1024x768,1920x1080")
    parser.add_argument("--json", help="also write the raw figures to this file")
    parser.add_argument("--runs", default="unpaced,paced,drops,broken",
                        help="which of the runs (unpaced, paced, drops, broken, two) to make "
                        "for each size")
    args = parser.parse_args()
    wanted = set(args.runs.split(","))
    if not glob.glob(os.path.join(SAMPLES, "*.*")):
        sys.exit("no sample pictures in %s: build first" % SAMPLES)
    runs = []
    for size in args.sizes.split(","):
        width, height = (int(v) for v in size.split("x"))
        if "unpaced" in wanted:
            runs.append(measure(width, height, False, args.seconds))
        if "paced" in wanted:
            runs.append(measure(width, height, True, args.seconds))
        if "drops" in wanted:
            runs.append(measure(width, height, True, args.seconds,
                                drop_period=DROPS_ONLY_PERIOD))
        if "broken" in wanted:
            runs.append(measure(width, height, True, args.seconds, broken=True))
        if "two" in wanted:
            runs.append(measure(width, height, True, args.seconds, monitors=2))
    if args.json:
        with open(args.json, "w") as f:
            json.dump(runs, f, indent=1)
    print(table(runs))


if __name__ == "__main__":
    main()
