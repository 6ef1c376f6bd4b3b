#!/usr/bin/env python3
"""The longest stretch of a picture load that the render thread spends attached, where a
hold waits for it, on a screen-sized surface.

    python3 bench/attached_stretches.py [--width W] [--height H] [--repeats N] [--json FILE]

probe_attached_stretch loads each picture as the render thread does, with a fence that notes
when the load detaches and attaches again: a 6000 x 4000 and a 3000 x 2000 JPEG, a 4000 x
3000 BMP and an EMF of 20000 filled rectangles (1.7 MB), onto a surface of the X screen's size (1920 x 1080
unless asked otherwise). Prints the median detached time, longest attached stretch and all
attached time per picture. Needs the Windows build (VELLUTOR_BUILD) with the probes."""

import argparse
import json
import os
import random
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "wine"))
import pictures  # noqa: E402
from dialog_latency import write_jpeg  # noqa: E402
from winebench import BUILD, Bench  # noqa: E402

PROBE = os.path.join(BUILD, "probe_attached_stretch.exe")


def make_pictures(folder):
    write_jpeg(os.path.join(folder, "huge.jpg"), 6000, 4000)
    write_jpeg(os.path.join(folder, "large.jpg"), 3000, 2000)
    pictures.write_bmp(os.path.join(folder, "large.bmp"),
                       pictures.Picture(4000, 3000, pictures.BLUE))
    shapes = pictures.Picture(1024, 768, pictures.RED)
    rng = random.Random(1)
    for _ in range(20000):
        x, y = rng.randrange(1000), rng.randrange(740)
        shapes.boxes.append((x, y, x + rng.randrange(4, 24), y + rng.randrange(4, 24),
                             (rng.randrange(256), rng.randrange(256), rng.randrange(256))))
    pictures.write_emf(os.path.join(folder, "shapes.emf"), shapes)
    return ("huge.jpg", "large.jpg", "large.bmp", "shapes.emf")


def measure(args):
    result = {}
    with Bench("attached", width=args.width, height=args.height) as bench:
        names = make_pictures(bench.unix_path(bench.images_dir))
        for name in names:
            proc = bench.start_wine(PROBE, bench.images_dir + "\\" + name, str(args.repeats))
            proc.wait(600)
            fields = dict(line.split(None, 1) for line in proc.output().splitlines()
                          if " " in line)
            result[name] = {key: float(value) for key, value in fields.items()
                            if key.endswith("_ms")}
            result[name]["result"] = fields.get("result")
    return result


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--width", type=int, default=1920)
    parser.add_argument("--height", type=int, default=1080)
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--json")
    args = parser.parse_args()
    result = measure(args)
    for name, f in result.items():
        print("%-11s detached %8.1f ms  longest attached %6.1f ms  attached %6.1f ms  result %s"
              % (name, f.get("detached_ms", -1), f.get("longest_attached_ms", -1),
                 f.get("attached_ms", -1), f["result"]))
    if args.json:
        with open(args.json, "w") as out:
            json.dump(result, out, indent=1)


if __name__ == "__main__":
    main()
