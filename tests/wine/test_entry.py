"""The entry point under Wine: run modes without an install folder, the single-instance
gate, and start-up with unusual settings files."""

from winebench import SAVER_CLASS, expect, options, settings_bytes

WS_POPUP = 0x80000000
WS_VISIBLE = 0x10000000
START_TIMEOUT_MS = 30000


def run_counting_windows(bench, *args):
    """Runs the saver through the driver, which notes every window the saver shows.
    Returns (exit code, number of windows shown)."""
    result = bench.driver("run", START_TIMEOUT_MS, bench.scr_path, *args)
    expect(result.value("exit") != "timeout", True, "vellutor.scr %s ended" % " ".join(args))
    return result.int("exit"), result.int("windows")


def run_preview(bench, *steps):
    """Starts the saver as the control panel does, inside a fresh host window."""
    return bench.driver("preview", START_TIMEOUT_MS, bench.scr_path, "/p %h", *steps)


def start_saver(bench):
    """Starts /s and waits until its window is up; returns (process, window)."""
    saver = bench.start_scr("/s")
    window = bench.wait_window(cls=SAVER_CLASS, timeout=30, proc=saver)
    expect(saver.alive, True, "first saver running once its window is up")
    return saver, window


def end_with_key(bench, saver):
    bench.key("Escape")
    expect(saver.wait(30), 0, "exit code of the saver ended by a key")


def expect_quiet_end(bench, what):
    for args in (["/s"], ["/c"], []):
        code, windows = run_counting_windows(bench, *args)
        expect((code, windows), (0, 0),
               "%s, %r: (exit code, windows shown)" % (what, " ".join(args)))
    preview = run_preview(bench, "child", "exit")
    expect((preview.value("child"), preview.value("exit")), ("none", "0"),
           "%s, /p: (saver window in the host, exit code)" % what)


@options(install_dir=False)
def test_every_mode_ends_quietly_without_install_dir(bench):
    expect(bench.reg_read(r"Software\Vellutor", "Install_Dir"), None,
           "Install_Dir before the runs")
    expect_quiet_end(bench, "no Install_Dir")


def test_saver_window_stays_until_a_key(bench):
    saver, window = start_saver(bench)
    expect(window.style & (WS_POPUP | WS_VISIBLE), WS_POPUP | WS_VISIBLE,
           "saver window style 0x%08x has WS_POPUP and WS_VISIBLE" % window.style)
    expect(window.topmost, True, "saver window topmost")
    expect(window.rect, (0, 0, 1024, 768), "saver window rectangle")
    # Still there a while later: nothing but input ends it.
    again = bench.wait_window(cls=SAVER_CLASS, timeout=5)
    expect((again.hwnd, saver.alive), (window.hwnd, True), "(window, running) after a while")

    end_with_key(bench, saver)
    bench.wait_no_window(cls=SAVER_CLASS, timeout=10)


def test_second_saver_is_turned_away_while_first_runs(bench):
    first, window = start_saver(bench)

    code, windows = run_counting_windows(bench, "/s")
    expect((code, windows), (1, 0), "second /s: (exit code, windows shown)")
    expect(first.alive, True, "first saver running after the second was turned away")
    expect(bench.wait_window(cls=SAVER_CLASS).hwnd, window.hwnd, "first saver's window")

    end_with_key(bench, first)


def test_new_start_runs_after_first_ended_or_was_killed(bench):
    first, _ = start_saver(bench)
    end_with_key(bench, first)
    bench.wait_no_window(cls=SAVER_CLASS, timeout=10)

    second, _ = start_saver(bench)
    # kill -9: the instance gets no chance to lower the shared count.
    second.kill()
    bench.wait_no_window(cls=SAVER_CLASS, timeout=20)

    third, _ = start_saver(bench)
    end_with_key(bench, third)


def test_settings_file_that_cannot_be_opened_for_writing_gives_defaults(bench):
    # Read as it stands, a file of exactly 16 bytes would end the program at start; opened
    # for writing it is refused while another process holds it, so the defaults apply.
    held_bytes = settings_bytes()
    expect(len(held_bytes), 16, "settings record size")
    bench.write_settings(held_bytes)
    holder = bench.hold_file(bench.install_dir + "\\vellutor.set")

    saver, _ = start_saver(bench)
    end_with_key(bench, saver)
    expect(bench.read_settings(), held_bytes, "vellutor.set after the run")
    expect(holder.alive, True, "driver still holding the file")
    holder.kill()


# Dialog controls and what they show for the default settings.
DEFAULT_CONTROLS = {
    1010: ("pos", 15),  # usage period
    1011: ("pos", 0),  # psychedelia
    1009: ("pos", 1),  # blur
    1020: ("pos", 2),  # surface wave size
    1023: ("check", 0),  # remember picture
    1024: ("check", 0),  # wallpaper generator
    1012: ("check", 1), 1013: ("check", 1), 1014: ("check", 1), 1015: ("check", 0),
    1016: ("check", 0), 1017: ("check", 1), 1018: ("check", 0), 1019: ("check", 0),
}
CUSTOM_SETTINGS = dict(drop_period=30, psychedelia=3, blur=7, remember_picture=1,
                       wallpaper_generator=1, wave_size=4, bmp=0, bmp_cut=1, gif=0, gif_cut=0,
                       jpeg=0, jpeg_cut=1, emf=1, emf_cut=1)

# The same controls for CUSTOM_SETTINGS: every one differs from its default.
FILE_CONTROLS = {
    1010: ("pos", 30), 1011: ("pos", 3), 1009: ("pos", 7), 1020: ("pos", 4),
    1023: ("check", 1), 1024: ("check", 1),
    1012: ("check", 0), 1013: ("check", 0), 1014: ("check", 0), 1015: ("check", 1),
    1016: ("check", 1), 1017: ("check", 0), 1018: ("check", 1), 1019: ("check", 1),
}


def dialog_controls(bench):
    """Starts /c and reads the settings dialog's controls; closes it again."""
    configure = bench.start_scr("/c")
    dialog = bench.wait_window(title="Vellutor - Settings", timeout=30, proc=configure)
    shown = {}
    for control, (kind, _) in DEFAULT_CONTROLS.items():
        shown[control] = (kind, bench.driver("get", dialog.hwnd, control).int(kind))
    bench.driver("command", dialog.hwnd, 2)  # Cancel
    expect(configure.wait(30), 0, "exit code of /c closed with Cancel")
    return shown


def test_settings_dialog_shows_defaults_while_the_file_is_held(bench):
    bench.write_settings(settings_bytes(folder=r"C:\vellutor\images", **CUSTOM_SETTINGS))
    expect(dialog_controls(bench), FILE_CONTROLS, "controls showing the file's values")

    holder = bench.hold_file(bench.install_dir + "\\vellutor.set")
    expect(dialog_controls(bench), DEFAULT_CONTROLS, "controls while vellutor.set is held")
    holder.kill()


def test_sixteen_byte_settings_file_ends_every_mode_at_start(bench):
    bench.write_settings(settings_bytes())
    expect_quiet_end(bench, "16-byte vellutor.set")


def test_settings_file_of_fifteen_bytes_gives_defaults(bench):
    # Too short to hold the record: the defaults apply and the saver runs.
    bench.write_settings(settings_bytes()[:15])
    saver, _ = start_saver(bench)
    end_with_key(bench, saver)
    expect(bench.read_settings(), settings_bytes()[:15], "vellutor.set after the run")
