"""The wallpaper generator under Wine: the bitmap file writer and the desktop wallpaper,
called in-process through probe_wallpaper.exe, and the whole chain at the end of /s."""

import os
import struct

import pictures
from winebench import BUILD, SAVER_CLASS, Screen, expect, settings_bytes, wait_for

DESKTOP_KEY = r"Control Panel\Desktop"
REG_SZ = 1
ABSENT = "<absent>"
MESSAGE_BOX_CLASS = "#32770"
STATIC_TEXT_ID = 65535
IDOK = 1
DEFAULT_CAPTION = "Error"  # what the system shows for a message box without a caption
NOT_SAVED = "The last picture could not be saved as the desktop wallpaper."

CENTER, TILE, STRETCH, NONE, RESTORE = range(5)


def probe(bench, *args, timeout=60.0):
    """Runs the probe's commands in one process; returns its "command result" lines."""
    proc = bench.start_wine(os.path.join(BUILD, "probe_wallpaper.exe"), *args,
                            name="probe_wallpaper")
    code = proc.wait(timeout)
    out = proc.output()
    expect(code, 0, "probe %s exit code (output %r)" % (" ".join(map(str, args)), out))
    return [tuple(line.split(" ", 1)) if " " in line else (line, "")
            for line in out.splitlines() if line]


def results(lines, command):
    return [value for key, value in lines if key == command]


def desktop_state(bench):
    """The three desktop values as "type size text", or ABSENT."""
    return dict(line for line in probe(bench, "state"))


def setting(text):
    """A one-character REG_SZ as the saver writes it: two bytes with the zero."""
    return "%d 2 %s" % (REG_SZ, text)


def path_value(path):
    return "%d %d %s" % (REG_SZ, len(path) + 1, path)


def pattern_rgb(x, y):
    # As patternPixel in the probe.
    return ((x * 7 + y * 3) & 0xFF, (x * 5 + y * 11) & 0xFF, (x ^ y) & 0xFF)


def parse_bmp(data):
    file_header = struct.unpack_from("<2sIHHI", data, 0)
    info = struct.unpack_from("<IiiHHIIiiII", data, 14)
    names = ("size", "width", "height", "planes", "bits", "compression", "image_size",
             "xres", "yres", "colours_used", "important")
    return {"type": file_header[0], "file_size": file_header[1],
            "reserved": (file_header[2], file_header[3]), "offset": file_header[4],
            **dict(zip(names, info))}


def row_bytes(width, bits):
    return (width * bits + 31) // 32 * 4


def test_install_without_a_path_or_with_an_unknown_mode_changes_nothing(bench):
    before = desktop_state(bench)
    lines = probe(bench, "install", "", CENTER, "install", "", TILE, "install", "", STRETCH,
                  "install", r"C:\x.bmp", 5, "install", r"C:\x.bmp", 255, "restore")
    expect(results(lines, "install"), ["0"] * 5, "install results")
    # Nothing was saved by the refused calls, so there is nothing to restore either.
    expect(results(lines, "restore"), ["0"], "restore after refused installs")
    expect(desktop_state(bench), before, "desktop values after refused installs")


def test_restore_with_nothing_saved_fails(bench):
    before = desktop_state(bench)
    lines = probe(bench, "restore", "install", "", RESTORE, "install", r"C:\x.bmp", RESTORE)
    expect(results(lines, "restore") + results(lines, "install"), ["0", "0", "0"],
           "restore and install Restore results")
    expect(desktop_state(bench), before, "desktop values")


def test_each_mode_writes_its_two_byte_settings_and_the_wallpaper(bench):
    path = r"C:\pictures\mine.bmp"
    for mode, tile, style in ((CENTER, "0", "0"), (TILE, "1", "0"), (STRETCH, "0", "2")):
        expect(results(probe(bench, "install", path, mode), "install"), ["1"],
               "install mode %d" % mode)
        expect(desktop_state(bench),
               {"Wallpaper": path_value(path), "TileWallpaper": setting(tile),
                "WallpaperStyle": setting(style)},
               "desktop values after install mode %d" % mode)


def test_none_removes_the_wallpaper(bench):
    lines = probe(bench, "install", r"C:\a.bmp", TILE, "install", "", NONE)
    expect(results(lines, "install"), ["1", "1"], "install Tile, then None")
    expect(desktop_state(bench),
           {"Wallpaper": path_value(""), "TileWallpaper": setting("0"),
            "WallpaperStyle": setting("0")},
           "desktop values after None")


