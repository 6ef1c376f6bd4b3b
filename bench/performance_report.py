#!/usr/bin/env python3
"""Writes docs/performance.md from one run's figures: the Google Benchmark JSON of
vellutor_bench (with repetitions), the JSON of bench/end_to_end.py and, if given, that of
bench/cpu_use.py.

    python3 bench/performance_report.py --bench BENCH.json --end-to-end E2E.json
        --machine MACHINE.json [--cpu-use CPU.json] --out docs/performance.md

Every figure is set beside its floor or yardstick from the same run: the reveal beside the
bare random chain of the same draws, advance beside the memcpy of the same bytes, the
end-to-end figures beside a trivial Win32 program or the bare screen trip."""

import argparse
import json
import re
import statistics

import cpu_use

TARGET_KEY_MS = 100.0
TARGET_DROP_TOLERANCE = 0.15
TARGET_CPU_SHARE = 0.10


def repetitions(bench, counter):
    """{benchmark name: [counter value per repetition]} from the per-repetition entries."""
    values = {}
    for entry in bench["benchmarks"]:
        if entry.get("run_type") != "iteration" or counter not in entry:
            continue
        if entry.get("error_occurred"):
            continue
        values.setdefault(entry["run_name"], []).append(entry[counter])
    return values


def spread(values):
    """Median and spread (min..max) as a text."""
    return "%.3g (%.3g..%.3g)" % (statistics.median(values), min(values), max(values))


def verdict(ratio, target):
    return "met" if ratio <= target else "not met"


def reveal_rows(bench):
    draws = repetitions(bench, "ns_per_draw")
    rows = []
    worst_1080 = None
    for name, values in sorted(draws.items(), key=lambda item: _reveal_key(item[0])):
        m = re.match(r"revealCycle/w:(\d+)/h:(\d+)/bits:(\d+)/blur:(\d+)", name)
        if not m:
            continue
        w, h, bits, blur = (int(g) for g in m.groups())
        floor = draws.get("randomChain/w:%d/h:%d/blur:%d" % (w, h, blur))
        if not floor:
            continue
        ratio = statistics.median(values) / statistics.median(floor)
        rows.append("| %d x %d | %d | %d | %s | %s | %.2f |" % (
            w, h, bits, blur, spread(values), spread(floor), ratio))
        if (w, h) == (1920, 1080) and blur == 0:
            worst_1080 = max(worst_1080 or 0, ratio)
    return rows, worst_1080


def _reveal_key(name):
    numbers = [int(n) for n in re.findall(r":(\d+)", name)]
    return (0 if name.startswith("reveal") else 1, numbers)


def advance_rows(bench):
    # The water benchmarks report seconds per cell; shown here in ns.
    cells = {name: [1e9 * v for v in values]
             for name, values in repetitions(bench, "ns_per_cell").items()}
    rows = []
    dispatched_400 = None
    kernels = ("Reference", "Sse2", "Avx2")
    paired = {}
    for name, values in repetitions(bench, "floor_ratio").items():
        match = re.match(r"BM_AdvanceBesideFloor/(\d+)", name)
        if match:
            paired[int(match.group(1))] = values
    paired_400 = None
    sides = sorted({int(n.split("/")[1]) for n in cells if n.startswith("BM_StreamFloor/")})
    for side in sides:
        floor = cells.get("BM_StreamFloor/%d" % side)
        if not floor:
            continue
        cols = []
        best = None
        for kernel in kernels:
            values = cells.get("BM_Advance%s/%d" % (kernel, side))
            if not values:
                cols.append("n/a")
                continue
            ratio = statistics.median(values) / statistics.median(floor)
            cols.append("%s, %.2fx" % (spread(values), ratio))
            if kernel != "Reference":
                best = ratio if best is None else min(best, ratio)
        pairs = paired.get(side)
        cols.append("%.2fx (%.2f..%.2f)" % (statistics.median(pairs), min(pairs), max(pairs))
                    if pairs else "n/a")
        rows.append("| %d x %d | %s | %s |" % (side, side, spread(floor), " | ".join(cols)))
        if side == 400:
            dispatched_400 = best
            paired_400 = statistics.median(pairs) if pairs else None
    return rows, dispatched_400, paired_400


def ms(values):
    return "%.0f ms (median of %d; %.0f..%.0f)" % (
        1000 * statistics.median(values), len(values), 1000 * min(values), 1000 * max(values))


