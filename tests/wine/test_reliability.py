"""Reliability under Wine: hostile pictures among good ones, endings at random moments,
simultaneous starts, a save killed half-way and a dialog that holds its preview under load.

The cases here are the short versions that belong in the test command; scripts/reliability
calls the same procedures with larger counts and longer times and records the figures."""

import os
import random
import sys
import time

from winebench import BUILD, SAVER_CLASS, expect, options, settings_bytes, wait_for

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "tools", "hostile"))
import make_corpus  # noqa: E402

METER = os.path.join(BUILD, "probe_process_meter.exe")
SAVE_LOOP = os.path.join(BUILD, "probe_save_loop.exe")
REMOTE = os.path.join(BUILD, "probe_dialog_remote.exe")
DIALOG_TITLE = "Vellutor - Settings"
VIDEO_MODE = 1026
CANCEL = 2
BLUR, PSYCHEDELIA, WAVE_SIZE = 1009, 1011, 1020
FORMAT_BOXES = (1012, 1013, 1014, 1015, 1016, 1017, 1018, 1019)

# Every format on and no background cut, so each good picture shows as its solid colour.
SHOW_EVERYTHING = dict(drop_period=14, blur=0, gif_cut=0, emf=1)
# From the key to the end of the process; the render thread is given 20 ms, the rest is
# the display restore, "vellutor.fsl" and Wine's own process teardown.
END_BOUND_S = 5.0


# --- measuring ---------------------------------------------------------------------------

def linux_sample(pid):
    """What Linux says about a Wine process: resident and virtual size (bytes), open file
    descriptors and threads. None once it is gone."""
    try:
        with open("/proc/%d/status" % pid) as f:
            status = dict(line.split(":", 1) for line in f if ":" in line)
        fds = len(os.listdir("/proc/%d/fd" % pid))
    except OSError:
        return None
    kib = lambda key: int(status[key].split()[0]) * 1024  # noqa: E731
    return {"rss": kib("VmRSS"), "vsize": kib("VmSize"), "fds": fds,
            "threads": int(status["Threads"])}


def start_meter(bench, window, interval_ms, count):
    """Starts the Windows-side sampler on the process of the top-level window named by its
    class or title (in /c the saver window is a child of the dialog)."""
    return bench.start_wine(METER, window, interval_ms, count, name="meter")


def meter_samples(meter):
    """The sampler's lines as dicts (working set, pagefile, handles, GDI and USER objects)."""
    samples = []
    for line in meter.output().splitlines():
        parts = line.split()
        if parts and parts[0] == "sample" and len(parts) == 8:
            values = [int(v) for v in parts[1:]]
            samples.append(dict(zip(("ms", "working_set", "private", "pagefile", "handles",
                                     "gdi", "user"), values)))
    return samples


