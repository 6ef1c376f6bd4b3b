#!/usr/bin/env python3
"""End-to-end figures of the real program under Wine, each beside a yardstick measured the
same way in the same run (absolute times drift on these machines; the ratio is what counts).

    python3 bench/end_to_end.py [--runs N] [--drops N] [--json FILE]

Figures:
  * start to first picture: /s until the screen shows the picture over most of it; beside a
    trivial full-screen Win32 program (tests/probes/trivial_window.cpp) until its window
    is up;
  * key to end: from the key press (xdotool) to the end of the process, for both;
  * ripple frames per second for each wave size, played in-process on the real surfaces
    without pacing (probe_ripple_rate); beside frames that only put the same patch on the
    screen;
  * how long a drop lasts at each wave size when paced at the display's refresh, as the
    saver plays it, measured in the process; beside frames / refresh rate;
  * fitting a 24-megapixel JPEG onto a screen-sized surface (probe_picture_fit_time); beside
    the system's decoding of it;
  * peak working set of /s showing a 24-megapixel JPEG; beside the trivial program's.
Needs the Windows build (VELLUTOR_BUILD, default build/windows) with the probes."""

import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "wine"))
import pictures  # noqa: E402
from winebench import BUILD, Bench, settings_bytes, wait_for  # noqa: E402

TRIVIAL = os.path.join(BUILD, "probe_trivial_window.exe")
RIPPLE_RATE = os.path.join(BUILD, "probe_ripple_rate.exe")
FIT_TIME = os.path.join(BUILD, "probe_picture_fit_time.exe")
BIG_SIZE = (6000, 4000)


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


def peak_working_set_kb(pid):
    """VmHWM of the Linux process that runs the Windows program (wine execs into it)."""
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def peak_while_running(bench, start, window_class, settle):
    proc = start()
    bench.wait_window(cls=window_class, timeout=60, proc=proc)
    time.sleep(settle)
    peak = peak_working_set_kb(proc.pid)
    bench.key("a")
    proc.popen.wait(60)
    return peak


