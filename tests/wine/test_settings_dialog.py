"""The settings dialog under Wine: what it shows, the live preview and how the controls act
on it, what OK, Cancel and "Restore defaults" do to "vellutor.set", the preview frozen off
the screen and while the video-mode list is open, the home page, the link, the folder
browser, and a dialog that keeps answering while it holds the preview."""

import os
import shutil
import time

import pictures
from winebench import BUILD, expect, options, settings_bytes, still_sampling, wait_for

TITLE = "Vellutor - Settings"
REMOTE = os.path.join(BUILD, "probe_dialog_remote.exe")
HOME_PAGE = "https://vellutor.github.io/"

PREVIEW, RESTORE, REMEMBER, VIDEO_MODE = 1022, 1008, 1023, 1026
EVERY_MONITOR = 1035
VELLUTOR_KEY, EVERY_MONITOR_VALUE = r"Software\Vellutor", "PicturesOnEveryMonitor"
BLUR, USAGE_PERIOD, PSYCHEDELIA, WAVE_SIZE = 1009, 1010, 1011, 1020
WALLPAPER = 1024
FORMATS = (1012, 1013, 1014, 1015)  # BMP, GIF, JPEG, EMF
CUTS = (1016, 1017, 1018, 1019)
SET_FOLDER, HOME, OK, CANCEL = 1003, 1007, 6, 2
GIF = 1013
CHECK_BOXES = (REMEMBER, WALLPAPER) + FORMATS + CUTS

# Solid pictures whose colour names them; with "Usage period" at 14 each holds 2 s. A solid
# picture with "cut of background" would be all background, so no format cuts here.
ORANGE = (220, 120, 20)
TEAL = (20, 160, 140)
PLAYING = dict(drop_period=14, blur=0, gif_cut=0)


def remote(bench, *args, ok=(0,)):
    """Runs the remote-control probe and gives its "key value" lines as a dict."""
    proc = bench.start_wine(REMOTE, *[str(a) for a in args], name="remote")
    code = proc.wait(60)
    if ok is not None and code not in ok:
        raise AssertionError("probe_dialog_remote %s: exit code %d, output %r"
                             % (" ".join(map(str, args)), code, proc.output()))
    values = {}
    for line in proc.output().splitlines():
        key, _, value = line.partition(" ")
        values.setdefault(key, value)
    return values


def rect_of(text):
    return tuple(int(v) for v in text.split())


def open_dialog(bench, settings=None):
    if settings is not None:
        bench.write_settings(settings)
    saver = bench.start_scr("/c")
    dialog = bench.wait_window(title=TITLE, timeout=30, proc=saver)
    return saver, dialog


def solid(colour):
    return pictures.Picture(64, 48, colour)


def add_solid(bench, name, colour):
    path = bench.unix_path(bench.images_dir + "\\" + name)
    pictures.write(path, solid(colour))


def preview_area(bench, dialog, inset=6):
    """The preview's screen rectangle as (x, y, w, h), less a margin at its border."""
    left, top, right, bottom = rect_of(remote(bench, "client", dialog.hwnd, PREVIEW)["client"])
    return left + inset, top + inset, right - left - 2 * inset, bottom - top - 2 * inset


def grab(bench, area):
    x, y, w, h = area
    return bench.screenshot().crop(x, y, w, h)


def visible_part(bench, area):
    """The part of `area` that lies on the screen."""
    x, y, w, h = area
    left, top = max(x, 0), max(y, 0)
    right, bottom = min(x + w, bench.width), min(y + h, bench.height)
    return left, top, right - left, bottom - top


def animates(bench, area, seconds=6.0, min_pixels=50):
    """Whether the preview's pixels change within `seconds`."""
    first = grab(bench, area)
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        time.sleep(0.4)
        if grab(bench, area).count_changed(first, tolerance=8) >= min_pixels:
            return True
    return False


def stands_still(bench, area, seconds=3.0):
    first = grab(bench, area)
    time.sleep(seconds)
    changed = grab(bench, area).count_changed(first, tolerance=8)
    return changed == 0, changed


