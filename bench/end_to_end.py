#!/usr/bin/env python3
"""End-to-end figures of the real program under Wine, each beside a trivial full-screen
Win32 program started and ended the same way in the same run (absolute times drift on
these machines; the ratio is what counts).

    python3 bench/end_to_end.py [--runs N]

Measures, for /s over the sample-like test pictures:
  * key to end: from the key press (xdotool) to the end of the process;
  * start to first picture: from the start of the process to the first screen that shows
    picture colours over most of the screen.
Needs the Windows build (VELLUTOR_BUILD, default build/windows)."""

import argparse
import os
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "wine"))
import pictures  # noqa: E402
from winebench import BUILD, Bench, settings_bytes, wait_for  # noqa: E402

TRIVIAL = os.path.join(BUILD, "probe_trivial_window.exe")


def key_to_end(bench, start, window_class, settle=2.0):
    proc = start()
    bench.wait_window(cls=window_class, timeout=30, proc=proc)
    time.sleep(settle)  # let the saver get into its stride: reveals and drops running
    began = time.monotonic()
    bench.key("a")
    proc.popen.wait(30)
    return time.monotonic() - began


def start_to_picture(bench, start):
    began = time.monotonic()
    proc = start()

    def picture_shown():
        shot = bench.screenshot()
        red = sum(1 for x in range(16, 1024, 64) for y in range(16, 768, 64)
                  if pictures.close(shot.pixel(x, y), pictures.RED, 40))
        return red >= 0.9 * (1024 // 64) * (768 // 64)
    wait_for(picture_shown, 60, "a picture on the screen", interval=0.05)
    elapsed = time.monotonic() - began
    bench.key("a")
    proc.popen.wait(30)
    return elapsed


def trivial_on_screen(bench):
    began = time.monotonic()
    proc = bench.start_wine(TRIVIAL)
    bench.wait_window(cls="Trivial", timeout=30, proc=proc)
    elapsed = time.monotonic() - began
    bench.key("a")
    proc.popen.wait(30)
    return elapsed


def summary(values):
    return "%.0f ms (median of %d; min %.0f, max %.0f)" % (
        1000 * statistics.median(values), len(values), 1000 * min(values), 1000 * max(values))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=10)
    args = parser.parse_args()
    with Bench("end-to-end") as bench:
        bench.write_settings(settings_bytes(folder=bench.images_dir, drop_period=15, blur=0))
        pictures.write_bmp(bench.unix_path(bench.images_dir) + "/red.bmp",
                           pictures.Picture(640, 480, pictures.RED))
        saver_keys = [key_to_end(bench, lambda: bench.start_scr("/s"), "Vellutor")
                      for _ in range(args.runs)]
        trivial_keys = [key_to_end(bench, lambda: bench.start_wine(TRIVIAL), "Trivial", 0.5)
                        for _ in range(args.runs)]
        saver_starts = [start_to_picture(bench, lambda: bench.start_scr("/s"))
                        for _ in range(args.runs)]
        trivial_starts = [trivial_on_screen(bench) for _ in range(args.runs)]
    print("| figure | vellutor.scr | trivial program | ratio |")
    print("| --- | --- | --- | --- |")
    print("| key press to end of process | %s | %s | %.2f |" % (
        summary(saver_keys), summary(trivial_keys),
        statistics.median(saver_keys) / statistics.median(trivial_keys)))
    print("| start to first picture (trivial: to its window) | %s | %s | %.2f |" % (
        summary(saver_starts), summary(trivial_starts),
        statistics.median(saver_starts) / statistics.median(trivial_starts)))


if __name__ == "__main__":
    main()