def dominant(shot, share=0.4):
    counts = {}
    for at in range(0, len(shot.data), 3 * 11):
        key = tuple(v // 32 for v in shot.data[at:at + 3])
        counts[key] = counts.get(key, 0) + 1
    best = max(counts, key=counts.get)
    if counts[best] < share * sum(counts.values()):
        return None
    return tuple(v * 32 + 16 for v in best)


def near(a, b, tolerance=48):
    return a is not None and all(abs(x - y) <= tolerance for x, y in zip(a, b))


# --- hostile pictures --------------------------------------------------------------------

def watch_good_pictures(bench, saver, passes, timeout_per_pass, on_sample=None):
    """Watches the screen until every good picture has shown `passes` times, sampling the
    saver's memory. Returns [(seconds, rss) at the end of each pass], all samples."""
    good = [colour for _, colour in make_corpus.GOOD]
    ends, samples = [], []
    started = time.monotonic()
    for turn in range(passes):
        seen = set()
        deadline = time.monotonic() + timeout_per_pass
        last_sample = 0.0
        while len(seen) < len(good):
            expect(saver.alive, True, "saver running in pass %d (good pictures seen: %r)"
                   % (turn + 1, sorted(seen)))
            if time.monotonic() > deadline:
                raise AssertionError("pass %d: expected all %d good pictures within %.0f s, "
                                     "saw %r" % (turn + 1, len(good), timeout_per_pass,
                                                 sorted(seen)))
            colour = dominant(bench.screenshot())
            seen.update(i for i, c in enumerate(good) if near(colour, c))
            if time.monotonic() - last_sample >= 2.0:
                last_sample = time.monotonic()
                sample = linux_sample(saver.pid)
                if sample:
                    sample["t"] = last_sample - started
                    samples.append(sample)
                    if on_sample:
                        on_sample(sample)
            time.sleep(0.25)
        sample = linux_sample(saver.pid)
        ends.append((time.monotonic() - started, sample["rss"] if sample else None))
    return ends, samples


def run_hostile(bench, folder_unix=None, passes=2, timeout_per_pass=150, copies=1, many=0):
    """Runs /s over a hostile folder and checks that the good pictures keep coming, that the
    saver ends on a key and that its memory does not grow from one pass to the next."""
    folder = bench.unix_path(bench.images_dir)
    counts = make_corpus.make(folder_unix or folder, copies=copies, many=many)
    bench.write_settings(settings_bytes(folder=bench.images_dir, **SHOW_EVERYTHING))
    saver = bench.start_scr("/s")
    bench.wait_window(cls=SAVER_CLASS, timeout=30, proc=saver)
    ends, samples = watch_good_pictures(bench, saver, passes, timeout_per_pass)
    bench.key("Escape")
    expect(saver.wait(30), 0, "exit code after a key over the hostile folder")
    fsl = bench.read_fsl()
    expect(fsl is not None and fsl.endswith(b"\0") and fsl.count(b"\0") == 1, True,
           "a \"vellutor.fsl\" of one name and its NUL, saw %r" % (fsl[:40] if fsl else fsl))
    growth = ends[-1][1] - ends[0][1]
    expect(growth < 64 << 20, True, "resident memory growth from pass 1 to pass %d below "
           "64 MiB, saw %d KiB (%r)" % (passes, growth >> 10, ends))
    return {"counts": counts, "ends": ends, "samples": samples}


def run_many(bench, many, seconds):
    """Runs /s for `seconds` over the hostile corpus plus `many` small pictures of their own
    colours; counts the pictures that came on screen and samples the saver's memory."""
    counts = make_corpus.make(bench.unix_path(bench.images_dir), copies=1, many=many)
    bench.write_settings(settings_bytes(folder=bench.images_dir, drop_period=15, blur=0,
                                        gif_cut=0, emf=1))
    saver = bench.start_scr("/s")
    bench.wait_window(cls=SAVER_CLASS, timeout=30, proc=saver)
    started, shown, last, samples, next_sample = time.monotonic(), 0, None, [], 0.0
    while time.monotonic() - started < seconds:
        expect(saver.alive, True, "saver running after %.0f s" % (time.monotonic() - started))
        colour = dominant(bench.screenshot(), share=0.8)
        if colour is not None and colour != last:
            shown, last = shown + 1, colour
        if time.monotonic() - started >= next_sample:
            sample = linux_sample(saver.pid)
            sample["t"] = time.monotonic() - started
            samples.append(sample)
            next_sample += 5.0
        time.sleep(0.2)
    bench.key("Escape")
    expect(saver.wait(30), 0, "exit code after a key over %d pictures" % many)
    expect(shown >= 3, True, "pictures shown in %d s, saw %d" % (seconds, shown))
    return {"counts": counts, "shown": shown, "samples": samples}


@options(width=640, height=480)
def test_hostile_pictures_leave_the_good_ones_showing_and_memory_flat(bench):
    run_hostile(bench, passes=2)


# --- a picture rewritten while the saver runs -------------------------------------------

def rewriter(folder, stop, seed, counts):
    """Another process's writes: one picture of each format rewritten whole, cut short,
    filled with noise or given a lying header, again and again, until `stop` is set."""
    rng = random.Random(seed)
    grey = make_corpus.solid((128, 128, 128), 96, 64)
    whole = {"bmp": make_corpus.pictures.bmp_bytes(grey),
             "emf": make_corpus.pictures.emf_bytes(grey),
             "jpg": make_corpus.grey_jpeg(96, 64),
             "gif": make_corpus.gif_declaring(96, 64)}
    lying = {"bmp": make_corpus.absurd_bmp(30000, 30000),
             "emf": make_corpus.emf_with([(37, make_corpus.words(9999))]),
             "jpg": make_corpus.jpeg_declaring(65500, 65500),
             "gif": make_corpus.gif_declaring(65535, 65535)}
    while not stop.is_set():
        ending = rng.choice(sorted(whole))
        path = os.path.join(folder, "rewritten." + ending)
        action = rng.randrange(4)
        data = whole[ending]
        if action == 1:
            data = data[:rng.randrange(len(data))]
        elif action == 2:
            data = make_corpus.noise(rng.randrange(1, 8192), rng.randrange(1 << 30))
        elif action == 3:
            data = lying[ending]
        try:
            with open(path, "wb") as f:
                # Written in pieces, so that a reader may find it at any length.
                for at in range(0, len(data), 512):
                    f.write(data[at:at + 512])
                    f.flush()
        except OSError:
            pass
        counts["rewrites"] = counts.get("rewrites", 0) + 1
        time.sleep(rng.uniform(0.0, 0.02))


def rewritten_while_running(bench, seconds, seed=None):
    """Runs /s over the good pictures and one picture of each format that another process
    rewrites and truncates in a loop for `seconds`: every good picture keeps showing, the
    saver never dies or hangs, and a key ends it within the bound."""
    import threading
    folder = bench.unix_path(bench.images_dir)
    for name, colour in make_corpus.GOOD:
        make_corpus.pictures.write(os.path.join(folder, name), make_corpus.solid(colour))
    bench.write_settings(settings_bytes(folder=bench.images_dir, **SHOW_EVERYTHING))
    stop, counts = threading.Event(), {}
    writer = threading.Thread(target=rewriter, args=(folder, stop, seed, counts), daemon=True)
    saver = bench.start_scr("/s")
    bench.wait_window(cls=SAVER_CLASS, timeout=30, proc=saver)
    writer.start()
    started, passes = time.monotonic(), 0
    try:
        while time.monotonic() - started < seconds:
            watch_good_pictures(bench, saver, 1, 60)
            passes += 1
    finally:
        stop.set()
        writer.join(10)
    keyed = time.monotonic()
    bench.key("Escape")
    try:
        code = saver.wait(END_BOUND_S)
    except AssertionError:
        raise AssertionError("expected an end within %.0f s of the key after %d rewrites"
                             % (END_BOUND_S, counts.get("rewrites", 0)))
    took = time.monotonic() - keyed
    expect(code, 0, "exit code after a key")
    expect(fsl_is_sound(bench.read_fsl(), [n for n, _ in make_corpus.GOOD] +
                        ["rewritten." + e for e in ("bmp", "emf", "jpg", "gif")]), True,
           "a sound \"vellutor.fsl\"")
    return {"seconds": round(time.monotonic() - started, 1), "passes": passes,
            "rewrites": counts.get("rewrites", 0), "end_s": round(took, 3)}


@options(width=640, height=480)
def test_a_picture_rewritten_and_cut_while_the_saver_runs_harms_nothing(bench):
    rewritten_while_running(bench, 15, seed=int(time.time()))


# --- ending at random moments ------------------------------------------------------------

def fsl_is_sound(data, names):
    """A "vellutor.fsl" as the shutdown writes it: one name (empty or a picture of the
    folder) and its NUL, nothing else."""
    if data is None or not data.endswith(b"\0") or data.count(b"\0") != 1:
        return False
    name = data[:-1].decode("latin-1")
    return name == "" or name in names


def random_endings(bench, runs, seed=None, window_s=5.0, report=None):
    """Starts /s `runs` times and ends each by a key at a random moment of its first
    `window_s` seconds after its window appears; every other run asks for a display mode.
    Returns the end times (key to process end) in seconds."""
    rng = random.Random(seed)
    names = []
    for i, colour in enumerate(((200, 50, 50), (50, 200, 50), (50, 50, 200))):
        name = "p%d.%s" % (i, ("bmp", "gif", "jpg")[i])
        make_corpus.pictures.write(bench.unix_path(bench.images_dir + "\\" + name),
                                   make_corpus.solid(colour, 320, 240))
        names.append(name)
    durations = []
    for run in range(runs):
        mode = 2 if run % 2 else 0
        bench.write_settings(settings_bytes(folder=bench.images_dir, video_mode=mode,
                                            remember_picture=1, drop_period=15))
        bench.delete_file(bench.install_dir + "\\vellutor.fsl")
        delay = rng.uniform(0.0, window_s)
        saver = bench.start_scr("/s")
        bench.wait_window(cls=SAVER_CLASS, timeout=30, proc=saver)
        time.sleep(delay)
        keyed = time.monotonic()
        bench.key("Escape")
        try:
            code = saver.wait(END_BOUND_S)
        except AssertionError:
            raise AssertionError("run %d (key after %.2f s, video mode %d): expected an end "
                                 "within %.0f s of the key" % (run, delay, mode, END_BOUND_S))
        took = time.monotonic() - keyed
        durations.append(took)
        expect(code, 0, "run %d exit code" % run)
        fsl = bench.read_fsl()
        expect(fsl_is_sound(fsl, names), True, "run %d (key after %.2f s): \"vellutor.fsl\" "
               "holding a picture of the folder or nothing, and one NUL; saw %r"
               % (run, delay, fsl))
        if mode:
            with open(saver.err_path, "rb") as f:
                trace = f.read().decode("latin-1")
            changed = trace.rfind("SetDisplayMode")
            restored = trace.rfind("RestoreDisplayMode")
            expect(changed >= 0 and restored > changed, True,
                   "run %d: RestoreDisplayMode after SetDisplayMode (set at %d, restored at %d)"
                   % (run, changed, restored))
        bench.wait_no_window(cls=SAVER_CLASS, timeout=10)
        if report:
            report(run, delay, mode, took)
    return durations


@options(wine_debug="+ddraw", width=640, height=480)
def test_endings_at_random_moments_are_bounded_and_leave_sound_files(bench):
    random_endings(bench, 5, seed=int(time.time()))


# --- a fault that the checks did not foresee ---------------------------------------------

# The exit code of a saver ended by its fault backstop.
FAULT_EXIT_CODE = 3


@options(seams=["render-fault"], wine_debug="+ddraw", width=640, height=480)
def test_a_fault_in_the_render_thread_restores_the_display_and_ends_quietly(bench):
    # The test build faults in the render thread as it loads its first picture; under Wine a
    # fault nobody catches starts the debugger and freezes the saver on screen.
    name = "p0.bmp"
    make_corpus.pictures.write(bench.unix_path(bench.images_dir + "\\" + name),
                               make_corpus.solid((200, 50, 50), 320, 240))
    bench.write_settings(settings_bytes(folder=bench.images_dir, video_mode=2,
                                        remember_picture=1, drop_period=15))
    bench.delete_file(bench.install_dir + "\\vellutor.fsl")
    saver = bench.start_scr("/s")
    try:
        code = saver.wait(30)
    except AssertionError:
        raise AssertionError("expected the faulting saver to end by itself within 30 s; it "
                             "is still running (frozen)")
    expect(code, FAULT_EXIT_CODE, "exit code of the saver ended by its backstop")
    fsl = bench.read_fsl()
    expect(fsl_is_sound(fsl, [name]), True, "\"vellutor.fsl\" holding the picture or nothing, "
           "and one NUL; saw %r" % fsl)
    with open(saver.err_path, "rb") as f:
        trace = f.read().decode("latin-1")
    changed = trace.rfind("SetDisplayMode")
    restored = trace.rfind("RestoreDisplayMode")
    expect(changed >= 0 and restored > changed, True,
           "RestoreDisplayMode after SetDisplayMode (set at %d, restored at %d)"
           % (changed, restored))
    expect("winedbg" in trace.lower(), False, "no debugger started for the fault")
    bench.wait_no_window(cls=SAVER_CLASS, timeout=10)


@options(seams=["decode-fault"], width=640, height=480)
def test_a_picture_whose_decode_faulted_is_passed_by_on_the_next_run(bench):
    # The test build faults while it decodes the one picture named to the seam. The first
    # run shows the picture before it and ends on the fault; the second must go on past it.
    colours = {"a.bmp": (220, 40, 40), "b.bmp": (40, 200, 60), "c.bmp": (40, 60, 220)}
    folder = bench.unix_path(bench.images_dir)
    for name, colour in colours.items():
        make_corpus.pictures.write(os.path.join(folder, name), make_corpus.solid(colour))
    order = [n for n in bench.driver("listdir", bench.images_dir).values("entry")
             if n in colours]
    shown, faulting, following = order
    bench.seams = ["decode-fault=" + faulting]
    bench.write_settings(settings_bytes(folder=bench.images_dir, remember_picture=1,
                                        **SHOW_EVERYTHING))
    bench.write_fsl(shown.encode() + b"\0")
    first = bench.start_scr("/s")
    expect(first.wait(60), FAULT_EXIT_CODE, "exit code of the run that faulted on " + faulting)
    expect(bench.read_fsl(), shown.encode() + b"\0",
           "\"vellutor.fsl\" after the fault: the last picture shown, not the one that faulted")

    second = bench.start_scr("/s")
    bench.wait_window(cls=SAVER_CLASS, timeout=30, proc=second)
    wait_for(lambda: not second.alive or near(dominant(bench.screenshot()), colours[following]),
             timeout=40, what="%s shown after %s by the second run" % (following, shown),
             interval=0.25)
    expect(second.alive, True, "second run still running (exit code %r)" % second.poll())
    bench.key("Escape")
    expect(second.wait(30), 0, "exit code of the second run")
    expect(bench.read_fsl() != faulting.encode() + b"\0", True, "\"vellutor.fsl\" not naming "
           "the picture that faulted")


# --- simultaneous starts ------------------------------------------------------------------

def simultaneous_starts(bench, count=10):
    """Starts `count` savers at once; exactly one may run. Returns the exit codes of the
    turned-away ones."""
    bench.write_settings(settings_bytes(folder=bench.images_dir))
    savers = [bench.start_scr("/s") for _ in range(count)]
    wait_for(lambda: sum(s.alive for s in savers) <= 1, timeout=60,
             what="all but one of %d simultaneous starts to end" % count, interval=0.2)
    time.sleep(2.0)  # a late second runner would show itself now
    running = [s for s in savers if s.alive]
    expect(len(running), 1, "savers still running after %d simultaneous starts" % count)
    codes = sorted(s.poll() for s in savers if not s.alive)
    expect(all(code >= 1 for code in codes), True, "exit codes of the turned-away starts "
           "(instances still counted, at least 1): %r" % codes)
    bench.wait_window(cls=SAVER_CLASS, timeout=30, proc=running[0])
    bench.key("Escape")
    expect(running[0].wait(30), 0, "exit code of the one that ran")
    # The gate is open again.
    again = bench.start_scr("/s")
    bench.wait_window(cls=SAVER_CLASS, timeout=30, proc=again)
    bench.key("Escape")
    expect(again.wait(30), 0, "exit code of a start after all had ended")
    return codes


def test_ten_simultaneous_starts_run_exactly_one(bench):
    simultaneous_starts(bench, 10)


# --- a save killed half-way ---------------------------------------------------------------

def killed_saves(bench, kills, seed=None):
    """Kills a process that saves the settings in a loop at random moments, `kills` times;
    "vellutor.set" must always be one of the two complete files it writes."""
    rng = random.Random(seed)
    folders = (r"C:\pictures\first", r"D:\another\folder\with a longer name")
    whole = []
    for n, folder in enumerate(folders):
        record = settings_bytes(folder=folder, blur=3 if n == 0 else 7)
        whole.append(record)
    original = settings_bytes(folder=r"C:\before")
    bench.write_settings(original)
    seen = {}
    for kill in range(kills):
        saver = bench.start_wine(SAVE_LOOP, *folders, name="save_loop")
        wait_for(lambda: "saving" in saver.output() or not saver.alive, timeout=30,
                 what="the first save")
        expect(saver.alive, True, "save loop running (output %r)" % saver.output())
        time.sleep(rng.uniform(0.0, 0.5))
        saver.kill()
        data = bench.read_settings()
        expect(data in whole, True, "kill %d: \"vellutor.set\" one of the two whole files, "
               "saw %r" % (kill, data))
        seen[data] = seen.get(data, 0) + 1
    return {"kills": kills, "distinct_files_seen": len(seen)}


def test_settings_save_killed_at_random_moments_leaves_a_whole_file(bench):
    killed_saves(bench, 6, seed=int(time.time()))


# --- the dialog holding its preview -------------------------------------------------------

def remote(bench, *args):
    proc = bench.start_wine(REMOTE, *[str(a) for a in args], name="remote")
    expect(proc.wait(60), 0, "probe_dialog_remote %s" % " ".join(map(str, args)))
    values = {}
    for line in proc.output().splitlines():
        key, _, value = line.partition(" ")
        values.setdefault(key, value)
    return values


def hold_and_release(bench, rounds, deadline_s=None):
    """Opens the video-mode list (which holds the preview) and closes it again, round after
    round, working the controls in between; the dialog must answer within 5 s every time.
    Returns the slowest answer in ms and the number of rounds."""
    for i, colour in enumerate(((220, 120, 20), (20, 160, 140), (30, 40, 220))):
        name = "p%d.%s" % (i, ("bmp", "gif", "jpg")[i])
        make_corpus.pictures.write(bench.unix_path(bench.images_dir + "\\" + name),
                                   make_corpus.solid(colour, 320, 240))
    bench.write_settings(settings_bytes(folder=bench.images_dir, drop_period=20))
    saver = bench.start_scr("/c")
    dialog = bench.wait_window(title=DIALOG_TITLE, timeout=30, proc=saver)
    slowest, done = 0, 0
    started = time.monotonic()
    for turn in range(rounds):
        if deadline_s and time.monotonic() - started > deadline_s:
            break
        for dropped in (1, 0):
            expect(remote(bench, "droplist", dialog.hwnd, dropped)["dropped"], str(dropped),
                   "round %d: list %s" % (turn, "open" if dropped else "closed"))
            answer = remote(bench, "ping", dialog.hwnd, 8000)
            expect(answer["answered"], "1", "round %d: the dialog answering with the list %s"
                   % (turn, "open" if dropped else "closed"))
            slowest = max(slowest, int(answer["ms"]))
        bench.driver("click", dialog.hwnd, FORMAT_BOXES[turn % len(FORMAT_BOXES)])
        bench.driver("trackbar", dialog.hwnd, (BLUR, PSYCHEDELIA, WAVE_SIZE)[turn % 3], turn % 5)
        expect(saver.alive, True, "saver running after round %d" % turn)
        done += 1
    expect(slowest < 5000, True, "slowest answer below 5000 ms, saw %d ms" % slowest)
    bench.driver("command", dialog.hwnd, CANCEL)
    expect(saver.wait(30), 0, "exit code after Cancel")
    return {"rounds": done, "slowest_ms": slowest}


def test_dialog_answers_while_the_list_holds_and_releases_the_preview(bench):
    hold_and_release(bench, 5)


# --- soaks (by hand only: scripts/reliability) ---------------------------------------------

def soak(bench, mode, seconds, interval_s=5.0, log=None):
    """Runs the saver in `mode` ("/s" or "/c") for `seconds`, sampling Linux's and Windows'
    view of its resources every `interval_s`. In "/c" the driver works the controls all the
    while. Returns the Linux samples and the Windows samples."""
    for i, colour in enumerate(((200, 60, 60), (60, 200, 60), (60, 60, 200), (200, 200, 60))):
        name = "s%d.%s" % (i, ("bmp", "gif", "jpg", "bmp")[i])
        make_corpus.pictures.write(bench.unix_path(bench.images_dir + "\\" + name),
                                   make_corpus.solid(colour, 400, 300))
    bench.write_settings(settings_bytes(folder=bench.images_dir, drop_period=20, blur=2,
                                        psychedelia=1))
    saver = bench.start_scr(mode)
    if mode == "/c":
        dialog = bench.wait_window(title=DIALOG_TITLE, timeout=30, proc=saver)
    else:
        bench.wait_window(cls=SAVER_CLASS, timeout=30, proc=saver)
    meter = start_meter(bench, DIALOG_TITLE if mode == "/c" else SAVER_CLASS,
                        int(interval_s * 1000), int(seconds / interval_s) + 2)
    linux, started, turn = [], time.monotonic(), 0
    next_sample = started
    while time.monotonic() - started < seconds:
        expect(saver.alive, True, "saver %s running after %.0f s" % (mode, time.monotonic() -
                                                                    started))
        if time.monotonic() >= next_sample:
            sample = linux_sample(saver.pid)
            sample["t"] = time.monotonic() - started
            linux.append(sample)
            if log:
                log(sample)
            next_sample += interval_s
        if mode == "/c":
            bench.driver("click", dialog.hwnd, FORMAT_BOXES[turn % len(FORMAT_BOXES)])
            bench.driver("trackbar", dialog.hwnd, (BLUR, PSYCHEDELIA, WAVE_SIZE)[turn % 3],
                         turn % 5)
            if turn % 10 == 0:
                remote(bench, "droplist", dialog.hwnd, 1)
                remote(bench, "droplist", dialog.hwnd, 0)
            turn += 1
        else:
            time.sleep(0.5)
    windows = meter_samples(meter)
    if mode == "/c":
        bench.driver("command", dialog.hwnd, CANCEL)
    else:
        bench.key("Escape")
    expect(saver.wait(30), 0, "exit code after the %s soak" % mode)
    return {"linux": linux, "windows": windows, "control_rounds": turn}