def dominant(shot, share=0.5):
    """The colour that at least `share` of the shot's pixels show (within a few levels), or
    None while no colour covers that much of it."""
    counts = {}
    for at in range(0, len(shot.data), 3 * 7):
        key = tuple(v // 16 for v in shot.data[at:at + 3])
        counts[key] = counts.get(key, 0) + 1
    best = max(counts, key=counts.get)
    if counts[best] < share * sum(counts.values()):
        return None
    return tuple(v * 16 + 8 for v in best)


def near(a, b, tolerance=40):
    return a is not None and all(abs(x - y) <= tolerance for x, y in zip(a, b))


def colours_seen(bench, area, seconds, until=None, longest=40):
    """The dominant colours of the preview, sampled for `seconds`. With `until`, sampling
    goes on up to `longest` seconds while `until(seen)` is false, since a loaded machine
    walks the pictures slower."""
    seen = []
    started = time.monotonic()
    while still_sampling(started, seconds, until and (lambda: until(seen)), longest):
        colour = dominant(grab(bench, area))
        if colour is not None:
            seen.append(colour)
        time.sleep(0.3)
    return seen


def control(bench, dialog, id):
    return bench.driver("get", dialog.hwnd, id)


def shown_settings(bench, dialog):
    """The 16 bytes of the record as the dialog's controls show them."""
    pos = {id: control(bench, dialog, id).int("pos") for id in (BLUR, USAGE_PERIOD, PSYCHEDELIA,
                                                             WAVE_SIZE)}
    check = {id: control(bench, dialog, id).int("check") for id in CHECK_BOXES}
    mode = control(bench, dialog, VIDEO_MODE).int("cursel") & 0xFFFF
    record = bytes([pos[USAGE_PERIOD], pos[PSYCHEDELIA], pos[BLUR], check[REMEMBER],
                    check[WALLPAPER], pos[WAVE_SIZE]]) + mode.to_bytes(2, "little")
    for enabled, cut in zip(FORMATS, CUTS):
        record += bytes([check[enabled], check[cut]])
    return record


def ended(saver, what):
    expect(saver.wait(30), 0, "exit code after %s" % what)


def test_dialog_shows_the_record_and_a_live_preview(bench):
    add_solid(bench, "a.bmp", ORANGE)
    add_solid(bench, "b.gif", TEAL)
    saver, dialog = open_dialog(bench)
    expect(dialog.title, TITLE, "dialog title")
    # Asked in-process: Wine answers WM_GETICON from another process with nothing.
    icons = bench.start_wine(os.path.join(BUILD, "probe_settings_dialog.exe"))
    expect(icons.wait(60), 0, "dialog probe exit code")
    expect(icons.output().split(), ["icon", "1", "1"], "the dialog's (big, small) icon")
    sliders = {id: control(bench, dialog, id) for id in (USAGE_PERIOD, PSYCHEDELIA, BLUR,
                                                          WAVE_SIZE)}
    expect([sliders[id].int("pos") for id in (USAGE_PERIOD, PSYCHEDELIA, BLUR, WAVE_SIZE)],
           [15, 0, 1, 2], "slider positions (usage, psychedelia, blur, wave) with no file")
    expect([(sliders[id].int("min"), sliders[id].int("max"))
            for id in (USAGE_PERIOD, PSYCHEDELIA, BLUR, WAVE_SIZE)],
           [(14, 50), (0, 5), (0, 10), (0, 4)], "slider ranges")
    checks = [control(bench, dialog, id).int("check") for id in CHECK_BOXES]
    expect(checks, [0, 0, 1, 1, 1, 0, 0, 1, 0, 0],
           "check boxes remember, wallpaper, BMP GIF JPEG EMF, cuts BMP GIF JPEG EMF")
    combo = control(bench, dialog, VIDEO_MODE)
    items = [item.split(" ", 1)[1] for item in combo.values("item")]
    expect(items[0], "current", "first video mode entry")
    expect(len(items) > 1, True, "display modes after 'current': %r" % items)
    expect(combo.int("cursel"), 0, "selected video mode")

    link = remote(bench, "link", dialog.hwnd)
    expect((link["text"], link["parent_is_dialog"], link["has_object"]), (HOME_PAGE, "1", "1"),
           "the link's text, parent and object")
    placeholder = [c for c in bench.driver("controls", dialog.hwnd).values("control")
                   if c.startswith("1034 ")]
    expect(len(placeholder), 1, "the link's placeholder 1034")
    area = preview_area(bench, dialog)
    expect(animates(bench, area, seconds=15), True, "the preview animating inside 1022")

    # The link: blue (0, 0, 200) text with an underline, over the placeholder's place.
    lx, ly, lr, lb = rect_of(link["rect"])
    shot = bench.screenshot().crop(lx, ly, lr - lx, lb - ly)
    blue_rows = [sum(1 for x in range(shot.width) if pictures.close(shot.pixel(x, y), (0, 0, 200),
                                                                     30))
                 for y in range(shot.height)]
    expect(max(blue_rows) > (lr - lx) // 3, True,
           "an underline: a row of blue link pixels, counts per row %r" % blue_rows)
    bench.driver("command", dialog.hwnd, CANCEL)
    ended(saver, "Cancel")


def test_sliders_and_format_boxes_act_on_the_next_picture(bench):
    add_solid(bench, "a.bmp", ORANGE)
    add_solid(bench, "b.gif", TEAL)
    saver, dialog = open_dialog(bench, settings_bytes(folder=bench.images_dir, **PLAYING))
    area = preview_area(bench, dialog)
    both = lambda seen: any(near(c, ORANGE) for c in seen) and any(near(c, TEAL) for c in seen)
    seen = colours_seen(bench, area, 10, until=both)
    expect(both(seen), True,
           "both pictures shown in turn, colours seen %r" % seen)

    # Psychedelia: the same pictures from the next one on in another channel order.
    bench.driver("trackbar", dialog.hwnd, PSYCHEDELIA, 3)
    time.sleep(5)
    unswapped = lambda c: near(c, ORANGE) or near(c, TEAL)
    seen = colours_seen(bench, area, 8, until=lambda seen: not all(map(unswapped, seen)))
    swapped = [c for c in seen if not unswapped(c)]
    expect(bool(swapped) and all(near(sorted(c), sorted(ORANGE)) or near(sorted(c), sorted(TEAL))
                                 for c in swapped), True,
           "colours after Psychedelia 3 are the pictures' channels rearranged: %r" % seen)
    bench.driver("trackbar", dialog.hwnd, PSYCHEDELIA, 0)

    # Unchecking GIF skips the GIF from the next picture on.
    bench.driver("click", dialog.hwnd, GIF)
    wait_for(lambda: control(bench, dialog, GIF).int("check") == 0, 10, "GIF unchecked")
    time.sleep(5)
    seen = colours_seen(bench, area, 9, until=lambda seen: any(near(c, ORANGE) for c in seen))
    expect(any(near(c, ORANGE) for c in seen), True, "the BMP still shown: %r" % seen)
    expect([c for c in seen if near(c, TEAL)], [], "GIF colours after unchecking GIF")
    expect(bench.read_settings(), settings_bytes(folder=bench.images_dir, **PLAYING),
           "vellutor.set untouched without OK")
    bench.driver("command", dialog.hwnd, CANCEL)
    ended(saver, "Cancel")


def test_ok_writes_what_the_controls_show_and_it_loads_back(bench):
    # Written by hand as text: not the setting's form, so it reads as on.
    bench.reg_write(VELLUTOR_KEY, EVERY_MONITOR_VALUE, "0")
    saver, dialog = open_dialog(bench)
    expect(control(bench, dialog, EVERY_MONITOR).int("check"), 1,
           "Pictures on every monitor with a malformed value")
    bench.driver("click", dialog.hwnd, EVERY_MONITOR)
    for id, pos in ((BLUR, 7), (USAGE_PERIOD, 33), (PSYCHEDELIA, 4), (WAVE_SIZE, 0)):
        bench.driver("trackbar", dialog.hwnd, id, pos)
    for id in (REMEMBER, WALLPAPER, 1012, 1015, 1017, 1019):
        bench.driver("click", dialog.hwnd, id)
    bench.driver("combo", dialog.hwnd, VIDEO_MODE, 2)
    wait_for(lambda: control(bench, dialog, 1019).int("check") == 1, 10, "the clicks to land")
    shown = shown_settings(bench, dialog)
    bench.driver("click", dialog.hwnd, OK)
    ended(saver, "OK")
    written = bench.read_settings()
    expect(written, shown + (bench.images_dir + "\\").encode() + b"\0",
           "vellutor.set after OK (record as the controls showed it, then the folder)")
    expect(bench.reg_read(VELLUTOR_KEY, EVERY_MONITOR_VALUE), 0,
           "Pictures on every monitor after unchecking it and OK")

    saver, dialog = open_dialog(bench)
    expect(shown_settings(bench, dialog), shown, "the controls of the next run")
    expect(control(bench, dialog, EVERY_MONITOR).int("check"), 0,
           "Pictures on every monitor in the next run")
    bench.driver("click", dialog.hwnd, OK)
    ended(saver, "OK without changes")
    expect(bench.read_settings(), written, "vellutor.set after OK without changes")
    expect(bench.reg_read(VELLUTOR_KEY, EVERY_MONITOR_VALUE), 0,
           "Pictures on every monitor after OK without changes")


def test_ok_with_no_video_mode_selected_stores_ffff(bench):
    saver, dialog = open_dialog(bench)
    bench.driver("combo", dialog.hwnd, VIDEO_MODE, -1)
    wait_for(lambda: control(bench, dialog, VIDEO_MODE).int("cursel") == -1, 10,
             "no video mode selected")
    bench.driver("click", dialog.hwnd, OK)
    ended(saver, "OK")
    expect(bench.read_settings()[6:8], b"\xff\xff", "videoMode bytes")


def test_cancel_esc_and_the_close_box_leave_the_file_as_it_was(bench):
    before = settings_bytes(folder=r"C:\somewhere", blur=4, gif=0, video_mode=1)
    add_solid(bench, "a.bmp", ORANGE)
    for what, close in (
        ("Cancel", lambda d: bench.driver("click", d.hwnd, CANCEL)),
        ("Esc", lambda d: bench.driver("post", d.hwnd, "WM_KEYDOWN", 0x1B, 0) and
         bench.driver("post", d.hwnd, "WM_KEYUP", 0x1B, 0xC0000001)),
        ("the close box", lambda d: bench.driver("post", d.hwnd, "WM_CLOSE")),
    ):
        saver, dialog = open_dialog(bench, before)
        for id, pos in ((BLUR, 9), (USAGE_PERIOD, 40), (PSYCHEDELIA, 5), (WAVE_SIZE, 4)):
            bench.driver("trackbar", dialog.hwnd, id, pos)
        for id in CHECK_BOXES + (EVERY_MONITOR,):
            bench.driver("click", dialog.hwnd, id)
        bench.driver("click", dialog.hwnd, RESTORE)
        bench.driver("combo", dialog.hwnd, VIDEO_MODE, 0)
        wait_for(lambda: control(bench, dialog, REMEMBER).int("check") == 0, 10,
                 "the changes to land")
        close(dialog)
        ended(saver, what)
        expect(bench.read_settings(), before, "vellutor.set after changes and %s" % what)
        expect(bench.reg_read(VELLUTOR_KEY, EVERY_MONITOR_VALUE), None,
               "Pictures on every monitor after changes and %s" % what)


def test_restore_defaults_resets_the_mode_group_and_the_folder_only(bench):
    elsewhere = r"C:\elsewhere"
    os.makedirs(bench.unix_path(elsewhere), exist_ok=True)
    pictures.write(bench.unix_path(elsewhere + "\\x.bmp"), solid(TEAL))
    add_solid(bench, "a.bmp", ORANGE)
    bench.reg_write(VELLUTOR_KEY, EVERY_MONITOR_VALUE, 0)
    formats = dict(bmp=1, bmp_cut=0, gif=0, gif_cut=1, jpeg=0, jpeg_cut=1, emf=1, emf_cut=1)
    saver, dialog = open_dialog(bench, settings_bytes(
        folder=elsewhere, drop_period=14, psychedelia=0, blur=0, remember_picture=1,
        wallpaper_generator=1, wave_size=4, video_mode=1, **formats))
    area = preview_area(bench, dialog)
    wait_for(lambda: near(dominant(grab(bench, area)), TEAL), 20, "the picture from elsewhere")
    bench.driver("click", dialog.hwnd, RESTORE)
    wait_for(lambda: control(bench, dialog, REMEMBER).int("check") == 0, 10, "the restore")
    expect([control(bench, dialog, id).int("pos") for id in (USAGE_PERIOD, PSYCHEDELIA, BLUR,
                                                            WAVE_SIZE)],
           [15, 0, 1, 2], "sliders after Restore defaults")
    expect([control(bench, dialog, id).int("check") for id in (REMEMBER, WALLPAPER,
                                                               EVERY_MONITOR)], [0, 0, 1],
           "Remember picture, Wallpaper generator, Pictures on every monitor after Restore "
           "defaults")
    expect(control(bench, dialog, VIDEO_MODE).int("cursel"), 0, "video mode after restore")
    expect([control(bench, dialog, id).int("check") for id in FORMATS + CUTS],
           [1, 0, 0, 1, 0, 1, 1, 1], "format boxes left as they were")
    wait_for(lambda: near(dominant(grab(bench, area)), ORANGE), 20,
             "a picture from the install folder's images")
    bench.driver("click", dialog.hwnd, OK)
    ended(saver, "OK")
    expect(bench.read_settings(), settings_bytes(folder=bench.install_dir + "\\images\\",
                                                 **formats),
           "vellutor.set after Restore defaults and OK")


def test_keys_and_buttons_in_the_preview_end_nothing_and_cancel_writes_the_remembered_picture(
        bench):
    add_solid(bench, "a.bmp", ORANGE)
    bench.delete_file(bench.install_dir + "\\vellutor.fsl")
    saver, dialog = open_dialog(bench, settings_bytes(folder=bench.images_dir, **PLAYING))
    area = preview_area(bench, dialog)
    wait_for(lambda: near(dominant(grab(bench, area)), ORANGE), 20, "the picture on show")
    expect(remote(bench, "focus", dialog.hwnd)["focus_class"] != "Vellutor", True,
           "the dialog keeps the keyboard focus at start")
    bench.mousemove(area[0] + area[2] // 2, area[1] + area[3] // 2)
    bench.click()
    expect(remote(bench, "focus", dialog.hwnd)["focus_class"] != "Vellutor", True,
           "the dialog keeps the keyboard focus after a click into the preview")
    bench.click(3)
    bench.key("a")
    try:
        code = saver.wait(1.5)
    except AssertionError:
        code = None
    expect(code, None, "exit code after keys and a right click over the preview (none: running)")
    bench.driver("click", dialog.hwnd, CANCEL)
    ended(saver, "Cancel")
    expect(bench.read_fsl(), b"a.bmp\0", "vellutor.fsl after Cancel")


def test_preview_freezes_while_partly_off_the_screen(bench):
    add_solid(bench, "a.bmp", ORANGE)
    add_solid(bench, "b.bmp", TEAL)
    saver, dialog = open_dialog(bench, settings_bytes(folder=bench.images_dir, drop_period=16))
    area = preview_area(bench, dialog, inset=0)
    expect(animates(bench, area), True, "the preview animating at the start")
    x0, y0 = dialog.rect[0], dialog.rect[1]
    px, py, pw, ph = area

    def move_by(dx, dy):
        remote(bench, "move", dialog.hwnd, x0 + dx, y0 + dy)
        time.sleep(1.0)
        return preview_area(bench, dialog, inset=0)

    for what, dx, dy in (("over the left edge", -px - 20, 0),
                         ("over the top edge", 0, -py - 20),
                         ("touching the right edge", bench.width - (px + pw), 0),
                         ("touching the bottom edge", 0, bench.height - (py + ph))):
        moved = move_by(dx, dy)
        still, changed = stands_still(bench, visible_part(bench, moved), 3.5)
        expect(still, True, "preview %s standing still (%d pixels changed)" % (what, changed))
        moved = move_by(0, 0)
        expect(animates(bench, moved), True, "preview animating again after coming back from %s"
               % what)

    # Several moves off the screen take one hold: one move back releases it.
    for dx in (-px - 20, -px - 60, -px - 10):
        move_by(dx, 0)
    moved = move_by(bench.width - (px + pw) - 1, 0)
    expect(animates(bench, moved), True, "preview animating one pixel inside the right edge")
    bench.driver("command", dialog.hwnd, CANCEL)
    ended(saver, "Cancel")


def test_open_video_mode_list_freezes_the_preview(bench):
    add_solid(bench, "a.bmp", ORANGE)
    add_solid(bench, "b.bmp", TEAL)
    saver, dialog = open_dialog(bench, settings_bytes(folder=bench.images_dir, drop_period=16))
    area = preview_area(bench, dialog)
    expect(animates(bench, area), True, "the preview animating at the start")
    expect(remote(bench, "droplist", dialog.hwnd, 1)["dropped"], "1", "list open")
    time.sleep(0.7)
    still, changed = stands_still(bench, area, 3.0)
    expect(still, True, "preview standing still with the list open (%d changed)" % changed)
    remote(bench, "droplist", dialog.hwnd, 0)
    expect(animates(bench, area), True, "preview animating after the list closed")
    bench.driver("command", dialog.hwnd, CANCEL)
    ended(saver, "Cancel")


def plant_explorers(bench):
    """The stand-in explorer as the Windows folder's own, and planted beside the saver and in
    the picture folder, where the saver must never start it from."""
    standin = os.path.join(BUILD, "probe_explorer_standin.exe")
    for folder in (bench.windows_dir, bench.install_dir, bench.images_dir):
        shutil.copy(standin, bench.unix_path(folder + "\\explorer.exe"))


def test_home_page_starts_the_windows_explorer_with_the_address_and_closes(bench):
    plant_explorers(bench)
    add_solid(bench, "a.bmp", ORANGE)
    saver, dialog = open_dialog(bench, settings_bytes(folder=bench.images_dir, **PLAYING))
    time.sleep(1.0)  # the preview has listed the picture folder
    bench.driver("click", dialog.hwnd, HOME)
    ended(saver, "Home Page")
    recorded = wait_for(lambda: bench.read_file(bench.windows_dir + "\\explorer-command.txt"),
                        20, "the Windows folder's explorer's record")
    expect(recorded.decode("latin-1"), 'explorer "%s"' % HOME_PAGE, "explorer's command line")
    for folder in (bench.install_dir, bench.images_dir):
        expect(bench.file_exists(folder + "\\explorer-command.txt"), False,
               "a record of the explorer.exe planted in %s" % folder)
    expect(bench.read_settings(), settings_bytes(folder=bench.images_dir, **PLAYING),
           "vellutor.set after Home Page")


def saver_files_in(bench, folder):
    """The saver's own files and their side files found in `folder`."""
    path = bench.unix_path(folder)
    names = os.listdir(path) if os.path.isdir(path) else []
    return sorted(n for n in names if n.lower().startswith(("vellutor.set", "vellutor.fsl")))


def not_saved_message(bench, saver, path):
    """The message OK shows when it cannot save: it names the file and gives a reason.
    Dismissed; the dialog is then there again."""
    box = bench.wait_window(cls="#32770", title="Vellutor", timeout=30, proc=saver)
    controls = bench.driver("controls", box.hwnd).values("control")
    text = " ".join(c.split(" ", 7)[7] for c in controls if c.startswith("65535 "))
    expect(text.startswith("The settings could not be saved to %s. " % path), True,
           "message naming the file, saw %r" % text)
    expect(len(text.split(path + ".", 1)[1].split("The settings dialog")[0].strip()) > 3, True,
           "the system's reason in %r" % text)
    bench.driver("click", box.hwnd, 1)
    bench.wait_no_window(cls="#32770", title="Vellutor")


def test_ok_that_cannot_save_says_why_and_keeps_the_dialog_open(bench):
    before = settings_bytes(folder=bench.images_dir, **PLAYING)
    add_solid(bench, "a.bmp", ORANGE)
    saver, dialog = open_dialog(bench, before)
    bench.driver("click", dialog.hwnd, REMEMBER)  # a change to save
    holder = bench.hold_file(bench.install_dir + r"\vellutor.set")
    bench.driver("click", dialog.hwnd, OK)
    not_saved_message(bench, saver, bench.install_dir + r"\vellutor.set")
    expect(saver.alive, True, "settings still open after the failed save")
    expect(control(bench, dialog, REMEMBER).int("check"), 1, "the user's change kept")
    holder.kill()
    bench.driver("click", dialog.hwnd, OK)  # tried again
    ended(saver, "OK once the file is free")
    expect(bench.read_settings()[3], 1, "rememberPicture saved by the second OK")

    # The install folder is taken away while the dialog is open: nothing is written anywhere.
    saver, dialog = open_dialog(bench, before)
    time.sleep(1.0)  # the preview has listed the picture folder
    bench.reg_write(r"Software\Vellutor", "Install_Dir", r"C:\gone")
    bench.driver("click", dialog.hwnd, REMEMBER)
    bench.driver("click", dialog.hwnd, OK)
    not_saved_message(bench, saver, r"C:\gone\vellutor.set")
    bench.driver("click", dialog.hwnd, CANCEL)
    ended(saver, "Cancel after the failed save")
    for folder in (bench.images_dir, r"C:\windows\system32", r"C:\windows", "C:\\"):
        expect(saver_files_in(bench, folder), [], "the saver's files written in %s" % folder)
    expect(bench.read_settings(), before, "vellutor.set of the install folder")


@options(wine_debug="+relay")
def test_a_link_that_cannot_be_opened_only_beeps(bench):
    # Relay tracing of just these two calls shows what the link asked for and how it ended.
    bench.reg_write(r"Software\Wine\Debug", "RelayInclude",
                    "shell32.ShellExecuteA;user32.MessageBeep")
    for scheme in ("https", "http"):
        bench.start_wine("reg", "delete", r"HKEY_CLASSES_ROOT\%s" % scheme, "/f").wait(60)
    saver, dialog = open_dialog(bench)
    link = remote(bench, "link", dialog.hwnd)
    before = set(w[0] for w in bench.visible_windows())
    for _ in range(2):
        bench.driver("post", link["hwnd"], "WM_LBUTTONDOWN", 1, 0x00050005)
        bench.driver("post", link["hwnd"], "WM_LBUTTONUP", 0, 0x00050005)
        time.sleep(1.5)
    expect(saver.alive, True, "the saver running after clicking the link")
    new = [w for w in bench.visible_windows() if w[0] not in before]
    expect(new, [], "windows that appeared after clicking the link")
    bench.driver("command", dialog.hwnd, CANCEL)
    ended(saver, "Cancel")
    with open(saver.err_path, "rb") as f:
        trace = f.read().decode("latin-1")
    opened = [line for line in trace.splitlines() if "Call shell32.ShellExecuteA(" in line]
    beeps = [line for line in trace.splitlines() if "Call user32.MessageBeep(00000000)" in line]
    expect(len(opened), 2, "ShellExecuteA calls, one per click")
    expect(len(beeps), 2, "beeps, one per failed click")


def test_folder_browser_choice_and_cancel(bench):
    chosen = r"C:\chosen"
    os.makedirs(bench.unix_path(chosen), exist_ok=True)
    pictures.write(bench.unix_path(chosen + "\\t.bmp"), solid(TEAL))
    add_solid(bench, "a.bmp", ORANGE)
    saver, dialog = open_dialog(bench, settings_bytes(folder=bench.images_dir, **PLAYING))
    area = preview_area(bench, dialog)
    wait_for(lambda: near(dominant(grab(bench, area)), ORANGE), 20, "the install folder's picture")

    def open_browser():
        bench.driver("click", dialog.hwnd, SET_FOLDER)
        found = wait_for(lambda: remote(bench, "owned", dialog.hwnd).get("window"), 20,
                         "the folder browser")
        return int(found.split()[0])

    browser = open_browser()
    bench.driver("click", browser, CANCEL)
    wait_for(lambda: remote(bench, "owned", dialog.hwnd)["count"] == "0", 20, "browser closed")
    expect(animates(bench, area, seconds=8), True, "the preview running after a cancel")
    seen = colours_seen(bench, area, 5)
    expect([c for c in seen if near(c, TEAL)], [], "pictures from the chosen folder "
           "after a cancel")

    browser = open_browser()
    remote(bench, "browse", browser, chosen)
    bench.driver("click", browser, 1)
    wait_for(lambda: near(dominant(grab(bench, area)), TEAL), 20,
             "a picture from the chosen folder")
    bench.driver("click", dialog.hwnd, OK)
    ended(saver, "OK")
    expect(bench.read_settings()[16:], chosen.encode() + b"\0", "folder in vellutor.set")
    expect(bench.read_fsl(), b"t.bmp\0", "vellutor.fsl naming the saved folder's picture")


def test_cancel_after_choosing_a_folder_leaves_the_remembered_picture(bench):
    # The chosen folder is never saved: the next start would look for its picture in vain.
    chosen = r"C:\chosen"
    os.makedirs(bench.unix_path(chosen), exist_ok=True)
    pictures.write(bench.unix_path(chosen + "\\t.bmp"), solid(TEAL))
    add_solid(bench, "a.bmp", ORANGE)
    bench.write_fsl(b"a.bmp\0")
    saver, dialog = open_dialog(bench, settings_bytes(folder=bench.images_dir, **PLAYING))
    area = preview_area(bench, dialog)
    bench.driver("click", dialog.hwnd, SET_FOLDER)
    browser = wait_for(lambda: remote(bench, "owned", dialog.hwnd).get("window"), 20,
                       "the folder browser")
    remote(bench, "browse", int(browser.split()[0]), chosen)
    bench.driver("click", int(browser.split()[0]), 1)
    wait_for(lambda: near(dominant(grab(bench, area)), TEAL), 20,
             "a picture from the chosen folder")
    bench.driver("command", dialog.hwnd, CANCEL)
    ended(saver, "Cancel")
    expect(bench.read_fsl(), b"a.bmp\0", "vellutor.fsl after Cancel")


def test_dialog_keeps_answering_while_holding_the_preview_under_load(bench):
    for i, colour in enumerate((ORANGE, TEAL, pictures.BLUE, pictures.YELLOW)):
        add_solid(bench, "p%d.%s" % (i, ("bmp", "gif", "jpg", "bmp")[i]), colour)
    saver, dialog = open_dialog(bench, settings_bytes(folder=bench.images_dir, drop_period=20))
    area = preview_area(bench, dialog)
    slowest = 0
    for turn in range(6):
        for id in CHECK_BOXES[2:]:
            bench.driver("click", dialog.hwnd, id)
        # Paced drops of the smallest size barely stir a plain picture for seconds, so the
        # last round leaves the largest size, whose ripples show that the preview runs.
        for id, pos in ((BLUR, turn), (PSYCHEDELIA, turn % 6), (WAVE_SIZE, 4 - turn % 5)):
            bench.driver("trackbar", dialog.hwnd, id, pos)
        answer = remote(bench, "ping", dialog.hwnd, 8000)
        expect(answer["answered"], "1", "the dialog answering in round %d" % turn)
        slowest = max(slowest, int(answer["ms"]))
    expect(slowest < 5000, True, "slowest answer %d ms" % slowest)
    expect(animates(bench, area, seconds=10), True, "the preview running after the load")
    bench.driver("command", dialog.hwnd, CANCEL)
    ended(saver, "Cancel")


@options(wine_debug="+relay")
def test_link_control_paints_points_and_beeps_in_process(bench):
    bench.reg_write(r"Software\Wine\Debug", "RelayInclude", "user32.MessageBeep")
    probe = bench.start_wine(os.path.join(BUILD, "probe_hyperlink.exe"), name="link-probe")
    expect(probe.wait(60), 0, "link probe exit code")
    out = dict(line.split(" ", 1) for line in probe.output().splitlines() if " " in line)
    expect((out.get("registered_before_main"), out.get("hand_cursor"), out.get("created"),
            out.get("knows_object")), ("1", "1", "1", "1"),
           "class registered before main, hand cursor, link created, object in its user data")
    expect(int(out.get("blue_pixels", 0)) > 40, True, "blue text pixels: %r" % out)
    expect(int(out["longest_blue_row"]) > 40, True, "an underline: longest blue row %s"
           % out["longest_blue_row"])
    expect(int(out["host_pixels"]) > int(out["area"]) // 2, True,
           "the parent's colour showing around the text (%s of %s pixels): nothing erased"
           % (out["host_pixels"], out["area"]))
    expect((out.get("cursor_is_hand"), out.get("mouse_move_result")), ("1", "0"),
           "the hand over the link, and mouse moves swallowed")
    expect((out.get("empty_created"), out.get("empty_text")), ("1", "[]"),
           "a link made without text")
    expect((out.get("failed_create"), out.get("kept_text")), ("1", "[kept]"),
           "a failed create keeps the text")
    expect((out.get("owned_text"), out.get("owned_gone")), ("[owned text]", "1"),
           "a link whose window owns its text, destroyed with it")
    with open(probe.err_path, "rb") as f:
        trace = f.read().decode("latin-1")
    beeps = [line for line in trace.splitlines() if "Call user32.MessageBeep(00000000)" in line]
    expect(len(beeps), 1, "beeps after one click on a target that cannot be opened")