def key_to_end_traced(bench):
    """Where the time from a key press to the end goes, read from the system calls of the
    saver (strace, attached before the key): the main thread's first call after the key (the
    key reaching the process), the FlushFileBuffers of "vellutor.fsl" (render thread stopped, picture
    name written), the process's exit call, and its end. Milliseconds after the key, or
    None without strace."""
    if not shutil.which("strace"):
        return None
    proc = bench.start_scr("/s")
    bench.wait_window(cls="Vellutor", timeout=30, proc=proc)
    time.sleep(2)
    log = os.path.join(bench.run_dir, "logs", "key-to-end.strace")
    tracer = subprocess.Popen(["strace", "-f", "-ttt", "-p", str(proc.pid), "-o", log,
                               "-e", "trace=!clock_gettime,gettimeofday,time"],
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    time.sleep(1)
    began = time.time()
    bench.key("a")
    proc.popen.wait(30)
    ended = time.time()
    tracer.wait(30)
    marks = {"arrived": None, "fsl_flushed": None, "exit_call": None}
    with open(log) as f:
        for line in f:
            fields = line.split(None, 2)
            try:
                at = 1000 * (float(fields[1]) - began)
            except (IndexError, ValueError):
                continue
            if at < 0:
                continue
            call = fields[2]
            # The main thread sleeps on its queue until the key wakes it.
            if marks["arrived"] is None and fields[0] == str(proc.pid):
                marks["arrived"] = at
            if call.startswith("fsync(") and marks["fsl_flushed"] is None:
                marks["fsl_flushed"] = at
            if call.startswith("exit_group("):
                marks["exit_call"] = at
    marks["ended"] = 1000 * (ended - began)
    return marks


def probe_lines(bench, program, *args, timeout=600):
    proc = bench.start_wine(program, *args)
    code = proc.wait(timeout)
    text = proc.output()
    if code != 0:
        raise RuntimeError("%s ended with %d:\n%s" % (os.path.basename(program), code, text))
    return [line.split() for line in text.splitlines() if line.strip()]


def ripple_rates(bench, drops, paced_drops):
    """Unpaced frame rates and paced drop durations per wave size, and the refresh rate and
    kind of wait the pacer chose."""
    rates, pacer = {}, {}
    for fields in probe_lines(bench, RIPPLE_RATE, drops, paced_drops):
        if fields[0] in ("ripple", "blit"):
            size = int(fields[1])
            entry = rates.setdefault(size, {"side": int(fields[2]), "frames": int(fields[3])})
            entry[fields[0] + "_fps"] = float(fields[5])
        elif fields[0] == "paced":
            entry = rates.setdefault(int(fields[1]), {"frames": int(fields[2])})
            entry["paced_s"] = float(fields[3])
            entry["expected_s"] = float(fields[4])
        elif fields[0] == "pacer":
            pacer = {"refresh_hz": int(fields[1]), "vertical_blank": fields[2] == "1"}
    return rates, pacer


def write_big_jpeg(path):
    width, height = BIG_SIZE
    # A smooth picture with some detail, made by ImageMagick straight to JPEG.
    subprocess.run([pictures.CONVERT, "-size", "%dx%d" % (width, height), "gradient:red-blue",
                    "(", "-size", "%dx%d" % (width, height), "pattern:checkerboard", ")",
                    "-compose", "multiply", "-composite", "-quality", "90", "jpeg:" + path],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def summary(values, scale=1000, unit="ms"):
    return "%.0f %s (median of %d; min %.0f, max %.0f)" % (
        scale * statistics.median(values), unit, len(values), scale * min(values),
        scale * max(values))


def measure(args):
    figures = {}
    with Bench("end-to-end") as bench:
        bench.write_settings(settings_bytes(folder=bench.images_dir, drop_period=15, blur=0))
        pictures.write_bmp(bench.unix_path(bench.images_dir) + "/red.bmp",
                           pictures.Picture(640, 480, pictures.RED))
        saver_starts = [start_to_picture(bench, lambda: bench.start_scr("/s"))
                        for _ in range(args.runs)]
        trivial_starts = [trivial_on_screen(bench) for _ in range(args.runs)]
        saver_keys = [key_to_end(bench, lambda: bench.start_scr("/s"), "Vellutor")
                      for _ in range(args.runs)]
        trivial_keys = [key_to_end(bench, lambda: bench.start_wine(TRIVIAL), "Trivial", 0.5)
                        for _ in range(args.runs)]
        figures["start_to_picture"] = {"saver": saver_starts, "trivial": trivial_starts}
        figures["key_to_end"] = {"saver": saver_keys, "trivial": trivial_keys}

        figures["key_to_end_breakdown"] = [key_to_end_traced(bench) for _ in range(3)]

        figures["ripple"], figures["pacer"] = ripple_rates(bench, args.drops,
                                                           args.paced_drops)

        big = os.path.join(bench.unix_path(bench.install_dir), "big.jpg")
        write_big_jpeg(big)
        fit = {}
        for fields in probe_lines(bench, FIT_TIME, bench.install_dir + "\\big.jpg", 5):
            if fields[0] in ("decode", "fit", "load"):
                fit[fields[0]] = float(fields[1])
            elif fields[0] == "size":
                fit["size"] = [int(fields[1]), int(fields[2])]
        figures["picture_fit"] = fit
        # The loader cannot be interrupted: a key pressed meanwhile waits for it.
        for fields in probe_lines(bench, FIT_TIME, bench.images_dir + "\\red.bmp", 5):
            if fields[0] == "load":
                figures["bmp_load_s"] = float(fields[1])

        os.remove(bench.unix_path(bench.images_dir) + "/red.bmp")
        os.rename(big, bench.unix_path(bench.images_dir) + "/big.jpg")
        # Long enough for the picture to be decoded and its reveal to have begun.
        saver_peaks = [peak_while_running(bench, lambda: bench.start_scr("/s"), "Vellutor", 8)
                       for _ in range(max(1, args.runs // 3))]
        trivial_peaks = [peak_while_running(bench, lambda: bench.start_wine(TRIVIAL), "Trivial",
                                            1) for _ in range(max(1, args.runs // 3))]
        figures["peak_working_set_kb"] = {"saver": saver_peaks, "trivial": trivial_peaks}
    return figures


def table(figures):
    lines = ["| figure | vellutor | yardstick | ratio |", "| --- | --- | --- | --- |"]
    for key, label in (("start_to_picture", "/s to first picture (yardstick: trivial program "
                                             "to its window)"),
                       ("key_to_end", "key press to end of process (yardstick: trivial "
                                      "program)")):
        f = figures[key]
        lines.append("| %s | %s | %s | %.2f |" % (
            label, summary(f["saver"]), summary(f["trivial"]),
            statistics.median(f["saver"]) / statistics.median(f["trivial"])))
    traced = [t for t in figures.get("key_to_end_breakdown") or [] if t]
    if traced:
        def median_of(key):
            values = [t[key] for t in traced if t.get(key) is not None]
            return "%.0f" % statistics.median(values) if values else "?"
        lines.append("| key press to end, traced (medians of %d, ms after the key): key reaches "
                     "the process %s, render thread stopped and \"vellutor.fsl\" flushed %s, "
                     "exit call %s, process gone %s | | | |" % (
                         len(traced), median_of("arrived"), median_of("fsl_flushed"),
                         median_of("exit_call"), median_of("ended")))
    for size, r in sorted(figures["ripple"].items()):
        lines.append("| ripple, wave size %d (%d x %d patch, %d frames) | %.0f frames/s | "
                     "%.0f frames/s taking the patch to the screen only | %.2f |" % (
                         size, r["side"], r["side"], r["frames"], r["ripple_fps"],
                         r["blit_fps"], r["ripple_fps"] / r["blit_fps"]))
    for size, r in sorted(figures["ripple"].items()):
        lines.append("| paced drop, wave size %d (%d frames) | %.3f s | %.3f s frames / "
                     "refresh | %.3f |" % (size, r["frames"], r["paced_s"], r["expected_s"],
                                           r["paced_s"] / r["expected_s"]))
    fit = figures["picture_fit"]
    lines.append("| fitting a %d x %d JPEG onto the screen surface: whole load | %.0f ms "
                 "(decode %.0f ms + fit %.0f ms) | %.0f ms decoding alone | %.2f |" % (
                     fit["size"][0], fit["size"][1], 1000 * fit["load"], 1000 * fit["decode"],
                     1000 * fit["fit"], 1000 * fit["decode"], fit["load"] / fit["decode"]))
    peaks = figures["peak_working_set_kb"]
    saver = [p for p in peaks["saver"] if p]
    trivial = [p for p in peaks["trivial"] if p]
    if saver and trivial:
        lines.append("| peak working set, /s with a %d x %d JPEG | %.0f MB | %.0f MB trivial "
                     "program | %.2f |" % (BIG_SIZE[0], BIG_SIZE[1], max(saver) / 1024,
                                           max(trivial) / 1024, max(saver) / max(trivial)))
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--drops", type=int, default=3, help="drops per wave size")
    parser.add_argument("--paced-drops", type=int, default=1,
                        help="paced drops per wave size (about 29 s for one of each)")
    parser.add_argument("--json", help="also write the raw figures to this file")
    args = parser.parse_args()
    figures = measure(args)
    if args.json:
        with open(args.json, "w") as f:
            json.dump(figures, f, indent=1)
    print(table(figures))


if __name__ == "__main__":
    main()