def end_to_end_rows(e2e):
    rows = []
    key_median = None
    for key, label in (("start_to_picture", "/s to the first picture on screen (yardstick: "
                                            "trivial program to its window)"),
                       ("key_to_end", "key press to the end of the process (yardstick: "
                                      "trivial program)")):
        f = e2e[key]
        ratio = statistics.median(f["saver"]) / statistics.median(f["trivial"])
        rows.append("| %s | %s | %s | %.2f |" % (label, ms(f["saver"]), ms(f["trivial"]), ratio))
        if key == "key_to_end":
            key_median = 1000 * statistics.median(f["saver"])
    for size, r in sorted(e2e["ripple"].items(), key=lambda item: int(item[0])):
        rows.append("| ripple frames per second unpaced, wave size %s (%d x %d patch, %d "
                    "frames) | "
                    "%.0f | %.0f taking the patch to the screen only | %.2f |" % (
                        size, r["side"], r["side"], r["frames"], r["ripple_fps"],
                        r["blit_fps"], r["ripple_fps"] / r["blit_fps"]))
    fit = e2e["picture_fit"]
    rows.append("| loading a %d x %d JPEG onto the screen-sized surface (decode %.0f ms + fit "
                "%.0f ms) | %.0f ms | %.0f ms decoding alone | %.2f |" % (
                    fit["size"][0], fit["size"][1], 1000 * fit["decode"], 1000 * fit["fit"],
                    1000 * fit["load"], 1000 * fit["decode"], fit["load"] / fit["decode"]))
    peaks = e2e["peak_working_set_kb"]
    saver = [p for p in peaks["saver"] if p]
    trivial = [p for p in peaks["trivial"] if p]
    if saver and trivial:
        rows.append("| peak working set, /s showing a %d x %d JPEG | %.0f MB | %.0f MB "
                    "trivial program | %.2f |" % (
                        fit["size"][0], fit["size"][1], max(saver) / 1024, max(trivial) / 1024,
                        max(saver) / max(trivial)))
    return rows, key_median


def paced_section(e2e):
    pacer = e2e.get("pacer") or {}
    rows = [(size, r) for size, r in sorted(e2e["ripple"].items(), key=lambda i: int(i[0]))
            if "paced_s" in r]
    if not rows:
        return []
    out = ["", "## Drops at the display's pace", "",
           "Each ripple frame waits for the next refresh (%s, paced at %d Hz: %s). One drop "
           "per wave size played in the process on the real surfaces, timed from its first "
           "frame to its end; beside it the frame count divided by the refresh rate." % (
               "the display reports none, so 60 Hz" if pacer.get("refresh_hz") == 60 else
               "the display's reported rate", pacer.get("refresh_hz", 0),
               "vertical-blank waits" if pacer.get("vertical_blank") else
               "a high-resolution timer, since the vertical-blank wait returns at once here"),
           "", "| wave size | frames | lasted | frames / refresh | ratio |",
           "| --- | --- | --- | --- | --- |"]
    for size, r in rows:
        out.append("| %s | %d | %.3f s | %.3f s | %.3f |" % (
            size, r["frames"], r["paced_s"], r["expected_s"], r["paced_s"] / r["expected_s"]))
    return out


def cpu_section(cpu):
    if not cpu:
        return []
    out = ["", "## Processor time of /s at the default settings", "",
           "The saver showing the setup's sample pictures at the default settings (one drop "
           "of wave size 2 per picture, blur 1), user and system time of its process over "
           "%.0f s after a 3-second start. Before: the same program with pacing switched off "
           "(the test build's \"unpaced-frames\" seam), as every frame was made before this "
           "change. The X server's time in the same span stands in for the display work a "
           "graphics driver does on Windows." % cpu[0]["seconds"], "",
           "| screen | frames | saver, CPU s per minute | saver, share of one core | X server, "
           "share of one core |", "| --- | --- | --- | --- | --- |"]
    for run in cpu:
        out.append("| %d x %d | %s | %.1f | %.1f %% | %.1f %% |" % (
            run["width"], run["height"], cpu_use.label(run), 60 * run["saver_share"],
            100 * run["saver_share"], 100 * run["xvfb_share"]))
    out.append("")
    out.append("The drops-only runs play 36 drops per picture, so nearly all their time is "
               "ripple frames at the display's pace; what the default runs spend beyond that "
               "is the per-picture work: loading and fitting the picture and its 13 reveal "
               "steps, which grow with the screen's pixels. The broken runs show a folder whose "
               "every picture fails to load: the saver sleeps between its passes over it. "
               "Load average (1 min) at the end "
               "of the runs: %s." % ", ".join(run["load"][0] for run in cpu if run.get("load")))
    return out


