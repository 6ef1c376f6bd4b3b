#!/usr/bin/env python3
"""Key-to-exit of the real saver under Wine while its render thread decodes a 6000 x 4000
JPEG: the ending must not wait for the decoder, and nothing may be lost on the way.

    python3 bench/ending_during_decode.py [--runs N] [--seed N] [--json FILE]

Each run starts /s over a folder holding only the big JPEG, presses a key at a random moment
inside the first decode (its length is measured first, in-process, by probe_picture_fit_time)
and times the key to the end of the process. Every run checks what the ending must leave:
exit code 0, "vellutor.fsl" of one name and its NUL, "Vellutor.bmp" written on the runs with
the wallpaper generator on (every other one) and, on the runs that change the display mode,
RestoreDisplayMode after SetDisplayMode in DirectDraw's trace. The --runs endings keep the
desktop's mode and are judged against the bound; --mode-runs more change the mode and are
reported beside them: putting a mode back is Wine's own work, 200 to 400 ms on a loaded
machine whatever the render thread is doing (the key 3 s in, long after the decode, costs
as much).
--yardstick-runs more end the same way over a folder of one 640 x 480 BMP instead, so the
ending's own cost on the machine as loaded at the time stands beside the figure.
Prints the median and worst key-to-exit.
Needs the Windows build (VELLUTOR_BUILD, default build/windows) with the probes."""

import argparse
import json
import os
import random
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "wine"))
sys.path.insert(0, HERE)
from end_to_end import FIT_TIME, probe_lines, write_big_jpeg  # noqa: E402
import pictures  # noqa: E402
from winebench import SAVER_CLASS, Bench, settings_bytes  # noqa: E402

BOUND_S = 0.300


def decode_seconds(bench, path):
    # The saver's loader: reading, decoding to scale and fitting, as the render thread does.
    for fields in probe_lines(bench, FIT_TIME, path, 3, "loader"):
        if fields[0] == "load":
            return float(fields[1])
    raise AssertionError("probe_picture_fit_time gave no load time")


def one_ending(bench, delay, mode, wallpaper_on):
    bench.write_settings(settings_bytes(folder=bench.images_dir, video_mode=mode,
                                        remember_picture=1, wallpaper_generator=wallpaper_on,
                                        drop_period=15))
    wallpaper = bench.windows_dir + "\\Vellutor.bmp"
    bench.delete_file(bench.install_dir + "\\vellutor.fsl")
    bench.delete_file(wallpaper)
    saver = bench.start_scr("/s")
    bench.wait_window(cls=SAVER_CLASS, timeout=30, proc=saver)
    time.sleep(delay)
    keyed = time.monotonic()
    bench.key("Escape")
    code = saver.wait(30)
    took = time.monotonic() - keyed
    problems = []
    if code != 0:
        problems.append("exit code %r" % code)
    fsl = bench.read_fsl()
    if fsl not in (b"\0", b"big.jpg\0", b"big.jpg.bmp\0"):
        problems.append("vellutor.fsl %r" % fsl)
    if wallpaper_on and not bench.file_exists(wallpaper):
        problems.append("no Vellutor.bmp")
    if mode:
        with open(saver.err_path, "rb") as f:
            trace = f.read().decode("latin-1")
        if trace.rfind("RestoreDisplayMode") < trace.rfind("SetDisplayMode") or \
                "SetDisplayMode" not in trace:
            problems.append("display mode not restored")
    bench.wait_no_window(cls=SAVER_CLASS, timeout=10)
    return took, problems


def measure(args):
    rng = random.Random(args.seed)
    with Bench("ending-during-decode", wine_debug="+ddraw") as bench:
        big = os.path.join(bench.unix_path(bench.images_dir), "big.jpg")
        write_big_jpeg(big)
        decode = decode_seconds(bench, bench.images_dir + "\\big.jpg")
        times, mode_times, failures = [], [], []
        for run in range(args.runs + args.mode_runs):
            # Inside the first decode, which starts as the window comes up.
            delay = rng.uniform(0.05, max(0.1, 0.8 * decode))
            mode = 2 if run >= args.runs else 0
            took, problems = one_ending(bench, delay, mode, run % 2)
            (mode_times if mode else times).append(took)
            if problems:
                failures.append({"run": run, "delay": delay, "problems": problems})
            print("run %2d: key after %.0f ms, mode %d, wallpaper %d: exit %.0f ms %s"
                  % (run, 1000 * delay, mode, run % 2, 1000 * took, "; ".join(problems)),
                  flush=True)
        yardstick = []
        if args.yardstick_runs:
            os.remove(big)
            pictures.write_bmp(os.path.join(bench.unix_path(bench.images_dir), "big.jpg.bmp"),
                               pictures.Picture(640, 480, pictures.RED))
            for run in range(args.yardstick_runs):
                took, _ = one_ending(bench, rng.uniform(0.05, max(0.1, 0.8 * decode)), 0,
                                     run % 2)
                yardstick.append(took)
                print("yardstick %2d: exit %.0f ms" % (run, 1000 * took), flush=True)
    return {"decode_s": decode, "key_to_exit_s": times, "mode_change_key_to_exit_s": mode_times,
            "yardstick_key_to_exit_s": yardstick, "failures": failures}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=50)
    parser.add_argument("--mode-runs", type=int, default=10)
    parser.add_argument("--yardstick-runs", type=int, default=20)
    parser.add_argument("--seed", type=int, default=int(time.time()))
    parser.add_argument("--json")
    args = parser.parse_args()
    figures = measure(args)
    times = figures["key_to_exit_s"]
    print("decode of 6000 x 4000 JPEG: %.0f ms" % (1000 * figures["decode_s"]))
    print("key to exit over %d endings: median %.0f ms, worst %.0f ms (bound %.0f ms)"
          % (len(times), 1000 * statistics.median(times), 1000 * max(times), 1000 * BOUND_S))
    moded = figures["mode_change_key_to_exit_s"]
    if moded:
        print("key to exit over %d endings with a display mode to put back: median %.0f ms, "
              "worst %.0f ms" % (len(moded), 1000 * statistics.median(moded), 1000 * max(moded)))
    small = figures["yardstick_key_to_exit_s"]
    if small:
        print("yardstick, key to exit over %d endings showing a 640 x 480 BMP: median %.0f ms, "
              "worst %.0f ms" % (len(small), 1000 * statistics.median(small), 1000 * max(small)))
    print("endings that lost something: %d" % len(figures["failures"]))
    if args.json:
        with open(args.json, "w") as f:
            json.dump(figures, f, indent=1)
    return 0 if max(times) <= BOUND_S and not figures["failures"] else 1


if __name__ == "__main__":
    sys.exit(main())