def test_second_install_saves_what_the_first_wrote(bench):
    lines = probe(bench, "install", r"C:\first.bmp", TILE, "state",
                  "install", r"C:\second.bmp", STRETCH, "restore", "state", "restore")
    expect(results(lines, "install"), ["1", "1"], "both installs")
    expect(results(lines, "restore"), ["1", "0"], "restore once, then with nothing saved")
    states = [results(lines, name) for name in ("Wallpaper", "TileWallpaper", "WallpaperStyle")]
    after_first = [values[0] for values in states]
    after_restore = [values[1] for values in states]
    expect(after_restore, after_first, "(Wallpaper, Tile, Style) restored to the first install")
    expect(after_first, [path_value(r"C:\first.bmp"), setting("1"), setting("0")],
           "values the first install wrote")


def test_restore_puts_back_absent_and_longer_values_as_they_were(bench):
    # A fresh profile has no "TileWallpaper"; "WallpaperStyle" "10" (fill) is three bytes.
    bench.reg_delete(DESKTOP_KEY, "TileWallpaper")
    bench.reg_write(DESKTOP_KEY, "WallpaperStyle", "10")
    bench.reg_write(DESKTOP_KEY, "Wallpaper", r"C:\old.bmp")
    before = desktop_state(bench)
    expect(before["TileWallpaper"], ABSENT, "TileWallpaper before")

    lines = probe(bench, "install", r"C:\new.bmp", STRETCH, "state", "restore")
    expect(results(lines, "install") + results(lines, "restore"), ["1", "1"],
           "install Stretch, then restore")
    expect(results(lines, "WallpaperStyle"), [setting("2")], "style while installed")
    expect(desktop_state(bench), before, "desktop values after restore")


def test_written_24_bit_file_has_the_headers_and_pixels_of_the_bitmap(bench):
    width, height = 37, 5  # 111 bytes of pixels a row: one filler byte
    path = r"C:\out\frame.bmp"
    bench.write_file(path, b"x" * 5000)  # an older, longer file is emptied first
    expect(results(probe(bench, "write", width, height, 24, path), "write"), ["1"],
           "write result")
    data = bench.read_file(path)
    row = row_bytes(width, 24)
    expect(row, 112, "row bytes")
    header = parse_bmp(data)
    expect(header, {"type": b"BM", "file_size": 54 + row * height, "reserved": (0, 0),
                    "offset": 54, "size": 40, "width": width, "height": height, "planes": 1,
                    "bits": 24, "compression": 0, "image_size": row * height, "xres": 0,
                    "yres": 0, "colours_used": 0, "important": 0}, "headers")
    expect(len(data), 54 + row * height, "file length")
    wrong = []
    for y in range(height):
        start = 54 + (height - 1 - y) * row  # bottom row first
        for x in range(width):
            blue, green, red = data[start + 3 * x:start + 3 * x + 3]
            if (red, green, blue) != pattern_rgb(x, y):
                wrong.append((x, y, (red, green, blue), pattern_rgb(x, y)))
        expect(data[start + 3 * width], 0, "filler byte of row %d" % y)
    expect(wrong[:5], [], "pixels (x, y, seen, expected) that differ")


def test_full_screen_frame_and_paletted_files_have_the_right_sizes(bench):
    lines = probe(bench, "write", 640, 480, 24, r"C:\big.bmp", "write", 5, 3, 8, r"C:\p8.bmp",
                  "write", 1, 4, 24, r"C:\thin.bmp")
    expect(results(lines, "write"), ["1", "1", "1"], "write results")
    big = bench.read_file(r"C:\big.bmp")
    expect((len(big), parse_bmp(big)["file_size"], parse_bmp(big)["offset"],
            parse_bmp(big)["image_size"]), (921654, 921654, 54, 921600),
           "640 x 480 at 24 bits: (length, file size, offset, image size)")
    p8 = parse_bmp(bench.read_file(r"C:\p8.bmp"))
    expect((p8["offset"], p8["colours_used"], p8["bits"], p8["image_size"], p8["file_size"]),
           (1078, 256, 8, 24, 1102), "8 bits: (offset, colours used, bits, image, file size)")
    thin = bench.read_file(r"C:\thin.bmp")
    expect((parse_bmp(thin)["image_size"], len(thin)), (16, 70),
           "1 pixel wide: 4-byte rows (image size, length)")


def message_text(bench, box):
    controls = bench.driver("controls", box.hwnd).values("control")
    texts = [c.split(" ", 7)[7] for c in controls if c.startswith("%d " % STATIC_TEXT_ID)]
    return texts[0] if len(texts) == 1 else repr(texts)