def breakdown_text(e2e):
    traced = [t for t in e2e.get("key_to_end_breakdown") or [] if t]
    if not traced:
        return "Not traced (strace missing)."

    def med(key):
        values = [t[key] for t in traced if t.get(key) is not None]
        return "%.0f ms" % statistics.median(values) if values else "?"
    return ("Traced with strace in %d further runs (medians, after the key press): the "
            "saver's main thread first wakes at %s; the render thread is stopped and "
            "\"vellutor.fsl\" is written and flushed by %s; the process makes its exit call "
            "at %s and is gone at %s." % (len(traced), med("arrived"), med("fsl_flushed"),
                                          med("exit_call"), med("ended"))
            + (" Loading the 640 x 480 BMP the saver shows in these runs takes %.0f ms, a call "
               "that no stop interrupts." % (1000 * e2e["bmp_load_s"])
               if "bmp_load_s" in e2e else ""))


ENDING_BOUND_MS = 300


def ending_lines(ending):
    """The target row and the section of bench/ending_during_decode.py's figures."""
    times = [1000 * t for t in ending["key_to_exit_s"]]
    moded = [1000 * t for t in ending.get("mode_change_key_to_exit_s", [])]
    worst = max(times)
    target = "| key press to the end while the render thread decodes a 6000 x 4000 JPEG, " \
        "worst of %d, at most %d ms | %.0f ms | %s |" % (
            len(times), ENDING_BOUND_MS, worst, "met" if worst <= ENDING_BOUND_MS else "not met")
    section = ["## Ending while a picture decodes", "",
               "`bench/ending_during_decode.py`: /s over a folder holding one 6000 x 4000 JPEG "
               "(decoded in %.0f ms by itself), ended by a key at a random moment inside its "
               "first decode; every other run with the wallpaper generator on. Key press to "
               "the end of the process, with \"vellutor.fsl\", the wallpaper and the display "
               "mode checked after every run (%d runs lost something)." % (
                   1000 * ending["decode_s"], len(ending["failures"])), "",
               "- keeping the desktop's display mode, %d runs: median %.0f ms, worst %.0f ms" % (
                   len(times), statistics.median(times), worst)]
    if moded:
        section.append("- putting a display mode back, %d runs: median %.0f ms, worst %.0f ms; "
                       "the mode change back is Wine's own work, as long with or without a "
                       "decode" % (len(moded), statistics.median(moded), max(moded)))
    small = [1000 * t for t in ending.get("yardstick_key_to_exit_s", [])]
    if small:
        section.append("- yardstick, the same ending over a 640 x 480 BMP in the same run, %d "
                       "runs: median %.0f ms, worst %.0f ms" % (
                           len(small), statistics.median(small), max(small)))
    return target, section + [""]


def hand_written_sections(path, generated):
    """The sections of the file at `path` that this report does not write (figures written by
    hand from other benchmarks), so that writing the report again keeps them."""
    try:
        with open(path) as f:
            lines = f.read().split("\n")
    except OSError:
        return []
    ours = {line for line in generated if line.startswith("## ")}
    kept, keep = [], False
    for line in lines:
        if line.startswith("## "):
            keep = line not in ours
        if keep:
            kept.append(line)
    if kept and kept[-1] != "":
        kept.append("")
    return kept


def first_cell(row):
    return row.split("|")[1].strip() if row.startswith("| ") else None


