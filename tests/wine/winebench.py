"""Wine test bench: runs the Windows build of Vellutor in a throw-away Wine prefix on its own
X server, and gives a test what it needs to drive it and to look at the result.

A test case is a function ``test_something(bench)`` in ``tests/wine/test_*.py``; ``run.py``
creates the ``Bench`` (with the options of ``@options(...)``, if any), calls the case and
cleans up. A case fails by raising ``AssertionError``; ``expect(seen, expected, what)`` and
``wait_for(...)`` raise it with a message that says what was expected and what was seen.

Environment:
    VELLUTOR_BUILD  the cross-build folder holding vellutor.scr and driver.exe
                    (default: build/windows of the repository)
    VELLUTOR_WORK   scratch folder for the prefix template and the per-test prefixes
                    (default: /tmp/vellutor-wine)

What a Bench sets up (all of it is removed again by ``close()``):
    * a copy of a 32-bit prefix template (made once per work folder, safely across processes)
    * its own Xvfb (1024 x 768 x 24 unless asked otherwise) and its own ``wineserver``
    * the install folder ``C:\\vellutor`` with ``vellutor.scr`` and an empty ``images``
      folder, and HKCU "Software\\Vellutor" "Install_Dir" = "C:\\vellutor"
      (unless ``install_dir=False``; ``install_dir="D:\\x"`` names another folder value)

The API, by topic (Windows paths are plain strings such as r"C:\\vellutor\\vellutor.set"):

    Options      @options(width=, height=, depth=, install_dir=, wine_debug=, seams=[names],
                 monitors=2, second="right", second_size=, log_pixels=)
                 monitors=2: two monitors, 0,0-1024,768 (primary) and 1024,0-1824,600, from
                 an Xephyr with Xinerama inside an Xvfb of its own (Wine's XRandR is off:
                 it would report one monitor); width and height stay the primary's.
                 second="left": the second monitor lies left of the primary instead,
                 -800,0-0,600; on the X screen it is then 0,0-800,600 and the primary
                 800,0-1824,768. second_size=(w, h): the second monitor's size.
                 log_pixels=N: the desktop's DPI (HKCU "Control Panel\Desktop" LogPixels)
    Paths        bench.install_dir, bench.scr_path, bench.images_dir, bench.windows_dir
                 bench.unix_path(win_path)
    Files        bench.read_file(win_path) -> bytes or None, bench.write_file(win_path, data),
                 bench.delete_file(win_path), bench.file_exists(win_path),
                 bench.write_settings(data), bench.read_settings(), bench.write_fsl(data),
                 bench.read_fsl(), bench.add_picture(name, data_or_unix_path),
                 settings_bytes(**fields) -> the bytes of a "vellutor.set"
    Programs     bench.start_scr(*args) -> Proc, bench.run_scr(*args, timeout=) -> exit code,
                 bench.start_driver(*args) -> Proc, bench.driver(*args, timeout=, ok=)
                 -> DriverResult, bench.start_wine(program, *args) -> Proc,
                 bench.hold_file(win_path, seconds=) -> Proc (file unwritable while it runs)
                 Proc: .pid, .poll(), .wait(timeout) -> exit code, .alive, .kill(),
                 .output() (stdout text), .name
    Windows      bench.find_window(cls=, title=, timeout=) -> Window or None,
                 bench.wait_window(..., proc=) -> Window, bench.wait_no_window(...),
                 bench.visible_windows() -> [(hwnd, pid, class, title)]
    Registry     bench.reg_read(key, value) -> str / int / bytes / None,
                 bench.reg_write(key, value, data), bench.reg_delete(key, value=None)
                 (keys under HKEY_CURRENT_USER)
    Screen       bench.screenshot() -> Screen, bench.screen_pixels(x, y, w, h) -> Screen
                 (through the driver's GetDC), Screen.pixel(x, y), .crop(x, y, w, h),
                 .count_changed(other, tolerance=), .is_uniform(tolerance=), .mean(),
                 bench.wait_screen_change(reference, min_pixels=, timeout=)
                 Both first wake every Wine program's window threads (bench.flush_screen()):
                 Wine copies a program's drawing to X only when one of its window threads
                 goes idle, so a saver drawing from its render thread while its main thread
                 waits would otherwise show a half-revealed picture for seconds.
    Input        bench.key(*names), bench.mousemove(x, y), bench.mousedown(button=1),
                 bench.mouseup(button=1), bench.click(button=1)  (xdotool, as a user)
    Waiting      wait_for(condition, timeout=, what=, interval=) -> the first true result

Cleanup stops every process the bench started by its process id (programs, wineserver,
Xvfb), kills whatever Wine still runs in the prefix, and deletes the prefix copy; it runs on
``close()``, at interpreter exit and, through ``install_signal_handlers()``, on SIGTERM,
SIGINT and SIGHUP. A run that was killed outright is swept up by the next Bench.
"""

import atexit
import ctypes
import fcntl
import os
import shutil
import signal
import subprocess
import sys
import time

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.environ.get("VELLUTOR_BUILD") or os.path.join(REPO, "build", "windows")
WORK = os.environ.get("VELLUTOR_WORK") or "/tmp/vellutor-wine"

