"""The saver window under Wine: its shape in each run mode, the input that ends it and the
input that does not, the control-panel preview, a display that cannot be set up, the video
mode, and the remembered-picture file written at every end."""

import os
import re
import shutil
import time

from winebench import BUILD, SAVER_CLASS, expect, options, settings_bytes, wait_for

WS_CHILD = 0x40000000
WS_VISIBLE = 0x10000000
SC_CLOSE = 0xF060
SC_MINIMIZE = 0xF020
SC_SCREENSAVE = 0xF140
VK_A = 0x41
START_TIMEOUT_MS = 30000
HOME_PAGE = "https://vellutor.github.io/"


def lparam(x, y):
    return (y << 16) | x


def start_saver(bench, *args):
    """Starts the saver and waits for its top-level window: the saver window itself, or in
    configure mode the settings dialog that holds it."""
    args = args or ("/s",)
    saver = bench.start_scr(*args)
    if "/s" in args:
        window = bench.wait_window(cls=SAVER_CLASS, timeout=30, proc=saver)
    else:
        window = bench.wait_window(title="Vellutor - Settings", timeout=30, proc=saver)
    return saver, window


def still_running(bench, saver, what, seconds=1.0):
    """The saver must survive `seconds` after `what`."""
    try:
        code = saver.wait(seconds)
    except AssertionError:
        return
    raise AssertionError("%s: expected the saver to keep running, it ended with %r"
                         % (what, code))


def expect_ended(saver, what):
    expect(saver.wait(30), 0, "exit code after %s" % what)


def post(bench, window, message, wparam=0, lp=0):
    bench.driver("post", window.hwnd, message, wparam, lp)


def test_key_right_click_and_left_release_end_the_saver(bench):
    # The pointer rests at the corner, so no pointer drift plays a part here.
    bench.mousemove(0, 0)
    for what, act in (
        ("a key", lambda w: bench.key("a")),
        ("a right click", lambda w: post(bench, w, "WM_RBUTTONDOWN", 2, lparam(5, 5))),
        ("a left-button release", lambda w: post(bench, w, "WM_LBUTTONUP", 0, lparam(5, 5))),
        ("a closing system command", lambda w: post(bench, w, "WM_SYSCOMMAND", SC_CLOSE)),
    ):
        saver, window = start_saver(bench)
        act(window)
        expect_ended(saver, what)
        bench.wait_no_window(cls=SAVER_CLASS, timeout=10)


def test_left_press_and_other_system_commands_do_not_end_the_saver(bench):
    bench.mousemove(0, 0)
    saver, window = start_saver(bench)
    post(bench, window, "WM_LBUTTONDOWN", 1, lparam(5, 5))
    still_running(bench, saver, "a left press alone")
    post(bench, window, "WM_SYSCOMMAND", SC_MINIMIZE)
    still_running(bench, saver, "SC_MINIMIZE")
    post(bench, window, "WM_LBUTTONUP", 0, lparam(5, 5))
    expect_ended(saver, "the left button's release")


def test_pointer_drift_of_sixteen_in_dx_plus_dy_ends_the_saver(bench):
    # The real pointer rests where the first posted move puts it, since Wine may send the
    # saver a move to the real position at any time after its window shows.
    bench.mousemove(900, 700)
    saver, window = start_saver(bench)
    # The first move only takes the reference, however far it lies from (0, 0).
    post(bench, window, "WM_MOUSEMOVE", 0, lparam(900, 700))
    still_running(bench, saver, "the first move")
    for x, y in ((907, 708), (893, 692), (885, 700), (905, 690)):
        post(bench, window, "WM_MOUSEMOVE", 0, lparam(x, y))
        still_running(bench, saver, "a drift of %d" % (abs(x - 900) + abs(y - 700)), 0.5)
    # Right and up: x + y hardly changes.
    post(bench, window, "WM_MOUSEMOVE", 0, lparam(910, 694))
    expect_ended(saver, "a drift of 10 right and 6 up")


def test_real_pointer_drift_ends_the_saver(bench):
    bench.mousemove(400, 300)
    saver, _ = start_saver(bench)
    bench.mousemove(405, 305)
    still_running(bench, saver, "a pointer drift of 10")
    bench.mousemove(450, 350)
    expect_ended(saver, "a pointer drift of 100")


def cursor_over(bench, x, y):
    """The cursor shown once the pointer rests at (x, y): 0 when none."""
    bench.mousemove(x, y)
    return wait_for(lambda: bench.driver("cursor").int("cursor"), 10,
                    "a cursor at (%d, %d)" % (x, y))


