#!/usr/bin/env python3
"""How fast the settings dialog answers while its live preview shows large JPEGs and two
other processes keep both cores busy.

    python3 bench/dialog_latency.py [--seconds N] [--seed N] [--idle] [--shipped] [--json FILE]

Opens vellutor.scr /c over a folder of four JPEGs (two of 3000 x 2000, two of 6000 x 4000,
made here with ImageMagick), "Usage period" at its least so that the preview decodes often.
Two `python3 -c 'while True: pass'` processes are started beside it (--idle leaves them out).
probe_dialog_remote then works the dialog for --seconds from another process: drags (five
small SetWindowPos moves each), clicks on check boxes (EMF, EMF cut, BMP cut, JPEG cut,
remember picture: the state is set, then WM_COMMAND BN_CLICKED is sent) and slider moves
(WM_HSCROLL thumb position, then end of track), every message sent synchronously and timed
from the sender's side. Prints count, median, 99th percentile and worst per kind and in all.
It runs the test build of the saver with its "hold-log" seam, which logs how long each hold
waited for the render thread and how it ended (parked, detached, bound), so that the hold's
share of an answer is told apart from the rest (Wine, the X server, the scheduler); --shipped
runs the shipped saver instead, without that log.
Needs the Windows build (VELLUTOR_BUILD, default build/windows) with the probes."""

import argparse
import json
import os
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "wine"))
import pictures  # noqa: E402
from winebench import BUILD, INSTALL_DIR, Bench, settings_bytes  # noqa: E402

TITLE = "Vellutor - Settings"
REMOTE = os.path.join(BUILD, "probe_dialog_remote.exe")
SIZES = ((3000, 2000), (6000, 4000), (3000, 2000), (6000, 4000))
BUSY = [sys.executable, "-c", "while True: pass"]


def write_jpeg(path, width, height):
    subprocess.run([pictures.CONVERT, "-size", "%dx%d" % (width, height), "gradient:red-blue",
                    "(", "-size", "%dx%d" % (width, height), "pattern:checkerboard", ")",
                    "-compose", "multiply", "-composite", "-quality", "90", "jpeg:" + path],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(share * len(ordered)))]


def figures(values):
    return {"count": len(values), "median_ms": statistics.median(values),
            "p99_ms": percentile(values, 0.99), "worst_ms": max(values)}


def measure(args):
    seams = None if args.shipped else ["hold-log"]
    with Bench("dialog-latency", seams=seams) as bench:
        folder = bench.unix_path(bench.images_dir)
        for n, (width, height) in enumerate(SIZES):
            write_jpeg(os.path.join(folder, "big%d.jpg" % n), width, height)
        bench.write_settings(settings_bytes(folder=bench.images_dir, drop_period=14))
        saver = bench.start_scr("/c")
        dialog = bench.wait_window(title=TITLE, timeout=30, proc=saver)
        time.sleep(3)  # the preview into its first decode
        busy = [] if args.idle else [subprocess.Popen(BUSY) for _ in range(2)]
        try:
            remote = bench.start_wine(REMOTE, "answers", str(dialog.hwnd), str(args.seconds),
                                      str(args.seed), name="remote")
            code = remote.wait(args.seconds + 120)
        finally:
            for proc in busy:
                proc.kill()
                proc.wait()
        if code != 0:
            raise SystemExit("probe_dialog_remote answers: exit code %d" % code)
        times = {}
        for line in remote.output().splitlines():
            fields = line.split()
            if len(fields) == 3 and fields[0] == "answer":
                times.setdefault(fields[1], []).append(float(fields[2]))
        unanswered = sum(1 for values in times.values() for v in values if v < 0)
        if unanswered:
            raise SystemExit("%d messages not answered within 10 s" % unanswered)
        alive = saver.alive
        bench.driver("command", dialog.hwnd, 2)  # Cancel
        saver.wait(30)
        holds, ended = [], {}
        for line in (bench.read_file(INSTALL_DIR + "\\hold.log") or b"").decode().splitlines():
            fields = line.split()
            if len(fields) == 3 and fields[0] == "hold":
                holds.append(float(fields[1]))
                ended[fields[2]] = ended.get(fields[2], 0) + 1
    result = {kind: figures(values) for kind, values in sorted(times.items())}
    if holds:
        result["hold_wait"] = dict(figures(holds), ended=ended)
    result["all"] = figures([v for values in times.values() for v in values])
    result["busy_loops"] = 0 if args.idle else 2
    result["saver_alive"] = alive
    return result


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=int, default=60)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--idle", action="store_true", help="no busy loops beside the saver")
    parser.add_argument("--shipped", action="store_true",
                        help="the shipped saver, without the hold log")
    parser.add_argument("--json", help="write the figures to this file")
    args = parser.parse_args()
    result = measure(args)
    for kind in sorted(k for k in result if isinstance(result[k], dict)):
        f = result[kind]
        print("%-9s count %4d  median %6.1f ms  p99 %6.1f ms  worst %6.1f ms%s"
              % (kind, f["count"], f["median_ms"], f["p99_ms"], f["worst_ms"],
                 "  (%s)" % f["ended"] if "ended" in f else ""))
    if args.json:
        with open(args.json, "w") as out:
            json.dump(result, out, indent=1)


if __name__ == "__main__":
    main()