INSTALL_DIR = r"C:\vellutor"
VELLUTOR_KEY = r"Software\Vellutor"
SETTINGS_FILE = "vellutor.set"
FSL_FILE = "vellutor.fsl"
SAVER_CLASS = "Vellutor"

WINE_DLL_OVERRIDES = "mscoree,mshtml="
TEMPLATE_READY = ".vellutor-template-ready"
# The second monitor of @options(monitors=2), right of the primary.
SECOND_MONITOR = (800, 600)

# Settings record defaults, in file order.
SETTINGS_FIELDS = (
    ("drop_period", 15),
    ("psychedelia", 0),
    ("blur", 1),
    ("remember_picture", 0),
    ("wallpaper_generator", 0),
    ("wave_size", 2),
    ("video_mode", 0),  # two bytes, little-endian
    ("bmp", 1),
    ("bmp_cut", 0),
    ("gif", 1),
    ("gif_cut", 1),
    ("jpeg", 1),
    ("jpeg_cut", 0),
    ("emf", 0),
    ("emf_cut", 0),
)


class Interrupted(BaseException):
    """Raised in the main thread when the runner is told to stop (signal or deadline)."""


class BenchTimeout(AssertionError):
    pass


def expect(seen, expected, what):
    """Fails with "<what>: expected X, saw Y" unless seen == expected."""
    if seen != expected:
        raise AssertionError("%s: expected %r, saw %r" % (what, expected, seen))


def wait_for(condition, timeout=20.0, what="the condition", interval=0.1):
    """Calls condition() until it gives a true value and returns that value; fails after
    `timeout` seconds with a message naming `what` and the last value seen."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise BenchTimeout("timed out after %.0f s waiting for %s (last seen: %r)"
                               % (timeout, what, value))
        time.sleep(interval)


def still_sampling(started, seconds, done=None, longest=60.0):
    """Whether a test that samples the screen since `started` goes on: for at least
    `seconds`, then, with `done`, while done() is false and `longest` seconds have not
    passed, since a loaded machine shows things later."""
    elapsed = time.monotonic() - started
    if elapsed < seconds:
        return True
    return done is not None and elapsed < longest and not done()


def options(**kwargs):
    """Decorator: the Bench options of one case, e.g. @options(install_dir=False)."""
    def mark(case):
        case.bench_options = kwargs
        return case
    return mark


def settings_bytes(folder=None, **fields):
    """The bytes of a "vellutor.set": the 16-byte record (defaults unless named in `fields`)
    followed by `folder` and its NUL when a folder (str or bytes) is given."""
    unknown = set(fields) - {name for name, _ in SETTINGS_FIELDS}
    if unknown:
        raise ValueError("unknown settings fields: %s" % sorted(unknown))
    record = bytearray()
    for name, default in SETTINGS_FIELDS:
        value = fields.get(name, default)
        record += value.to_bytes(2 if name == "video_mode" else 1, "little")
    if folder is not None:
        record += (folder.encode("latin-1") if isinstance(folder, str) else folder) + b"\0"
    return bytes(record)


# --- process bookkeeping ----------------------------------------------------------------------

def _start_time(pid):
    """The kernel's start time of a process, to tell it from a later one with the same pid."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[19]
    except (OSError, IndexError):
        return None


def _pid_alive(pid, start=None):
    now = _start_time(pid)
    return now is not None and (start is None or now == start)


def _kill(pid, sig=signal.SIGKILL):
    try:
        os.kill(pid, sig)
    except ProcessLookupError:
        pass


_libc = ctypes.CDLL(None, use_errno=True)
_PR_SET_PDEATHSIG = 1


def _die_with_runner():
    # A runner killed outright takes the X server and wineserver with it.
    _libc.prctl(_PR_SET_PDEATHSIG, signal.SIGKILL)


_live_benches = []
_closing = False


def _close_all():
    for bench in list(_live_benches):
        bench.close()


atexit.register(_close_all)


def _on_signal(signum, frame):
    if _closing:
        return
    raise Interrupted("stopped by signal %d" % signum)


def install_signal_handlers():
    """SIGTERM, SIGINT and SIGHUP raise Interrupted, so that the finally blocks clean up."""
    for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(sig, _on_signal)


# --- the prefix template ---------------------------------------------------------------------

def _wine_env(prefix, display=None, debug="-all"):
    env = dict(os.environ)
    for name in ("WINESERVER", "WINELOADER", "DISPLAY", "WAYLAND_DISPLAY"):
        env.pop(name, None)
    env.update(WINEPREFIX=prefix, WINEARCH="win32", WINEDEBUG=debug,
               WINEDLLOVERRIDES=WINE_DLL_OVERRIDES)
    if display:
        env["DISPLAY"] = display
    return env


def _wine_version():
    return subprocess.run(["wine", "--version"], capture_output=True, text=True,
                          check=False).stdout.strip()


