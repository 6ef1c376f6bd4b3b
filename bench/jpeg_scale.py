#!/usr/bin/env python3
"""Large JPEGs under Wine, the whole decoding through the system picture object (how every
JPEG was shown before) beside the decoding to scale, in one run, at 1920 x 1080 and 3840 x
2160, for 12, 24, 61 and 200 megapixel photos:

  * load and fit: one picture onto a screen-sized surface, in-process (probe_picture_fit_time,
    "system" for the whole decoding and its fit, "loader" for the saver's loader); medians;
  * peak working set of /s showing the photo (VmHWM of the saver's process over its first
    seconds): this build's vellutor.scr beside one built from an earlier commit (--before).

    python3 bench/jpeg_scale.py --before DIR [--runs N] [--json FILE]

DIR holds the earlier vellutor.scr. The photos are written with cjpeg (ImageMagick refuses
pictures over about 128 megapixels): a textured gradient with mild noise, 4:2:0, quality 90,
about as many bytes per pixel as a camera's."""

import argparse
import json
import os
import random
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "wine"))
import pictures  # noqa: E402
from winebench import BUILD, Bench, settings_bytes  # noqa: E402
from end_to_end import peak_working_set_kb  # noqa: E402

FIT_TIME = os.path.join(BUILD, "probe_picture_fit_time.exe")
PHOTOS = {12: (4000, 3000), 24: (6000, 4000), 61: (9504, 6336), 200: (16320, 12240)}
SCREENS = ((1920, 1080), (3840, 2160))


def write_photo(path, width, height):
    rng = random.Random(width)
    rows = []
    for r in range(61):
        row = bytearray(width * 3)
        for x in range(width):
            base = 40 + (170 * x) // width
            for c in range(3):
                v = base + 25 * c + rng.randint(-14, 14) + (20 if (x // 97 + r // 7) % 2 else 0)
                row[3 * x + c] = max(0, min(255, v))
        rows.append(bytes(row))
    with open(path, "wb") as out:
        cjpeg = subprocess.Popen([pictures.CJPEG, "-quality", "90", "-sample", "2x2"],
                                 stdin=subprocess.PIPE, stdout=out)
        cjpeg.stdin.write(b"P6\n%d %d\n255\n" % (width, height))
        for y in range(height):
            row = rows[y % 61]
            shift = 3 * ((y * 7) % width)
            cjpeg.stdin.write(row[shift:] + row[:shift])
        cjpeg.stdin.close()
        if cjpeg.wait() != 0:
            raise RuntimeError("cjpeg failed for %s" % path)


def fit_time(bench, path, mode, runs):
    proc = bench.start_wine(FIT_TIME, path, runs, mode)
    peak = 0
    while proc.alive:
        peak = max(peak, peak_working_set_kb(proc.pid) or 0)
        time.sleep(0.05)
    code = proc.wait(600)
    fields = dict((line.split()[0], line.split()[1:]) for line in proc.output().splitlines()
                  if line.strip())
    if code != 0:
        raise RuntimeError("fit probe ended with %d: %r" % (code, proc.output()))
    if mode == "system":
        if "decode" not in fields:
            return {"skipped": True, "peak_mb": peak / 1024}
        return {"seconds": float(fields["decode"][0]) + float(fields["fit"][0]),
                "peak_mb": peak / 1024}
    return {"seconds": float(fields["load"][0]), "result": int(fields["result"][0]),
            "peak_mb": peak / 1024}


def saver_peak(bench, scr, seconds):
    proc = bench.start_wine(scr, "/s", name="vellutor.scr")
    peak = 0
    ends = time.monotonic() + seconds
    while time.monotonic() < ends and proc.alive:
        peak = max(peak, peak_working_set_kb(proc.pid) or 0)
        time.sleep(0.1)
    shot = bench.screenshot()
    width, height = shot.width, shot.height
    # The photo is grey-blue to orange; the screen before it is black.
    lit = sum(1 for x in range(8, width, width // 16) for y in range(8, height, height // 9)
              if sum(shot.pixel(x, y)) > 60)
    bench.key("a")
    try:
        proc.popen.wait(30)
    except subprocess.TimeoutExpired:
        proc.kill()
    return {"peak_mb": peak / 1024, "shown": lit > 0.5 * 16 * 9}


def measure(args):
    figures = {"load": os.getloadavg(), "screens": {}}
    photo_dir = os.path.join(args.work, "photos")
    os.makedirs(photo_dir, exist_ok=True)
    for mp, (w, h) in PHOTOS.items():
        path = os.path.join(photo_dir, "photo%d.jpg" % mp)
        if not os.path.exists(path):
            write_photo(path, w, h)
    for sw, sh in SCREENS:
        rows = {}
        with Bench("jpeg-scale-%d" % sw, width=sw, height=sh) as bench:
            images = bench.unix_path(bench.images_dir)
            # Beside the installed one, so that it finds the same settings.
            before = bench.scr_path.replace("vellutor.scr", "vellutor-before.scr")
            shutil.copy(os.path.join(args.before, "vellutor.scr"), bench.unix_path(before))
            for mp in PHOTOS:
                for name in os.listdir(images):
                    os.unlink(os.path.join(images, name))
                photo = os.path.join(images, "photo.jpg")
                os.link(os.path.join(photo_dir, "photo%d.jpg" % mp), photo)
                bench.write_settings(settings_bytes(folder=bench.images_dir, drop_period=15,
                                                    blur=0))
                win = bench.images_dir + "\\photo.jpg"
                row = {"bytes": os.path.getsize(photo),
                       "system": fit_time(bench, win, "system", args.runs),
                       "loader": fit_time(bench, win, "loader", args.runs),
                       "saver_before": saver_peak(bench, before, args.seconds),
                       "saver": saver_peak(bench, bench.scr_path, args.seconds)}
                rows[mp] = row
                print("%dx%d %d MP: %r" % (sw, sh, mp, row), flush=True)
        figures["screens"]["%dx%d" % (sw, sh)] = rows
    figures["load_after"] = os.getloadavg()
    return figures


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--before", required=True)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--seconds", type=float, default=15.0)
    parser.add_argument("--work", default=os.path.join(BUILD, "jpeg-scale"))
    parser.add_argument("--json")
    args = parser.parse_args()
    figures = measure(args)
    text = json.dumps(figures, indent=1)
    if args.json:
        with open(args.json, "w") as f:
            f.write(text)
    print(text)


if __name__ == "__main__":
    main()
