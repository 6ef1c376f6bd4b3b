#!/usr/bin/env python3
"""Screenshots of the settings dialog at 96, 120, 144 and 192 DPI under Wine, for docs/:
docs/settings-dialog-dpi<N>.png. Run after scripts/build:

    python3 tools/dpi/dialog_screenshots.py [out folder, default docs]
"""

import os
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tests", "wine"))
os.environ.setdefault("VELLUTOR_WORK", os.path.join(ROOT, "build", "native", "wine"))
import pictures  # noqa: E402
import winebench  # noqa: E402

TITLE = "Vellutor - Settings"
DPIS = (96, 120, 144, 192)
# Large enough for the dialog at 192 DPI.
SCREEN = (1600, 1200)


def shoot(dpi, out):
    with winebench.Bench(name="dpi%d" % dpi, width=SCREEN[0], height=SCREEN[1],
                         log_pixels=dpi) as bench:
        bench.add_picture("q.bmp", pictures.bmp_bytes(pictures.quadrants(320, 240)))
        # The dialog opens centred on the pointer.
        bench.mousemove(SCREEN[0] // 2, SCREEN[1] // 2)
        saver = bench.start_scr("/c")
        dialog = bench.wait_window(title=TITLE, timeout=30, proc=saver)
        time.sleep(6)  # the preview's first picture revealed
        # The client area: without a window manager the caption shows as a black bar.
        left, top, right, bottom = dialog.rect
        width, height = dialog.client
        border = (right - left - width) // 2
        left, top = left + border, bottom - border - height
        right, bottom = left + width, top + height
        shot = bench.screenshot().crop(left, top, width, height)
        ppm = shot.save(os.path.join(bench.run_dir, "dialog.ppm"))
        target = os.path.join(out, "settings-dialog-dpi%d.png" % dpi)
        subprocess.run(["convert", ppm, target], check=True)
        bench.driver("command", dialog.hwnd, 2)
        saver.wait(30)
        print("%s: %d x %d" % (target, right - left, bottom - top))


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "docs")
    for dpi in DPIS:
        shoot(dpi, out)


if __name__ == "__main__":
    main()