def test_full_screen_saver_hides_the_pointer_and_the_preview_shows_it(bench):
    # Where the posted move puts it: a move to the real position must not end the saver.
    bench.mousemove(10, 10)
    saver, _ = start_saver(bench)
    post(bench, bench.find_window(cls=SAVER_CLASS), "WM_MOUSEMOVE", 0, lparam(10, 10))
    expect(bench.driver("cursor").int("cursor"), 0, "cursor over the full-screen saver")
    bench.key("a")
    expect_ended(saver, "a key")

    configure, dialog = start_saver(bench, "/c")
    left, top, right, _ = dialog.rect
    expect(cursor_over(bench, (left + right) // 2, top + 100) != 0, True,
           "an arrow over the settings dialog's preview")
    bench.driver("command", dialog.hwnd, 2)
    expect_ended(configure, "Cancel")


def test_remembered_picture_file_is_written_at_every_end(bench):
    for args, end in (
        (("/s",), lambda saver, window: bench.key("a")),
        (("/c",), lambda saver, dialog: bench.driver("command", dialog.hwnd, 2)),
    ):
        bench.delete_file(bench.install_dir + "\\vellutor.fsl")
        saver, window = start_saver(bench, *args)
        end(saver, window)
        expect_ended(saver, "ending %s" % args[0])
        expect(bench.read_fsl(), b"\0", "vellutor.fsl after %s with no picture" % args[0])

    bench.delete_file(bench.install_dir + "\\vellutor.fsl")
    result = bench.driver("preview", START_TIMEOUT_MS, bench.scr_path, "/p %h", "child",
                          "key=%d" % VK_A, "exit")
    expect(result.value("exit"), "0", "exit code of /p ended by a key")
    expect(bench.read_fsl(), b"\0", "vellutor.fsl after /p")


@options(seams=["teardown-log"])
def test_preview_ended_by_a_key_stops_its_tracker_before_the_session_goes(bench):
    result = bench.driver("preview", START_TIMEOUT_MS, bench.scr_path, "/p %h", "child",
                          "key=%d" % VK_A, "exit")
    expect(result.value("exit"), "0", "exit code of /p ended by a key")
    expect(bench.read_file(bench.install_dir + "\\teardown.log"),
           b"tracker ended\nsession freed\n", "teardown.log: the order in which /p's parts went")


def test_preview_lives_in_the_host_window_and_swallows_system_commands(bench):
    result = bench.driver("preview", START_TIMEOUT_MS, bench.scr_path, "/p %h", "child",
                          "sys=%d" % SC_CLOSE, "sys=%d" % SC_SCREENSAVE, "sleep=700", "alive",
                          "key=%d" % VK_A, "exit")
    expect(result.value("class"), SAVER_CLASS, "class of the preview's window")
    style = result.int("style")
    expect(style & (WS_CHILD | WS_VISIBLE), WS_CHILD | WS_VISIBLE,
           "style 0x%08x has WS_CHILD and WS_VISIBLE" % style)
    expect(result.value("client"), "152 112", "client size of the preview's window")
    expect(result.value("alive"), "1", "preview running after closing system commands")
    expect(result.value("exit"), "0", "exit code of the preview ended by a key")


def explorer_starts(bench, folder):
    path = bench.unix_path(folder)
    return sorted(n for n in os.listdir(path) if n.startswith("explorer-started-"))


def test_preview_clicks_start_the_windows_explorer_at_most_once_a_second(bench):
    # The stand-in explorer as the Windows folder's own, and planted beside the saver and in
    # the picture folder, where the saver must never start it from.
    standin = os.path.join(BUILD, "probe_explorer_standin.exe")
    for folder in (bench.windows_dir, bench.install_dir, bench.images_dir):
        shutil.copy(standin, bench.unix_path(folder + "\\explorer.exe"))
    # Two floods of 200 posted releases, 2.5 s apart, all handled within about 3 s: one start
    # a second allows at most 4, however slowly a loaded machine starts each explorer.
    result = bench.driver("preview", START_TIMEOUT_MS, bench.scr_path, "/p %h", "child",
                          "lbuttonflood=200", "sleep=2500", "lbuttonflood=200", "sleep=500",
                          "alive", "key=%d" % VK_A, "exit")
    expect(result.value("alive"), "1", "preview running after the clicks")
    expect(result.value("exit"), "0", "exit code of the preview ended by a key")
    wait_for(lambda: explorer_starts(bench, bench.windows_dir), 20,
             "a start of the Windows folder's explorer")
    time.sleep(1.5)  # a start still on its way would show by now
    starts = explorer_starts(bench, bench.windows_dir)
    expect(1 <= len(starts) <= 4, True,
           "1 to 4 explorer starts for 400 clicks in about 3 s, saw %d" % len(starts))
    recorded = bench.read_file(bench.windows_dir + "\\explorer-command.txt")
    expect(recorded.decode("latin-1"), 'explorer "%s"' % HOME_PAGE, "explorer's command line")
    for folder in (bench.install_dir, bench.images_dir):
        expect(explorer_starts(bench, folder), [],
               "starts of the explorer.exe planted in %s" % folder)


def test_preview_ends_when_its_host_window_is_destroyed(bench):
    result = bench.driver("preview", START_TIMEOUT_MS, bench.scr_path, "/p %h", "child",
                          "destroy", "exit")
    expect(result.value("class"), SAVER_CLASS, "class of the preview's window")
    expect(result.value("exit"), "0", "exit code after the host was destroyed")


def test_preview_for_a_window_that_does_not_exist_ends_quietly(bench):
    result = bench.driver("run", START_TIMEOUT_MS, bench.scr_path, "/p 987654")
    expect((result.value("exit"), result.int("windows")), ("0", 0),
           "/p with no such window: (exit code, windows shown)")


def test_preview_paints_the_logo_over_the_whole_window(bench):
    # Another process's painting into a child window does not reach Wine's screen, so the
    # preview paints in-process here, as the saver paints it, and is compared with the logo.
    probe = os.path.join(BUILD, "probe_preview_paint.exe")
    for width, height in ((152, 112), (300, 60)):
        proc = bench.start_wine(probe, bench.scr_path, str(width), str(height))
        expect(proc.wait(60), 0, "preview probe exit code")
        out = dict(line.split(" ", 1) for line in proc.output().splitlines() if " " in line)
        expect(out.get("pixels"), str(width * height), "pixels painted at %dx%d" % (width, height))
        expect(out.get("differing"), "0", "pixels unlike the stretched logo at %dx%d"
               % (width, height))


def test_display_that_cannot_be_set_up_is_reported_and_the_saver_ends(bench):
    # Without DirectDraw the saver says so in a message box and ends cleanly.
    bench.reg_write(r"Software\Wine\DllOverrides", "ddraw", "")
    saver = bench.start_scr("/s")
    box = bench.wait_window(title="Vellutor", cls="#32770", timeout=30, proc=saver)
    texts = [line for line in bench.driver("controls", box.hwnd).values("control")]
    expect(any("DirectDraw Init FAILED" in t for t in texts), True,
           "message box controls %r hold the text" % texts)
    bench.driver("click", box.hwnd, 1)
    expect_ended(saver, "OK in the failure message")


def test_configure_mode_lists_current_and_the_display_modes(bench):
    configure = bench.start_scr("/c")
    dialog = bench.wait_window(title="Vellutor - Settings", timeout=30, proc=configure)
    combo = bench.driver("get", dialog.hwnd, 1026)
    items = [item.split(" ", 1)[1] for item in combo.values("item")]
    expect(items[:1], ["current"], "first entry of the video-mode list")
    expect(len(items) >= 2, True, "display modes listed after 'current': %r" % items)
    for item in items[1:]:
        w, h, bits = (int(v) for v in item.split("x"))
        expect(bits in (16, 24, 32), True, "bit depth of %r" % item)
    expect(combo.int("cursel"), 0, "selected entry for videoMode 0")
    bench.driver("command", dialog.hwnd, 2)
    expect_ended(configure, "Cancel")


@options(wine_debug="+ddraw")
def test_video_mode_sets_the_chosen_mode_and_the_end_restores_it(bench):
    # Xvfb keeps its depth and Wine only emulates the mode inside the process, so another
    # process cannot see the change: DirectDraw's own trace shows what the saver asked for.
    bench.write_settings(settings_bytes(folder=r"C:\vellutor\images", video_mode=2))
    saver, _ = start_saver(bench)
    still_running(bench, saver, "start in the chosen mode")
    bench.key("a")
    expect_ended(saver, "a key in the chosen mode")
    with open(saver.err_path, "rb") as f:
        trace = f.read().decode("latin-1")
    listed = re.findall(r"Enumerating (\d+)x(\d+)x(\d+)", trace)
    counted = [mode for mode in listed if mode[2] in ("16", "24", "32")]
    expect(len(counted) >= 2, True, "16-, 24- and 32-bit modes listed: %r" % listed)
    width, height, bits = counted[1]
    expect(re.search(r"ddraw2_SetDisplayMode .*width %s, height %s, bpp %s," % (width, height, bits),
                     trace) is not None, True, "SetDisplayMode for the second listed mode %sx%sx%s"
           % (width, height, bits))
    expect("RestoreDisplayMode" in trace.split("SetDisplayMode")[-1], True,
           "RestoreDisplayMode after SetDisplayMode")


def test_video_mode_beyond_the_list_keeps_the_current_mode(bench):
    bench.write_settings(settings_bytes(folder=r"C:\vellutor\images", video_mode=40))
    saver, window = start_saver(bench)
    expect(window.rect, (0, 0, 1024, 768), "saver window rectangle")
    still_running(bench, saver, "start with a mode number beyond the list")
    bench.key("a")
    expect_ended(saver, "a key")


def test_another_program_taking_the_foreground_ends_the_full_screen_saver(bench):
    bench.mousemove(0, 0)
    saver, _ = start_saver(bench)
    still_running(bench, saver, "the saver's own start")
    panel = bench.start_driver("panel", 100, 100, 200, 150, 20000, "activate")
    wait_for(lambda: "panel" in panel.output(), 20, "the other program's window")
    expect_ended(saver, "another program taking the foreground")
    panel.kill()

    # The settings dialog's preview is no full-screen run: it keeps going.
    configure, dialog = start_saver(bench, "/c")
    panel = bench.start_driver("panel", 100, 100, 200, 150, 20000, "activate")
    wait_for(lambda: "panel" in panel.output(), 20, "the other program's window")
    still_running(bench, configure, "another program over the settings dialog", 2.0)
    bench.driver("command", dialog.hwnd, 2)
    expect_ended(configure, "Cancel")
    panel.kill()