def expect_named_with_reasons(text, paths):
    """The message says in words what failed and names each file with a reason after it."""
    expect(text.startswith(NOT_SAVED), True, "message %r begins %r" % (text, NOT_SAVED))
    for path in paths:
        at = text.find(path + ": ")
        reason = text[at + len(path) + 2:].split("  ")[0].strip() if at >= 0 else ""
        expect(len(reason) > 3, True, "%s named with the system's reason in %r" % (path, text))


def test_file_that_cannot_be_created_shows_the_message_box_and_fails(bench):
    path = r"C:\busy.bmp"
    bench.write_file(path, b"busy")
    holder = bench.start_driver("holdfile", path, 60)
    wait_for(lambda: "held 1" in holder.output(), 20, "the driver to hold the file")

    writer = bench.start_wine(os.path.join(BUILD, "probe_wallpaper.exe"), "write", 8, 8, 24,
                              path, name="probe_wallpaper")
    # Found by its caption too: the dialog exists a moment before its caption is set.
    box = bench.wait_window(cls=MESSAGE_BOX_CLASS, title=DEFAULT_CAPTION, timeout=30)
    expect_named_with_reasons(message_text(bench, box), [path])
    expect(writer.alive, True, "write still waiting for the message box")

    bench.driver("click", box.hwnd, IDOK)
    expect(writer.wait(20), 0, "probe exit code")
    expect(writer.output().split(), ["write", "0"], "write result after OK")
    holder.kill()
    expect(bench.read_file(path), b"busy", "the held file")


def test_frame_that_cannot_be_packed_leaves_the_file_untouched(bench):
    path = r"C:\keep.bmp"
    bench.write_file(path, b"earlier wallpaper")
    # Either would block on a message box if it reached the file: the probe ends instead.
    lines = probe(bench, "write-nomem", path, "write-invalid", path, timeout=60)
    expect((results(lines, "write-nomem"), results(lines, "write-invalid")), (["0"], ["0"]),
           "(no memory, not a bitmap) results")
    expect(bench.read_file(path), b"earlier wallpaper", "the existing file")


def test_generated_wallpaper_is_the_stretched_bitmap_in_the_windows_directory(bench):
    lines = probe(bench, "path", "generate", 64, 48)
    wallpaper = bench.windows_dir + "\\Vellutor.bmp"
    expect(results(lines, "path")[0].lower(), wallpaper.lower(), "wallpaper file path")
    expect(results(lines, "generate"), ["1"], "generate result")
    header = parse_bmp(bench.read_file(wallpaper))
    expect((header["width"], header["height"], header["bits"], header["file_size"]),
           (64, 48, 24, 54 + 64 * 3 * 48), "wallpaper file (width, height, bits, size)")
    state = desktop_state(bench)
    expect((state["Wallpaper"].lower(), state["TileWallpaper"], state["WallpaperStyle"]),
           (path_value(results(lines, "path")[0]).lower(), setting("0"), setting("2")),
           "desktop values after generating")