def ensure_template():
    """The path of the prefix template, made once per work folder. Parallel runners wait on
    a lock; the ready marker (with the Wine version) makes later ones reuse it."""
    os.makedirs(WORK, exist_ok=True)
    template = os.path.join(WORK, "template")
    marker = os.path.join(template, TEMPLATE_READY)
    version = _wine_version()
    with open(os.path.join(WORK, "template.lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        try:
            with open(marker) as f:
                if f.read().strip() == version:
                    return template
        except OSError:
            pass
        shutil.rmtree(template, ignore_errors=True)
        os.makedirs(template)
        env = _wine_env(template)
        log_path = os.path.join(WORK, "template.log")
        with open(log_path, "w") as log:
            steps = (
                ["wineboot", "-i"],
                ["wine", "reg", "add", r"HKCU\Software\Wine\Direct3D", "/v", "renderer",
                 "/t", "REG_SZ", "/d", "gdi", "/f"],
                ["wineserver", "-w"],
            )
            try:
                for step in steps:
                    subprocess.run(step, env=env, stdin=subprocess.DEVNULL, stdout=log,
                                   stderr=subprocess.STDOUT, timeout=120, check=True)
            except (subprocess.SubprocessError, OSError) as error:
                subprocess.run(["wineserver", "-k"], env=env, stdout=log,
                               stderr=subprocess.STDOUT, timeout=30, check=False)
                raise RuntimeError("could not make the Wine prefix template (%s); see %s"
                                   % (error, log_path)) from error
        with open(marker, "w") as f:
            f.write(version + "\n")
        return template


def sweep_stale_runs():
    """Removes the run folders of runners that died without cleaning up, and stops the
    processes they recorded (only if those are still the same processes)."""
    runs = os.path.join(WORK, "runs")
    if not os.path.isdir(runs):
        return
    for name in os.listdir(runs):
        folder = os.path.join(runs, name)
        try:
            with open(os.path.join(folder, "owner")) as f:
                owner_pid, owner_start = f.read().split()
        except (OSError, ValueError):
            # Still being made, or half-removed: only old ones are ours to take.
            if time.time() - os.path.getmtime(folder) < 600:
                continue
            owner_pid, owner_start = "0", ""
        if _pid_alive(int(owner_pid), owner_start):
            continue
        try:
            with open(os.path.join(folder, "pids")) as f:
                recorded = [line.split() for line in f if line.strip()]
        except OSError:
            recorded = []
        for pid, start in recorded:
            if _pid_alive(int(pid), start):
                _kill(int(pid))
        _kill_prefix_processes(os.path.join(folder, "prefix"))
        shutil.rmtree(folder, ignore_errors=True)


def _kill_prefix_processes(prefix):
    """Kills, by pid, every process whose environment names `prefix` as its Wine prefix."""
    needle = ("WINEPREFIX=%s\0" % prefix).encode()
    me = os.getpid()
    for entry in os.listdir("/proc"):
        if not entry.isdigit() or int(entry) == me:
            continue
        try:
            with open("/proc/%s/environ" % entry, "rb") as f:
                environ = f.read() + b"\0"
        except OSError:
            continue
        if needle in environ:
            _kill(int(entry))


# --- screen pixels ---------------------------------------------------------------------------

class Screen:
    """RGB pixels of a screen or part of it: width, height, data (3 bytes a pixel)."""

    def __init__(self, width, height, data, path=None):
        if len(data) != width * height * 3:
            raise ValueError("pixel data of %d bytes for %d x %d" % (len(data), width, height))
        self.width, self.height, self.data, self.path = width, height, bytes(data), path

    @classmethod
    def from_ppm(cls, raw, path=None):
        """Parses a binary PPM (P6) with a maximum of 255."""
        fields, at = [], 0
        while len(fields) < 4:
            while raw[at:at + 1].isspace():
                at += 1
            if raw[at:at + 1] == b"#":
                at = raw.index(b"\n", at) + 1
                continue
            start = at
            while not raw[at:at + 1].isspace():
                at += 1
            fields.append(raw[start:at])
        if fields[0] != b"P6" or int(fields[3]) != 255:
            raise ValueError("not an 8-bit binary PPM: %r" % fields)
        width, height = int(fields[1]), int(fields[2])
        at += 1  # the single blank after the maximum
        return cls(width, height, raw[at:at + width * height * 3], path)

    def pixel(self, x, y):
        at = (y * self.width + x) * 3
        return tuple(self.data[at:at + 3])

    def crop(self, x, y, width, height):
        if x < 0 or y < 0 or x + width > self.width or y + height > self.height:
            raise ValueError("region %r outside %d x %d"
                             % ((x, y, width, height), self.width, self.height))
        rows = [self.data[((y + r) * self.width + x) * 3:((y + r) * self.width + x + width) * 3]
                for r in range(height)]
        return Screen(width, height, b"".join(rows))

    def count_changed(self, other, tolerance=0):
        """Pixels that differ from `other` (same size) by more than `tolerance` in any
        channel."""
        if (self.width, self.height) != (other.width, other.height):
            raise ValueError("comparing %d x %d with %d x %d"
                             % (self.width, self.height, other.width, other.height))
        changed = 0
        a, b = self.data, other.data
        for at in range(0, len(a), 3):
            if (abs(a[at] - b[at]) > tolerance or abs(a[at + 1] - b[at + 1]) > tolerance
                    or abs(a[at + 2] - b[at + 2]) > tolerance):
                changed += 1
        return changed

    def matches(self, other, tolerance=0, max_changed=0):
        return self.count_changed(other, tolerance) <= max_changed

    def is_uniform(self, tolerance=0):
        first = self.pixel(0, 0)
        return self.count_changed(
            Screen(self.width, self.height, bytes(first) * (self.width * self.height)),
            tolerance) == 0

    def mean(self):
        count = self.width * self.height
        return tuple(sum(self.data[c::3]) / count for c in range(3))

    def save(self, path):
        with open(path, "wb") as f:
            f.write(b"P6\n%d %d\n255\n" % (self.width, self.height) + self.data)
        self.path = path
        return path


# --- programs under Wine ---------------------------------------------------------------------

class Proc:
    """A Wine program the bench started. Its stdout and stderr go to files (a pipe would be
    held open by Wine's helper processes)."""

    def __init__(self, bench, name, popen, out_path, err_path):
        self.bench, self.name, self.popen = bench, name, popen
        self.out_path, self.err_path = out_path, err_path
        self.pid = popen.pid

    def poll(self):
        return self.popen.poll()

    @property
    def alive(self):
        return self.popen.poll() is None

    def wait(self, timeout=30.0):
        """The Windows exit code; fails when the program is still running after `timeout`."""
        try:
            return self.popen.wait(timeout)
        except subprocess.TimeoutExpired:
            raise BenchTimeout("%s did not end within %.0f s" % (self.name, timeout)) from None

    def kill(self):
        """SIGKILL by pid, as `kill -9` would."""
        if self.alive:
            _kill(self.pid)
        self.popen.wait(10)

    def output(self):
        try:
            with open(self.out_path, "rb") as f:
                return f.read().decode("latin-1").replace("\r\n", "\n")
        except OSError:
            return ""


class DriverResult:
    """The driver's exit code and its "key value" lines."""

    def __init__(self, code, text):
        self.code = code
        self.text = text
        self.lines = []
        for line in text.splitlines():
            key, _, value = line.partition(" ")
            if key:
                self.lines.append((key, value))

    def values(self, key):
        return [value for k, value in self.lines if k == key]

    def value(self, key, default=None):
        found = self.values(key)
        return found[0] if found else default

    def int(self, key, default=None):
        found = self.value(key)
        return default if found is None else int(found, 0)

    def __repr__(self):
        return "DriverResult(code=%r, text=%r)" % (self.code, self.text)


class Window:
    """A top-level window as the driver describes it."""

    def __init__(self, result, key="hwnd"):
        self.hwnd = result.int(key)
        self.cls = result.value("class", "")
        self.title = result.value("title", "")
        self.rect = tuple(int(v) for v in result.value("rect", "0 0 0 0").split())
        self.client = tuple(int(v) for v in result.value("client", "0 0").split())
        self.style = result.int("style", 0)
        self.exstyle = result.int("exstyle", 0)
        self.visible = bool(result.int("visible", 0))
        self.topmost = bool(result.int("topmost", 0))
        self.pid = result.int("owner_pid", 0)

    def __repr__(self):
        return "Window(%s %r %r rect=%r style=0x%08x visible=%r)" % (
            self.hwnd, self.cls, self.title, self.rect, self.style, self.visible)


class Bench:
    """One test's Wine world. Use as a context manager, or call start() and close()."""

    def __init__(self, name="bench", width=1024, height=768, depth=24, install_dir=True,
                 wine_debug="-all", seams=None, monitors=1, second="right",
                 second_size=SECOND_MONITOR, log_pixels=None):
        self.name = name
        self.monitors = monitors
        if second not in ("right", "left"):
            raise ValueError("second=%r: the second monitor lies right or left" % second)
        self.second = second
        self.second_size = tuple(second_size)
        self.log_pixels = log_pixels
        self._xephyr = None
        # Names of test seams to arm: the test build of the saver is installed in its place.
        self.seams = seams
        self.width, self.height, self.depth = width, height, depth
        self.install_dir_value = INSTALL_DIR if install_dir is True else install_dir
        self.wine_debug = wine_debug
        self.install_dir = INSTALL_DIR
        self.scr_path = INSTALL_DIR + "\\vellutor.scr"
        self.images_dir = INSTALL_DIR + "\\images"
        self.windows_dir = r"C:\windows"
        self.run_dir = self.prefix = self.display = None
        self.last_screenshot = None
        self._procs, self._serial, self._xvfb, self._wineserver = [], 0, None, None
        self._server_dir = None
        self._closed = False

    # -- life --------------------------------------------------------------------------------

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.close()
        return False

    def start(self):
        for program in ("vellutor.scr", "driver.exe"):
            if not os.path.isfile(os.path.join(BUILD, program)):
                raise RuntimeError("%s is missing from %s (VELLUTOR_BUILD)" % (program, BUILD))
        template = ensure_template()
        sweep_stale_runs()
        _live_benches.append(self)
        runs = os.path.join(WORK, "runs")
        os.makedirs(runs, exist_ok=True)
        self.run_dir = _make_unique_dir(runs, "%s-%d" % (self.name, os.getpid()))
        with open(os.path.join(self.run_dir, "owner"), "w") as f:
            f.write("%d %s\n" % (os.getpid(), _start_time(os.getpid())))
        os.makedirs(os.path.join(self.run_dir, "logs"))
        self.prefix = os.path.join(self.run_dir, "prefix")
        subprocess.run(["cp", "-a", template, self.prefix], check=True)
        self._install()
        self._start_xvfb()
        if self.monitors == 2:
            self._start_xephyr()
        elif self.monitors != 1:
            raise ValueError("monitors=%r: the bench makes one or two" % self.monitors)
        self._start_wineserver()
        return self

    def close(self):
        """Stops everything this bench started and deletes its prefix copy. Safe to call
        more than once."""
        global _closing
        if self._closed:
            return
        self._closed = True
        blocked = {signal.SIGTERM, signal.SIGINT, signal.SIGHUP}
        signal.pthread_sigmask(signal.SIG_BLOCK, blocked)
        _closing = True
        try:
            if self.prefix and self._wineserver:
                try:
                    subprocess.run(["wineserver", "-k"], env=self._env(),
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL, timeout=15, check=False)
                except subprocess.TimeoutExpired:
                    pass
            for proc in self._procs:
                if proc.alive:
                    _kill(proc.pid)
            for popen in (self._wineserver, self._xephyr, self._xvfb):
                if popen and popen.poll() is None:
                    popen.terminate()
                    try:
                        popen.wait(3)
                    except subprocess.TimeoutExpired:
                        popen.kill()
            for popen in [p.popen for p in self._procs] + [self._wineserver, self._xephyr,
                                                           self._xvfb]:
                if popen:
                    try:
                        popen.wait(5)
                    except subprocess.TimeoutExpired:
                        pass
            if self.prefix:
                _kill_prefix_processes(self.prefix)
                self._remove_server_dir()
            if self.run_dir:
                shutil.rmtree(self.run_dir, ignore_errors=True)
        finally:
            if self in _live_benches:
                _live_benches.remove(self)
            _closing = False
            signal.pthread_sigmask(signal.SIG_UNBLOCK, blocked)

    def keep_evidence(self, label):
        """Copies the logs and a last screenshot out of the run folder (which close()
        deletes) into VELLUTOR_WORK/evidence/<label> and returns the paths worth naming."""
        if not self.run_dir or self._closed:
            return []
        target = os.path.join(WORK, "evidence", label)
        shutil.rmtree(target, ignore_errors=True)
        os.makedirs(target)
        kept = []
        earlier = self.last_screenshot
        try:
            shot = self.screenshot()
            kept.append(shot.save(os.path.join(target, "screen-at-failure.ppm")))
        except Exception:  # the X server may be gone; the other evidence still counts
            pass
        if earlier and os.path.isfile(earlier):
            kept.append(shutil.copy(earlier, target))
        # Every log goes along; the driver's many small answers are not listed one by one.
        logs = os.path.join(self.run_dir, "logs")
        for name in sorted(os.listdir(logs)):
            path = os.path.join(logs, name)
            if os.path.getsize(path) and not name.endswith(".ppm"):
                copied = shutil.copy(path, target)
                if "-driver." not in name:
                    kept.append(copied)
        kept.append(target + "/ (all logs, driver answers included)")
        return kept

    # -- setting up --------------------------------------------------------------------------

    def _env(self):
        env = _wine_env(self.prefix, self.display, self.wine_debug)
        if self.seams:
            env["VELLUTOR_SEAMS"] = ",".join(self.seams)
        return env

    def _record_pid(self, pid):
        with open(os.path.join(self.run_dir, "pids"), "a") as f:
            f.write("%d %s\n" % (pid, _start_time(pid)))

    def _log(self, name):
        return open(os.path.join(self.run_dir, "logs", name), "wb")

    def _install(self):
        install = self.unix_path(self.install_dir, must_exist=False)
        os.makedirs(os.path.join(install, "images"))
        if self.seams:
            shutil.copy(os.path.join(BUILD, "vellutor-seams.scr"),
                        os.path.join(install, "vellutor.scr"))
        else:
            shutil.copy(os.path.join(BUILD, "vellutor.scr"), install)
        self._add_user_values()
        if self.install_dir_value:
            # Written into the hive before the server loads it: no Wine start needed.
            escaped = self.install_dir_value.replace("\\", "\\\\").replace('"', '\\"')
            with open(os.path.join(self.prefix, "user.reg"), "a", encoding="latin-1") as f:
                f.write('\n[Software\\\\Vellutor] %d\n#time=0\n"Install_Dir"="%s"\n'
                        % (int(time.time()), escaped))

    def _add_user_values(self):
        """Values the tests' options ask for, written into the hive before the server
        loads it."""
        lines = []
        if self.monitors == 2:
            # Xinerama's second screen as Wine's primary puts the first one left of it.
            lines.append('\n[Software\\\\Wine\\\\X11 Driver] %d\n#time=0\n"UseXRandR"="N"\n'
                         '"PrimaryMonitor"="%d"\n'
                         % (int(time.time()), 1 if self.second == "left" else 0))
        if self.log_pixels:
            lines.append('\n[Control Panel\\\\Desktop] %d\n#time=0\n"LogPixels"=dword:%08x\n'
                         % (int(time.time()), self.log_pixels))
        if lines:
            with open(os.path.join(self.prefix, "user.reg"), "a", encoding="latin-1") as f:
                f.writelines(lines)

    def _start_xephyr(self):
        """Two monitors: an Xephyr with two Xinerama screens inside the bench's Xvfb, which
        must be large enough to hold both (Xvfb alone gives Wine one monitor)."""
        read_end, write_end = os.pipe()
        log = self._log("xephyr.log")
        env = dict(os.environ, DISPLAY=self.display)
        screens = ["-screen", "%dx%d" % (self.width, self.height),
                   "-screen", "%dx%d" % self.second_size]
        if self.second == "left":
            screens = screens[2:] + screens[:2]
        try:
            self._xephyr = subprocess.Popen(
                ["Xephyr", "-displayfd", str(write_end), "+xinerama", *screens,
                 "-nolisten", "tcp", "-ac", "-noreset"],
                env=env, stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                pass_fds=(write_end,), preexec_fn=_die_with_runner)
        finally:
            os.close(write_end)
            log.close()
        self._record_pid(self._xephyr.pid)
        self.display = ":" + self._read_display_number(self._xephyr, read_end, "Xephyr")

    def _read_display_number(self, server, read_end, what):
        number = b""
        deadline = time.monotonic() + 20
        with os.fdopen(read_end, "rb", buffering=0) as pipe:
            os.set_blocking(pipe.fileno(), False)
            while not number.endswith(b"\n"):
                if server.poll() is not None or time.monotonic() > deadline:
                    raise RuntimeError("%s did not start; see its log in %s"
                                       % (what, self.run_dir))
                try:
                    number += pipe.read(16) or b""
                except BlockingIOError:
                    pass
                time.sleep(0.02)
        return number.decode().strip()

    def _start_xvfb(self):
        read_end, write_end = os.pipe()
        log = self._log("xvfb.log")
        try:
            self._xvfb = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                 "%dx%dx%d" % self._xvfb_screen(), "-nolisten", "tcp", "-ac",
                 "-noreset"],
                stdin=subprocess.DEVNULL, stdout=log, stderr=log, pass_fds=(write_end,),
                preexec_fn=_die_with_runner)
        finally:
            os.close(write_end)
            log.close()
        self._record_pid(self._xvfb.pid)
        number = b""
        deadline = time.monotonic() + 20
        with os.fdopen(read_end, "rb", buffering=0) as pipe:
            os.set_blocking(pipe.fileno(), False)
            while not number.endswith(b"\n"):
                if self._xvfb.poll() is not None or time.monotonic() > deadline:
                    raise RuntimeError("Xvfb did not start; see its log in %s" % self.run_dir)
                try:
                    number += pipe.read(16) or b""
                except BlockingIOError:
                    pass
                time.sleep(0.02)
        self.display = ":" + number.decode().strip()

    def _xvfb_screen(self):
        if self.monitors == 2:
            # Holds Xephyr's two screens side by side.
            return (self.width + self.second_size[0] + 176,
                    max(self.height, self.second_size[1]) + 132, 24)
        return (self.width, self.height, self.depth)

    def _remove_server_dir(self):
        if self._server_dir:
            shutil.rmtree(self._server_dir, ignore_errors=True)

    def _start_wineserver(self):
        log = self._log("wineserver.log")
        try:
            # Foreground, so that the pid is the server's; persistent until we stop it.
            self._wineserver = subprocess.Popen(
                ["wineserver", "-f", "-p"], env=self._env(), stdin=subprocess.DEVNULL,
                stdout=log, stderr=log, preexec_fn=_die_with_runner)
        finally:
            log.close()
        self._record_pid(self._wineserver.pid)

        # The server works in its own folder, where its socket appears once it listens.
        def listening():
            if self._wineserver.poll() is not None:
                return "ended"
            try:
                folder = os.readlink("/proc/%d/cwd" % self._wineserver.pid)
            except OSError:
                return None
            if os.path.basename(folder).startswith("server-") and os.path.exists(
                    os.path.join(folder, "socket")):
                self._server_dir = folder
                return "listening"
            return None
        if wait_for(listening, timeout=20, what="the wineserver socket", interval=0.02) != \
                "listening":
            raise RuntimeError("wineserver ended at once; see its log in %s" % self.run_dir)

    # -- files -------------------------------------------------------------------------------

    def unix_path(self, win_path, must_exist=False):
        """The host path of a Windows path in this prefix (drive letters through dosdevices,
        names matched without regard to case as Windows does)."""
        drive, _, rest = win_path.partition(":")
        if len(drive) != 1 or not _:
            raise ValueError("not an absolute Windows path: %r" % win_path)
        path = os.path.realpath(os.path.join(self.prefix, "dosdevices", drive.lower() + ":"))
        for part in [p for p in rest.replace("/", "\\").split("\\") if p]:
            candidate = os.path.join(path, part)
            if not os.path.exists(candidate) and os.path.isdir(path):
                for name in os.listdir(path):
                    if name.lower() == part.lower():
                        candidate = os.path.join(path, name)
                        break
            path = candidate
        if must_exist and not os.path.exists(path):
            raise FileNotFoundError(win_path)
        return path

    def read_file(self, win_path):
        try:
            with open(self.unix_path(win_path), "rb") as f:
                return f.read()
        except OSError:
            return None

    def write_file(self, win_path, data):
        path = self.unix_path(win_path)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)

    def delete_file(self, win_path):
        try:
            os.remove(self.unix_path(win_path))
        except FileNotFoundError:
            pass

    def file_exists(self, win_path):
        return os.path.exists(self.unix_path(win_path))

    def write_settings(self, data):
        self.write_file(self.install_dir + "\\" + SETTINGS_FILE, data)

    def read_settings(self):
        return self.read_file(self.install_dir + "\\" + SETTINGS_FILE)

    def write_fsl(self, data):
        self.write_file(self.install_dir + "\\" + FSL_FILE, data)

    def read_fsl(self):
        return self.read_file(self.install_dir + "\\" + FSL_FILE)

    def add_picture(self, name, source):
        """Puts a picture into the images folder: `source` is bytes or a host file path."""
        target = self.unix_path(self.images_dir + "\\" + name)
        if isinstance(source, (bytes, bytearray)):
            with open(target, "wb") as f:
                f.write(source)
        else:
            shutil.copy(source, target)
        return self.images_dir + "\\" + name

    # -- programs ----------------------------------------------------------------------------

    def start_wine(self, program, *args, name=None):
        """Starts `wine program args...` (program as a Windows or host path)."""
        self._serial += 1
        name = name or os.path.basename(program.replace("\\", "/"))
        stem = "%02d-%s" % (self._serial, name)
        out_path = os.path.join(self.run_dir, "logs", stem + ".out")
        err_path = os.path.join(self.run_dir, "logs", stem + ".err")
        with open(out_path, "wb") as out, open(err_path, "wb") as err:
            popen = subprocess.Popen(
                ["wine", program] + [str(a) for a in args], env=self._env(),
                cwd=self.unix_path(r"C:\windows\system32"), stdin=subprocess.DEVNULL,
                stdout=out, stderr=err)
        self._record_pid(popen.pid)
        label = ("%s %s" % (name, " ".join(str(a) for a in args))).strip()
        proc = Proc(self, label, popen,
                    out_path, err_path)
        self._procs.append(proc)
        return proc

    def start_scr(self, *args):
        """Starts the installed vellutor.scr with `args`, as the system would."""
        return self.start_wine(self.scr_path, *args, name="vellutor.scr")

    def run_scr(self, *args, timeout=30.0):
        """Runs the installed vellutor.scr to its end and gives its exit code."""
        return self.start_scr(*args).wait(timeout)

    def start_driver(self, *args):
        return self.start_wine(os.path.join(BUILD, "driver.exe"), *args, name="driver")

    def hold_file(self, win_path, seconds=120):
        """Has the driver hold the file open, shared for reading only, so that no one can
        open it for writing (root ignores read-only bits under Wine). Returns the driver's
        Proc once it holds the file; kill() it to let go."""
        holder = self.start_driver("holdfile", win_path, seconds)
        wait_for(lambda: "held" in holder.output() or not holder.alive, 30,
                 "the driver to open %s" % win_path)
        if "held 1" not in holder.output():
            raise AssertionError("driver could not hold %s: %r" % (win_path, holder.output()))
        return holder

    def driver(self, *args, timeout=60.0, ok=(0,)):
        """Runs the test driver to its end. Fails unless its exit code is in `ok` (None
        accepts any)."""
        proc = self.start_driver(*args)
        code = proc.wait(timeout)
        result = DriverResult(code, proc.output())
        if ok is not None and code not in ok:
            raise AssertionError("driver %s: exit code %d, output:\n%s"
                                 % (" ".join(map(str, args)), code, result.text))
        return result

    # -- windows -----------------------------------------------------------------------------

    def find_window(self, cls=None, title=None, timeout=0.0):
        """The top-level window of that class and/or title, waiting up to `timeout` s for
        it, or None."""
        args = ["find", "--timeout", int(timeout * 1000)]
        if cls is not None:
            args += ["--class", cls]
        if title is not None:
            args += ["--title", title]
        result = self.driver(*args, timeout=timeout + 30, ok=(0, 1))
        return Window(result) if result.int("found") == 1 else None

    def wait_window(self, cls=None, title=None, timeout=20.0, proc=None):
        """The window once it is shown, waiting up to `timeout` s; with `proc`, fails as soon
        as that program ends without having shown it. A window can be found while it is
        still being created (a dialog in WM_INITDIALOG), before it is shown."""
        deadline = time.monotonic() + timeout
        while True:
            left = deadline - time.monotonic()
            window = self.find_window(cls, title, max(0.0, min(left, 2.0)))
            if window is not None and window.visible:
                return window
            if window is not None:
                time.sleep(0.1)
            if proc is not None and not proc.alive:
                raise AssertionError("%s ended with exit code %d before a window of class %r "
                                     "title %r appeared" % (proc.name, proc.poll(), cls, title))
            if left <= 0:
                raise BenchTimeout("no shown window of class %r title %r within %.0f s "
                                   "(last found: %r)" % (cls, title, timeout, window))

    def wait_no_window(self, cls=None, title=None, timeout=20.0):
        wait_for(lambda: self.find_window(cls, title) is None, timeout,
                 "window class %r title %r to go away" % (cls, title), interval=0.2)

    def visible_windows(self):
        """Every visible top-level window, as (hwnd, windows pid, class, title) tuples."""
        found = []
        for record in self.driver("toplevel").values("window"):
            parts = record.split(" ", 3) + [""] * 3
            found.append((int(parts[0]), int(parts[1]), parts[2], parts[3]))
        return found

    # -- registry ----------------------------------------------------------------------------

    def reg_read(self, key, value):
        """A value under HKEY_CURRENT_USER: str for REG_SZ, int for REG_DWORD, bytes
        otherwise; None when the key or value is missing."""
        result = self.driver("regget", key, value, ok=(0, 1))
        if result.int("found") != 1:
            return None
        kind = result.int("type")
        if kind in (1, 2):
            return result.value("string", "")
        if kind == 4 and result.value("dword") is not None:
            return result.int("dword")
        return bytes.fromhex(result.value("data", ""))

    def reg_write(self, key, value, data):
        """Writes str as REG_SZ, int as REG_DWORD, bytes as REG_BINARY."""
        if isinstance(data, str):
            self.driver("regset", key, value, "sz", data)
        elif isinstance(data, int):
            self.driver("regset", key, value, "dword", data)
        else:
            self.driver("regset", key, value, "hex", bytes(data).hex() or "-")

    def reg_delete(self, key, value=None):
        self.driver("regdel", key, *([] if value is None else [value]), ok=(0, 1))

    # -- screen and input --------------------------------------------------------------------

    def screenshot(self):
        """The whole X screen, as a user sees it: Wine is made to copy what the programs
        drew to the X screen first, which Windows would show at once."""
        self.flush_screen()
        self._serial += 1
        path = os.path.join(self.run_dir, "logs", "%02d-screen.ppm" % self._serial)
        env = dict(os.environ, DISPLAY=self.display)
        subprocess.run(["import", "-display", self.display, "-window", "root", "-depth", "8",
                        "ppm:" + path], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=30,
                       check=True)
        with open(path, "rb") as f:
            shot = Screen.from_ppm(f.read(), path)
        self.last_screenshot = path
        return shot

    def flush_screen(self):
        """Has every Wine program's GUI threads go idle once, which is when Wine copies what
        they drew, DirectDraw included, to the X screen."""
        self.driver("flush", timeout=30, ok=None)

    def screen_pixels(self, x, y, width, height):
        """A region of the screen as Windows reads it through GetDC(NULL)."""
        self.flush_screen()
        result = self.driver("pixels", x, y, width, height)
        data = bytearray()
        for row in result.values("row"):
            hex_pixels = row.split(" ", 1)[1]
            for at in range(0, len(hex_pixels), 6):
                data += bytes.fromhex(hex_pixels[at:at + 6])
        return Screen(width, height, bytes(data))

    def wait_screen_change(self, reference, min_pixels=1, tolerance=0, timeout=20.0,
                           region=None):
        """Waits until at least `min_pixels` pixels (of `region`, x y w h, if given) differ
        from `reference`; returns the new screenshot."""
        def changed():
            shot = self.screenshot()
            now = shot.crop(*region) if region else shot
            return shot if now.count_changed(reference, tolerance) >= min_pixels else None
        return wait_for(changed, timeout, "%d changed pixels on screen" % min_pixels, 0.2)

    def _xdotool(self, *args):
        env = dict(os.environ, DISPLAY=self.display)
        subprocess.run(["xdotool"] + [str(a) for a in args], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=15,
                       check=True)

    def key(self, *names):
        """Presses and releases keys as a user does, e.g. key("Escape"), key("a")."""
        self._xdotool("key", *names)

    def mousemove(self, x, y):
        self._xdotool("mousemove", x, y)

    def mousedown(self, button=1):
        self._xdotool("mousedown", button)

    def mouseup(self, button=1):
        self._xdotool("mouseup", button)

    def click(self, button=1):
        self._xdotool("click", button)


def _make_unique_dir(parent, stem):
    for n in range(1000):
        path = os.path.join(parent, "%s-%d" % (stem, n))
        try:
            os.makedirs(path)
            return path
        except FileExistsError:
            continue
    raise RuntimeError("no free run folder under %s" % parent)
