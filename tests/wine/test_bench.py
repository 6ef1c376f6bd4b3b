"""The Wine test bench itself: what the other Wine tests rely on."""

import os

from winebench import Bench, BUILD, DriverResult, expect, wait_for

# Around the driver's preview host window, whose light grey client stands out on the black
# screen.
HOST_REGION = (30, 30, 200, 160)
# The colour the driver's paintbehind fills its window with.
PAINTED_BEHIND = (0xC8, 0x28, 0xA0)


def test_registry_and_prefix_files_round_trip(bench):
    key = r"Software\Vellutor"
    expect(bench.reg_read(key, "Install_Dir"), bench.install_dir, "Install_Dir of a new bench")
    for value in ("a text with blanks", 0x12345678, b"\x00\x01\xfe\xff"):
        bench.reg_write(key, "Probe", value)
        expect(bench.reg_read(key, "Probe"), value, "value read back")
    bench.reg_delete(key, "Probe")
    expect(bench.reg_read(key, "Probe"), None, "deleted value")

    # Windows paths resolve without regard to case, as Windows finds them.
    bench.write_settings(b"0123456789abcdef-")
    expect(bench.read_file(r"c:\VELLUTOR\Vellutor.SET"), b"0123456789abcdef-",
           "settings file read through another spelling")
    expect(bench.file_exists(bench.scr_path), True, "installed vellutor.scr")
    expect(os.path.isdir(bench.unix_path(bench.images_dir)), True, "images folder")


def test_screen_grab_agrees_with_the_windows_view(bench):
    # The driver's preview host stays on screen while the driver sleeps; the program it
    # starts (the driver itself, listing windows) ends at once.
    host = bench.start_driver("preview", 30000, os.path.join(BUILD, "driver.exe"), "toplevel",
                              "sleep=20000")
    wait_for(lambda: "host " in host.output() or not host.alive, 30, "the host window")
    region = HOST_REGION
    before = bench.screenshot()
    grabbed = wait_for(
        lambda: (lambda s: s if not s.crop(*region).is_uniform(8) else None)(bench.screenshot()),
        20, "the host window on the X screen")
    seen_by_windows = bench.screen_pixels(*region)
    changed = grabbed.crop(*region).count_changed(seen_by_windows, tolerance=8)
    expect(changed, 0, "pixels where the X grab and GetDC(NULL) disagree")
    expect(before.width, 1024, "screen width")
    host.kill()


def test_screenshot_shows_what_a_worker_thread_drew_while_the_window_thread_waits(bench):
    # The saver draws from its render thread while its window thread waits for messages
    # that may never come; Wine puts that on the X screen only once the waiting thread
    # goes idle again.
    painter = bench.start_driver("paintbehind", 60000)
    wait_for(lambda: "painted" in painter.output() or not painter.alive, 30, "the painting")
    said = DriverResult(None, painter.output())
    expect(said.value("painted"), "1", "driver painted: %r" % said.text)
    left, top, right, bottom = map(int, said.value("client").split())
    seen = bench.screenshot().crop(left + 4, top + 4, right - left - 8, bottom - top - 8)
    expect((seen.is_uniform(8), seen.pixel(0, 0)), (True, PAINTED_BEHIND),
           "client of the window painted from the worker thread")
    painter.kill()


def test_close_stops_every_process_and_removes_the_prefix(bench):
    inner = Bench(name="inner").start()
    try:
        holder = inner.hold_file(inner.scr_path)
        started = [holder.pid, inner._xvfb.pid, inner._wineserver.pid]
        run_dir = inner.run_dir
    finally:
        inner.close()
    alive = [pid for pid in started if os.path.exists("/proc/%d" % pid)
             and open("/proc/%d/stat" % pid).read().split(")")[1].split()[0] != "Z"]
    expect(alive, [], "processes of the closed bench still running")
    expect(os.path.exists(run_dir), False, "run folder of the closed bench exists")