def test_saver_ended_by_a_key_leaves_its_last_frame_as_the_wallpaper(bench):
    bench.write_settings(settings_bytes(folder=bench.images_dir, wallpaper_generator=1))
    bench.add_picture("q.bmp", pictures.bmp_bytes(pictures.quadrants(320, 240)))
    wallpaper = bench.windows_dir + "\\Vellutor.bmp"
    expect(bench.file_exists(wallpaper), False, "wallpaper file before the run")

    saver = bench.start_scr("/s")
    bench.wait_window(cls=SAVER_CLASS, timeout=30)
    # Ended once the picture is mostly on screen, so the frame is more than a black screen.
    black = Screen(bench.width, bench.height, bytes(3 * bench.width * bench.height))
    bench.wait_screen_change(black, min_pixels=bench.width * bench.height // 2, timeout=60)
    bench.key("Escape")
    expect(saver.wait(30), 0, "saver exit code")

    data = bench.read_file(wallpaper)
    expect(data is not None, True, "wallpaper file written")
    header = parse_bmp(data)
    expect((header["width"], header["height"], header["bits"], header["offset"], len(data)),
           (bench.width, bench.height, 24, 54, 54 + bench.width * 3 * bench.height),
           "last frame file (width, height, bits, offset, length)")
    samples = [data[at:at + 3] for at in range(54, len(data) - 3, 3 * 97)]
    lit = sum(1 for pixel in samples if max(pixel) > 16)
    expect(lit > len(samples) // 2, True,
           "most sampled pixels of the frame lit (%d of %d)" % (lit, len(samples)))
    expect(bench.reg_read(DESKTOP_KEY, "Wallpaper").lower(), wallpaper.lower(),
           "desktop wallpaper")
    expect((bench.reg_read(DESKTOP_KEY, "TileWallpaper"),
            bench.reg_read(DESKTOP_KEY, "WallpaperStyle")), ("0", "2"),
           "(TileWallpaper, WallpaperStyle)")


def run_saver_to_a_key(bench):
    """A full-screen run with the wallpaper generator on, ended by a key once the picture is
    mostly on screen; gives the saver's Proc and the time from the key to its window's end."""
    bench.write_settings(settings_bytes(folder=bench.images_dir, wallpaper_generator=1))
    bench.add_picture("q.bmp", pictures.bmp_bytes(pictures.quadrants(320, 240)))
    saver = bench.start_scr("/s")
    bench.wait_window(cls=SAVER_CLASS, timeout=30)
    black = Screen(bench.width, bench.height, bytes(3 * bench.width * bench.height))
    bench.wait_screen_change(black, min_pixels=bench.width * bench.height // 2, timeout=60)
    bench.key("Escape")
    return saver


def user_wallpaper_path(bench):
    """The per-user wallpaper file, as the probe's saver code names it."""
    found = results(probe(bench, "userpath"), "userpath")[0]
    expect(found.lower().endswith(r"\appdata\local\programs\vellutor\vellutor.bmp"), True,
           "per-user wallpaper path %r under the local application data" % found)
    return found


def fill_the_disk_beside(bench, win_path):
    """Whatever is written beside the file, as the saver writes it, meets a full disk."""
    os.symlink("/dev/full", bench.unix_path(win_path) + ".new")
    return bench.unix_path(win_path) + ".new"


def test_windows_folder_that_cannot_be_written_leaves_the_frame_in_the_per_user_folder(bench):
    user_file = user_wallpaper_path(bench)
    windows_file = bench.windows_dir + "\\Vellutor.bmp"
    for way in ("held", "full disk"):
        bench.write_file(windows_file, b"earlier")
        bench.delete_file(user_file)
        if way == "held":
            holder = bench.hold_file(windows_file)
        else:
            beside = fill_the_disk_beside(bench, windows_file)

        saver = run_saver_to_a_key(bench)
        expect(saver.wait(30), 0, "saver exit code (%s)" % way)
        expect(bench.find_window(cls=MESSAGE_BOX_CLASS), None, "a message box (%s)" % way)
        if way == "held":
            holder.kill()
        expect(bench.read_file(windows_file), b"earlier",
               "the file in the Windows folder (%s)" % way)
        header = parse_bmp(bench.read_file(user_file) or b"\0" * 54)
        expect((header["type"], header["width"], header["height"], header["bits"]),
               (b"BM", bench.width, bench.height, 24),
               "per-user frame (type, width, height, bits) (%s)" % way)
        expect(bench.reg_read(DESKTOP_KEY, "Wallpaper").lower(), user_file.lower(),
               "desktop wallpaper (%s)" % way)
        if way == "full disk":
            os.remove(beside)  # Wine does not delete a link to a device


def test_frame_no_folder_takes_is_reported_after_the_saver_windows_are_gone(bench):
    user_file = user_wallpaper_path(bench)
    windows_file = bench.windows_dir + "\\Vellutor.bmp"
    holders = []
    for path in (windows_file, user_file):
        bench.write_file(path, b"earlier")
        holders.append(bench.hold_file(path))
    before = bench.reg_read(DESKTOP_KEY, "Wallpaper")

    saver = run_saver_to_a_key(bench)
    box = bench.wait_window(cls=MESSAGE_BOX_CLASS, title=DEFAULT_CAPTION, timeout=30,
                            proc=saver)
    saver_window = bench.find_window(cls=SAVER_CLASS)
    expect(saver_window is None or not saver_window.visible, True,
           "saver window hidden while the message shows (saw %r)" % saver_window)
    expect_named_with_reasons(message_text(bench, box), [windows_file, user_file])
    expect(saver.alive, True, "saver waiting for the message to be read")

    bench.driver("click", box.hwnd, IDOK)
    expect(saver.wait(20), 0, "saver exit code after OK")
    for holder in holders:
        holder.kill()
    expect((bench.read_file(windows_file), bench.read_file(user_file)), (b"earlier", b"earlier"),
           "both held files")
    expect(bench.reg_read(DESKTOP_KEY, "Wallpaper"), before, "desktop wallpaper")