def hand_written_targets(path, generated):
    """The rows of the file's targets table that this report does not write (targets measured
    by other benchmarks), so that writing the report again keeps them."""
    try:
        with open(path) as f:
            lines = f.read().split("\n")
    except OSError:
        return []
    ours = {first_cell(row) for row in generated}
    kept, inside = [], False
    for line in lines:
        if line.startswith("## "):
            inside = line == "## Targets"
        elif inside and first_cell(line) not in ours | {None, "target", "---"}:
            kept.append(line)
    return kept


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bench", required=True)
    parser.add_argument("--end-to-end", required=True)
    parser.add_argument("--machine", required=True)
    parser.add_argument("--cpu-use")
    parser.add_argument("--out", required=True)
    parser.add_argument("--ending", help="figures of bench/ending_during_decode.py")
    args = parser.parse_args()
    cpu = None
    if args.cpu_use:
        with open(args.cpu_use) as f:
            cpu = json.load(f)
    ending = None
    if args.ending:
        with open(args.ending) as f:
            ending = ending_lines(json.load(f))
    with open(args.bench) as f:
        bench = json.load(f)
    with open(args.end_to_end) as f:
        e2e = json.load(f)
    with open(args.machine) as f:
        machine = json.load(f)

    reveal, reveal_1080 = reveal_rows(bench)
    advance, advance_400, paired_400 = advance_rows(bench)
    e2e_rows, key_ms = end_to_end_rows(e2e)

    out = []
    out.append("# Performance")
    out.append("")
    out.append("Written by `scripts/performance` on %s. Every figure is a ratio to a floor or "
               "yardstick measured in the same run on the same machine, since absolute times "
               "drift here." % machine["date"])
    out.append("")
    out.append("Machine: %s processors, %s. Load average (1, 5, 15 min): %s before the "
               "benchmarks, %s after them, %s after the end-to-end runs. Other work shared "
               "the machine; medians and spreads are over the repetitions shown." % (
                   machine["nproc"], machine["cpu"], machine["load_before"],
                   machine["load_after_bench"], machine["load_after_e2e"]))
    out.append("")
    out.append("## Targets")
    out.append("")
    out.append("| target | measured | |")
    out.append("| --- | --- | --- |")
    if key_ms is not None:
        out.append("| key press to the end of the process under %.0f ms | %.0f ms | %s |" % (
            TARGET_KEY_MS, key_ms, verdict(key_ms, TARGET_KEY_MS)))
    for size, r in sorted(e2e["ripple"].items(), key=lambda item: int(item[0])):
        if "paced_s" not in r:
            continue
        off = r["paced_s"] / r["expected_s"] - 1
        out.append("| a paced drop of wave size %s lasts its %d frames / refresh within "
                   "%.0f %% | %.3f s for %.3f s (%+.1f %%) | %s |" % (
                       size, r["frames"], 100 * TARGET_DROP_TOLERANCE, r["paced_s"],
                       r["expected_s"], 100 * off,
                       "met" if abs(off) <= TARGET_DROP_TOLERANCE else "not met"))
    for run in cpu or []:
        if cpu_use.label(run) == "paced (after)":
            out.append("| /s at the default settings on %d x %d: on average at most %.0f %% "
                       "of one core | %.1f %% | %s |" % (
                           run["width"], run["height"], 100 * TARGET_CPU_SHARE,
                           100 * run["saver_share"],
                           verdict(run["saver_share"], TARGET_CPU_SHARE)))
    out.extend(hand_written_targets(args.out, out))
    out.append("")
    out.append("Withdrawn: `advance` within 2x of its memcpy floor and `revealStep` within 1.5x "
               "of its random chain. Once frames wait for the display, neither is what a "
               "person waits for; the figures below are kept to catch regressions (at 400 x "
               "400 the fastest kernel is at %s of the floor, paired %s; the reveal at 1920 x "
               "1080, blur 0, worst depth, at %s of its chain)." % (
                   "%.2fx" % advance_400 if advance_400 is not None else "?",
                   "%.2fx" % paired_400 if paired_400 is not None else "?",
                   "%.2fx" % reveal_1080 if reveal_1080 is not None else "?"))
    if ending:
        out.append(ending[0])
    out.append("")
    out.append("## Reveal: one picture's 13 steps, ns per draw")
    out.append("")
    out.append("Floor: the bare random chain of the same draws (two numbers per draw and two "
               "per scatter copy of each new pixel), nothing else. Medians with min..max over "
               "%s repetitions, interleaved at random." % machine["repetitions"])
    out.append("")
    out.append("| target | bits | blur | reveal | floor | ratio |")
    out.append("| --- | --- | --- | --- | --- | --- |")
    out.extend(reveal)
    out.append("")
    out.append("## Water surface `advance`: one whole drop, ns per cell and frame")
    out.append("")
    out.append("Floor: memcpy of the same bytes (one height buffer and the picture, 16 bytes "
               "per cell). The saver runs the widest kernel the processor has. Paired: the "
               "kernel the saver runs and the floor timed back to back, drop by drop; the "
               "median of the pair ratios, with their min..max over the repetitions.")
    out.append("")
    out.append("| patch | floor | reference | SSE2 | AVX2 | paired |")
    out.append("| --- | --- | --- | --- | --- | --- |")
    out.extend(advance)
    out.append("")
    out.append("## End to end under Wine")
    out.append("")
    out.append("| figure | vellutor | yardstick | ratio |")
    out.append("| --- | --- | --- | --- |")
    out.extend(e2e_rows)
    out.append("")
    out.append(breakdown_text(e2e))
    out.extend(paced_section(e2e))
    out.extend(cpu_section(cpu))
    out.append("")
    if ending:
        out.extend(ending[1])
    out.append("The benchmarks run natively (x86-64); the saver itself is a 32-bit program "
               "under Wine, where the same loops have fewer registers.")
    out.append("")
    out.extend(hand_written_sections(args.out, out))
    with open(args.out, "w") as f:
        f.write("\n".join(out))


if __name__ == "__main__":
    main()
