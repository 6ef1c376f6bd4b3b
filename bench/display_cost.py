#!/usr/bin/env python3
"""The show on today's displays, in one run: processor time of /s at the default settings at
1920 x 1080 and 3840 x 2160 for an earlier build beside this one, the same while the display
is off, how long a drop lasts on displays at 60, 120 and 144 Hz, and the time Wine's own GDI
takes to fit each sample picture to the screen (the halftone stretch), which the saver's
code does not choose.

    python3 bench/display_cost.py --before DIR [--seconds N] [--json FILE]

DIR holds the earlier build's vellutor.scr (the driver and the sample pictures are taken
from this build). Each share is user plus system time of the saver's process over N
seconds after a 3-second start, as a share of one core."""

import argparse
import glob
import json
import os
import shutil
import statistics
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "wine"))
import winebench  # noqa: E402
from winebench import SAVER_CLASS, Bench, settings_bytes  # noqa: E402

import cpu_use  # noqa: E402

AFTER = winebench.BUILD
SIZES = ((1920, 1080), (3840, 2160))
DISPLAY_POWER_MESSAGE = 0x8000 + 7
DISPLAY_OFF = 0
FRAMES = {0: 130, 1: 240}


def load():
    return open("/proc/loadavg").read().split()[:3]


def saver_share(width, height, seconds, display_off=False):
    seams = ["display-power"] if display_off else None
    with Bench("display-cost", width=width, height=height, seams=seams) as bench:
        images = bench.unix_path(bench.images_dir)
        for path in glob.glob(os.path.join(cpu_use.SAMPLES, "*.*")):
            shutil.copy(path, images)
        bench.write_settings(settings_bytes(folder=bench.images_dir))
        saver = bench.start_scr("/s")
        window = bench.wait_window(cls=SAVER_CLASS, timeout=60, proc=saver)
        time.sleep(cpu_use.SETTLE_S)
        if display_off:
            bench.driver("post", window.hwnd, DISPLAY_POWER_MESSAGE, DISPLAY_OFF)
            time.sleep(1.0)
        used, began = cpu_use.cpu_seconds(saver.pid), time.monotonic()
        time.sleep(seconds)
        used = cpu_use.cpu_seconds(saver.pid) - used
        span = time.monotonic() - began
        bench.key("a")
        code = saver.wait(30)
    return {"width": width, "height": height, "share": used / span, "seconds": span,
            "exit": code, "load": load()}


def drop_durations(refresh_hz):
    seams = ["refresh-%d" % refresh_hz] if refresh_hz != 60 else None
    with Bench("display-cost", seams=seams) as bench:
        proc = bench.start_wine(os.path.join(AFTER, "probe_ripple_rate.exe"), 0, 3,
                                *[str(size) for size in FRAMES])
        proc.wait(120)
        lines = [line.split() for line in proc.output().splitlines()]
    return [{"refresh_hz": refresh_hz, "wave_size": int(f[1]), "frames": int(f[2]),
             "seconds": float(f[3]), "expected": float(f[4])}
            for f in lines if f and f[0] == "paced"]


def fit_times(width, height):
    figures = []
    with Bench("display-cost", width=width, height=height) as bench:
        for path in sorted(glob.glob(os.path.join(cpu_use.SAMPLES, "*.*"))):
            name = os.path.basename(path)
            bench.add_picture(name, path)
            proc = bench.start_wine(os.path.join(AFTER, "probe_picture_fit_time.exe"),
                                    bench.images_dir + "\\" + name, 3)
            proc.wait(120)
            said = dict(line.split(" ", 1) for line in proc.output().splitlines() if " " in line)
            figures.append({"picture": name, "fit": float(said.get("fit", "nan")),
                            "load": float(said.get("load", "nan"))})
    return {"width": width, "height": height, "pictures": figures}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--before", required=True)
    parser.add_argument("--seconds", type=float, default=45.0)
    parser.add_argument("--json")
    args = parser.parse_args()
    before = tempfile.mkdtemp(prefix="vellutor-before-")
    for name in ("vellutor.scr", "vellutor-seams.scr"):
        shutil.copy(os.path.join(args.before, name), before)
    shutil.copy(os.path.join(AFTER, "driver.exe"), before)
    figures = {"load_start": load(), "cpu": [], "off": [], "drops": [], "fit": []}
    for width, height in SIZES:
        for label, build in (("before", before), ("after", AFTER)):
            winebench.BUILD = build
            run = saver_share(width, height, args.seconds)
            run["build"] = label
            figures["cpu"].append(run)
            print(json.dumps(run), flush=True)
    winebench.BUILD = AFTER
    for width, height in SIZES:
        run = saver_share(width, height, args.seconds, display_off=True)
        figures["off"].append(run)
        print(json.dumps(run), flush=True)
    for hz in (60, 120, 144):
        figures["drops"].extend(drop_durations(hz))
        print(json.dumps(figures["drops"][-len(FRAMES):]), flush=True)
    for width, height in SIZES:
        figures["fit"].append(fit_times(width, height))
        print(json.dumps(figures["fit"][-1]), flush=True)
    figures["load_end"] = load()
    shutil.rmtree(before, ignore_errors=True)
    if args.json:
        with open(args.json, "w") as f:
            json.dump(figures, f, indent=1)


if __name__ == "__main__":
    main()
