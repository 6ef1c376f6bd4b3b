"""The setup program under Wine: a per-user install that the saver runs from, upgrades that
keep the user's files, an uninstall that takes back exactly what setup made, and failures
that show in the exit code."""

import os

from winebench import BUILD, SAVER_CLASS, expect, options, wait_for

SETUP = os.path.join(BUILD, "vellutor-setup.exe")
PROBE = os.path.join(BUILD, "probe_setup_paths.exe")
VELLUTOR_KEY = r"Software\Vellutor"
DESKTOP_KEY = r"Control Panel\Desktop"
SAMPLES = ("sunset.bmp", "balloons.gif", "fractal.jpg", "rings.jpg", "window.emf")
SETUP_VALUES = ("Install_Dir", "Setup_Previous_Saved", "Setup_Previous_SCRNSAVE.EXE",
                "Setup_Previous_ScreenSaveActive")
OTHER_SAVER = r"C:\windows\system32\other.scr"
RECORD = "vellutor-setup.rec"
SIGNATURE = b"Vellutor setup record 1\r\n"


def fnv1a64(data):
    value = 0xcbf29ce484222325
    for byte in data:
        value = ((value ^ byte) * 0x100000001b3) & 0xFFFFFFFFFFFFFFFF
    return value


def setup(bench, *args, expected=0):
    code = bench.start_wine(SETUP, "/quiet", *args, name="setup").wait(60)
    expect(code, expected, "exit code of vellutor-setup /quiet %s" % " ".join(args))


def probe(bench, *args):
    proc = bench.start_wine(PROBE, *args, name="probe")
    expect(proc.wait(30), 0, "exit code of probe_setup_paths %s" % " ".join(args))
    key, _, value = proc.output().strip().partition("=")
    return value


def default_folder(bench):
    return probe(bench, "localappdata") + r"\Programs\Vellutor"


def host_listing(bench, folder):
    path = bench.unix_path(folder)
    return sorted(os.listdir(path)) if os.path.isdir(path) else None


def build_file(name):
    with open(os.path.join(BUILD, name), "rb") as f:
        return f.read()


def setup_values(bench):
    return {name: bench.reg_read(VELLUTOR_KEY, name) for name in SETUP_VALUES
            if bench.reg_read(VELLUTOR_KEY, name) is not None}


def saver_values(bench):
    return (bench.reg_read(DESKTOP_KEY, "SCRNSAVE.EXE"),
            bench.reg_read(DESKTOP_KEY, "ScreenSaveActive"))


def expect_installed(bench, folder):
    expect(bench.reg_read(VELLUTOR_KEY, "Install_Dir"), folder, "Install_Dir")
    scrnsave, active = saver_values(bench)
    expect(probe(bench, "long", scrnsave).lower(), (folder + r"\vellutor.scr").lower(),
           "SCRNSAVE.EXE (%r) spelled out" % scrnsave)
    expect(" " in scrnsave, False, "SCRNSAVE.EXE %r in its short form, without blanks" % scrnsave)
    expect(active, "1", "ScreenSaveActive")
    expect(bench.read_file(folder + r"\vellutor.scr") == build_file("vellutor.scr"), True,
           "installed vellutor.scr is the built one")
    expect(host_listing(bench, folder + r"\images"), sorted(SAMPLES), "images folder")


@options(install_dir=False)
def test_install_makes_vellutor_the_screen_saver_showing_the_samples(bench):
    setup(bench)
    folder = default_folder(bench)
    expect_installed(bench, folder)

    # Started the way the system starts it, from the value setup wrote.
    scrnsave, _ = saver_values(bench)
    saver = bench.start_wine(scrnsave, "/s", name="vellutor.scr")
    bench.wait_window(cls=SAVER_CLASS, timeout=30, proc=saver)
    first = wait_for(lambda: (lambda s: s if max(s.mean()) > 20 else None)(bench.screenshot()),
                     30, "picture content on screen (mean colour above black)", interval=0.5)
    later = bench.wait_screen_change(first, min_pixels=5000, timeout=20)
    expect(later.is_uniform(tolerance=8), False, "screen showing a picture, not one colour")
    expect(saver.alive, True, "saver still running while it shows the samples")
    bench.key("Escape")
    expect(saver.wait(30), 0, "exit code of the saver ended by a key")


@options(install_dir=False)
def test_second_setup_upgrades_and_keeps_the_users_files(bench):
    setup(bench)
    folder = default_folder(bench)
    images = folder + r"\images"
    settings = bytes(range(16)) + b"D:\\my pictures\0"
    bench.write_file(folder + r"\vellutor.set", settings)
    bench.write_file(images + r"\mine.bmp", b"the user's own picture")
    bench.write_file(images + r"\sunset.bmp", b"the user's own sunset")  # replaces a sample
    bench.delete_file(images + r"\rings.jpg")
    bench.write_file(folder + r"\vellutor.scr", b"an older saver")

    setup(bench)
    expect(bench.read_file(folder + r"\vellutor.set"), settings, "vellutor.set after upgrade")
    expect(bench.read_file(images + r"\mine.bmp"), b"the user's own picture",
           "the user's mine.bmp after upgrade")
    expect(bench.read_file(images + r"\sunset.bmp"), b"the user's own sunset",
           "the user's sunset.bmp after upgrade")
    expect(bench.read_file(folder + r"\vellutor.scr") == build_file("vellutor.scr"), True,
           "vellutor.scr replaced by the new one")
    expect(bench.file_exists(images + r"\rings.jpg"), True, "missing sample rings.jpg added")
    expect(bench.file_exists(folder + r"\vellutor.scr.new"), False, "no side file left")

    # Nothing there before the first install: nothing there after the uninstall.
    setup(bench, "/uninstall")
    expect(saver_values(bench), (None, None), "(SCRNSAVE.EXE, ScreenSaveActive) after uninstall")
    expect(setup_values(bench), {}, "setup's registry values after uninstall")
    expect(host_listing(bench, folder), ["images"], "install folder after uninstall")
    expect(host_listing(bench, images), ["mine.bmp", "sunset.bmp"],
           "images folder after uninstall (the user's pictures)")


@options(install_dir=False)
def test_uninstall_removes_its_own_and_restores_the_previous_saver(bench):
    bench.reg_write(DESKTOP_KEY, "SCRNSAVE.EXE", OTHER_SAVER)
    bench.reg_write(DESKTOP_KEY, "ScreenSaveActive", "0")
    setup(bench)
    folder = default_folder(bench)
    expect_installed(bench, folder)
    # What the saver itself leaves behind after it ran and was configured.
    bench.write_file(folder + r"\vellutor.set", b"\x0f" * 16 + b"C:\\x\0")
    bench.write_file(folder + r"\vellutor.fsl", b"sunset.bmp\0")
    bench.write_file(folder + r"\vellutor.skp", b"VSKP")
    bench.reg_write(VELLUTOR_KEY, "PicturesOnEveryMonitor", 0)
    setup(bench)  # an upgrade must not take Vellutor for the previous saver
    expect(bench.reg_read(VELLUTOR_KEY, "PicturesOnEveryMonitor"), 0,
           "Pictures on every monitor, kept by an upgrade")

    setup(bench, "/uninstall")
    expect(saver_values(bench), (OTHER_SAVER, "0"),
           "(SCRNSAVE.EXE, ScreenSaveActive) given back by uninstall")
    expect(setup_values(bench), {}, "setup's registry values after uninstall")
    expect(bench.reg_read(VELLUTOR_KEY, "PicturesOnEveryMonitor"), None,
           "Pictures on every monitor after uninstall")
    expect(host_listing(bench, folder), None, "install folder after uninstall")

    # Nothing left to remove: a second uninstall says so and succeeds.
    setup(bench, "/uninstall")
    expect(saver_values(bench), (OTHER_SAVER, "0"), "saver values after a second uninstall")


@options(install_dir=False)
def test_uninstall_keeps_a_screen_saver_chosen_after_install(bench):
    folder = r"C:\Program Files Test\Vellutor Saver"
    setup(bench, "/dir", folder)
    expect_installed(bench, folder)
    bench.reg_write(DESKTOP_KEY, "SCRNSAVE.EXE", OTHER_SAVER)

    setup(bench, "/uninstall")
    expect(bench.reg_read(DESKTOP_KEY, "SCRNSAVE.EXE"), OTHER_SAVER,
           "SCRNSAVE.EXE the user chose after install, after uninstall")
    expect(setup_values(bench), {}, "setup's registry values after uninstall")
    expect(host_listing(bench, folder), None, "install folder after uninstall")


@options(install_dir=False)
def test_failures_end_with_nonzero_exit_code_and_change_nothing(bench):
    # A file where the install folder should be: the folder cannot be created.
    folder = default_folder(bench)
    bench.write_file(folder, b"in the way")
    setup(bench, expected=1)
    expect(bench.read_file(folder), b"in the way", "the file in the way, after setup")

    # A folder whose path the saver could not read from the registry (255 bytes at most).
    too_long = "C:\\" + "\\".join(["d" * 50] * 5)[:252]
    expect(len(too_long), 255, "length of the too-long folder")
    setup(bench, "/dir", too_long, expected=1)
    expect(os.path.exists(bench.unix_path("C:\\" + "d" * 50)), False,
           "folders made for a too-long path")

    code = bench.start_wine(SETUP, "/bogus", "/quiet", name="setup").wait(60)
    expect(code, 2, "exit code of vellutor-setup /bogus /quiet")
    expect(setup_values(bench), {}, "setup's registry values after the failures")
    expect(saver_values(bench), (None, None), "saver values after the failures")


@options(install_dir=False)
def test_files_in_use_fail_cleanly_and_a_later_run_finishes(bench):
    setup(bench)
    folder = default_folder(bench)
    scr = folder + r"\vellutor.scr"

    # A running saver keeps its file open: the upgrade fails and leaves the old one whole.
    holder = bench.hold_file(scr)
    setup(bench, expected=1)
    expect(bench.read_file(scr) == build_file("vellutor.scr"), True,
           "vellutor.scr whole after a failed upgrade")
    expect(bench.file_exists(scr + ".new"), False, "side file after a failed upgrade")
    # Nor can it be removed: the uninstall stops before taking anything away.
    setup(bench, "/uninstall", expected=1)
    expect(host_listing(bench, folder + r"\images"), sorted(SAMPLES),
           "images folder after a failed uninstall")
    expect(bench.reg_read(VELLUTOR_KEY, "Install_Dir"), folder,
           "Install_Dir after a failed uninstall")
    holder.kill()

    setup(bench, "/uninstall")
    expect(host_listing(bench, folder), None, "install folder after the second uninstall")
    expect(setup_values(bench), {}, "setup's registry values after the second uninstall")


@options(install_dir=False)
def test_uninstall_touches_nothing_outside_the_install_folder(bench):
    setup(bench)
    folder = default_folder(bench)
    outside = (folder.rsplit("\\", 1)[0] + r"\keep-me.txt", r"C:\keep-me-too.txt")
    for path in outside:
        bench.write_file(path, b"not Vellutor's")
    # A record changed by hand (or damaged) must not lead out of the folder.
    listing = bench.read_file(folder + "\\" + RECORD)
    entry = b"14\t%016x\t" % fnv1a64(b"not Vellutor's")
    bench.write_file(folder + "\\" + RECORD,
                     listing + entry + b"..\\keep-me.txt\r\n" + entry + b"C:\\keep-me-too.txt\r\n"
                     + entry + b"\\keep-me-too.txt\r\n")

    # A sample the user changed after the install has become theirs.
    bench.write_file(folder + r"\images\balloons.gif", b"my own balloons")

    setup(bench, "/uninstall")
    for path in outside:
        expect(bench.read_file(path), b"not Vellutor's", "%s after uninstall" % path)
    expect(host_listing(bench, folder), ["images"], "install folder after uninstall")
    expect(bench.read_file(folder + r"\images\balloons.gif"), b"my own balloons",
           "the changed sample after uninstall")


def sample_bytes(name):
    with open(os.path.join(BUILD, "tools", "setup", "samples", name), "rb") as f:
        return f.read()


def write_all(bench, folder, files):
    for name, data in files.items():
        bench.write_file(folder + "\\" + name, data)


def expect_files(bench, folder, files, when):
    """Every file of `files` still there with its bytes."""
    for name, data in files.items():
        expect(bench.read_file(folder + "\\" + name), data, "%s %s" % (name, when))


@options(install_dir=False)
def test_uninstall_refuses_a_folder_holding_another_programs_list(bench):
    folder = r"C:\other"
    users = {"notes.txt": b"my notes", "photo.jpg": b"my photo", "vellutor.scr": b"a file"}
    listing = b"notes.txt\r\nphoto.jpg\r\nvellutor.scr\r\n"
    for name in ("setup.lst", "SETUP.LST", "install.log"):
        write_all(bench, folder, dict(users, **{name: listing}))
        setup(bench, "/uninstall", "/dir", folder, expected=1)
        expect_files(bench, folder, dict(users, **{name: listing}),
                     "after /uninstall of a folder with another program's %s" % name)
        bench.delete_file(folder + "\\" + name)
    expect(setup_values(bench), {}, "setup's registry values after the refused uninstalls")

    # Installed into such a folder, setup keeps its own record and never adopts the other.
    bench.write_file(folder + r"\setup.lst", listing)
    setup(bench, "/dir", folder)
    expect(bench.read_file(folder + r"\setup.lst"), listing, "the other program's list")
    setup(bench, "/uninstall", "/dir", folder)
    expect_files(bench, folder, {"notes.txt": b"my notes", "photo.jpg": b"my photo",
                                 "setup.lst": listing}, "after install and uninstall")
    expect(host_listing(bench, folder), ["notes.txt", "photo.jpg", "setup.lst"],
           "the folder after install and uninstall (its own vellutor.scr was overwritten)")

    # A file of the record's own name that setup did not write is not taken for its record.
    other = r"C:\other too"
    foreign = {RECORD: b"notes.txt\r\n", "notes.txt": b"my notes"}
    write_all(bench, other, foreign)
    setup(bench, "/dir", other, expected=1)
    setup(bench, "/uninstall", "/dir", other, expected=1)
    expect_files(bench, other, foreign, "with a foreign %s, after install and uninstall" % RECORD)
    expect(host_listing(bench, other), sorted(foreign), "folder with a foreign %s" % RECORD)


@options(install_dir=False)
def test_install_then_uninstall_leaves_a_folder_as_it_was_before(bench):
    folder = r"C:\Users\Shared Pictures"
    before = {"notes.txt": b"my notes", r"images\mine.bmp": b"my picture",
              r"images\sunset.bmp": b"my own sunset", "vellutor.set.txt": b"x"}
    write_all(bench, folder, before)
    setup(bench, "/dir", folder)
    expect(bench.reg_read(VELLUTOR_KEY, "Install_Dir"), folder, "Install_Dir")
    record = bench.read_file(folder + "\\" + RECORD)
    expect(record.startswith(SIGNATURE), True, "record starting with its signature: %r"
           % record[:40])
    expect(b"images\\sunset.bmp" in record, False, "the user's sunset.bmp in setup's record")
    scr = build_file("vellutor.scr")
    expect(b"%d\t%016x\tvellutor.scr\r\n" % (len(scr), fnv1a64(scr)) in record, True,
           "vellutor.scr recorded with its size and hash in %r" % record)
    # A sample the user replaced after the install is theirs, even at the same size.
    rings = sample_bytes("rings.jpg")
    mine = bytes(b ^ 1 for b in rings)
    bench.write_file(folder + r"\images\rings.jpg", mine)

    setup(bench, "/uninstall")
    expect_files(bench, folder, dict(before, **{r"images\rings.jpg": mine}), "after uninstall")
    expect(host_listing(bench, folder), ["images", "notes.txt", "vellutor.set.txt"],
           "install folder after uninstall")
    expect(host_listing(bench, folder + r"\images"), ["mine.bmp", "rings.jpg", "sunset.bmp"],
           "images folder after uninstall")


def make_legacy_install(bench, folder):
    """A folder as the setup before the record left it, plus what the user did since."""
    files = {"vellutor.scr": build_file("vellutor.scr"), "notes.txt": b"my notes",
             "setup.lst": b"vellutor.scr\r\nnotes.txt\r\n" + b"".join(
                 b"images\\%s\r\n" % n.encode() for n in SAMPLES)}
    for name in SAMPLES:
        files["images\\" + name] = sample_bytes(name)
    files[r"images\fractal.jpg"] = b"the user's fractal"
    write_all(bench, folder, files)
    return files


@options(install_dir=False)
def test_previous_setups_install_is_recognised_only_where_install_dir_names_it(bench):
    folder = r"C:\old vellutor"
    files = make_legacy_install(bench, folder)
    # The registry names another folder: the list is nobody's to follow.
    bench.reg_write(VELLUTOR_KEY, "Install_Dir", r"C:\elsewhere")
    setup(bench, "/uninstall", "/dir", folder, expected=1)
    expect_files(bench, folder, files, "after /uninstall while Install_Dir names another folder")
    # The registry names it, but the saver is not there.
    bench.reg_write(VELLUTOR_KEY, "Install_Dir", folder)
    bench.delete_file(folder + r"\vellutor.scr")
    setup(bench, "/uninstall", expected=1)
    expect_files(bench, folder, dict(files, **{"vellutor.scr": None}),
                 "after /uninstall of a folder without vellutor.scr")

    # Recognised: only the saver and the samples still as shipped go.
    bench.write_file(folder + r"\vellutor.scr", files["vellutor.scr"])
    setup(bench, "/uninstall")
    expect(host_listing(bench, folder), ["images", "notes.txt"], "old install after uninstall")
    expect(host_listing(bench, folder + r"\images"), ["fractal.jpg"],
           "old images folder after uninstall")
    expect_files(bench, folder, {"notes.txt": b"my notes",
                                 r"images\fractal.jpg": b"the user's fractal"},
                 "after uninstall of the old install")


@options(install_dir=False)
def test_upgrade_of_the_previous_setups_install_takes_over_its_list(bench):
    folder = r"C:\old vellutor"
    make_legacy_install(bench, folder)
    bench.reg_write(VELLUTOR_KEY, "Install_Dir", folder)
    setup(bench)  # goes where the registry says, since setup made that folder
    expect(bench.file_exists(folder + r"\setup.lst"), False, "old list after the upgrade")
    record = bench.read_file(folder + "\\" + RECORD) or b""
    expect(record.startswith(SIGNATURE), True, "record after the upgrade")
    expect(b"notes.txt" in record or b"fractal.jpg" in record, False,
           "the user's files in the record: %r" % record)
    setup(bench, "/uninstall")
    expect(host_listing(bench, folder), ["images", "notes.txt"], "folder after uninstall")
    expect(host_listing(bench, folder + r"\images"), ["fractal.jpg"], "images after uninstall")


@options(install_dir=False)
def test_dir_takes_only_a_full_path_with_a_drive_letter(bench):
    # C:\vellutor is the bench's own; the refused ones are named apart.
    for folder in (r"\\server\share\Refused", r"\\?\C:\Refused", r"\\.\C:\Refused",
                   r"C:Refused", r"\Refused", r"Refused", r"..\Refused", "//server/share"):
        setup(bench, "/dir", folder, expected=2)
        setup(bench, "/uninstall", "/dir", folder, expected=2)
    for name in ("Refused", r"windows\Refused", r"windows\system32\Refused"):
        expect(os.path.exists(bench.unix_path("C:\\" + name)), False,
               "C:\\%s made for a refused /dir" % name)
    expect(setup_values(bench), {}, "setup's registry values after the refused folders")
    setup(bench, "/dir", r"C:/forward/Vellutor")
    expect_installed(bench, r"C:\forward\Vellutor")


def test_setup_is_a_windows_program_that_asks_for_no_administrator_rights(_bench):
    data = build_file("vellutor-setup.exe")
    pe = int.from_bytes(data[0x3C:0x40], "little")
    expect(data[pe:pe + 4], b"PE\0\0", "PE signature")
    subsystem = int.from_bytes(data[pe + 24 + 68:pe + 24 + 70], "little")
    expect(subsystem, 2, "subsystem (2: Windows GUI, no console window)")
    # Without this, Windows takes a program named "setup" for an installer needing elevation.
    expect(b'requestedExecutionLevel level="asInvoker"' in data, True,
           "manifest asking to run as the invoking user")


def loaded_grid(bench, path, cut=False):
    """The saver's own loader puts the picture on a 320 x 240 surface; the colours at the
    centres of a 6 x 6 grid, or None when it did not load."""
    args = (["--cut"] if cut else []) + ["--fill", "808080", "--grid", "6", 320, 240, path]
    proc = bench.start_wine(os.path.join(BUILD, "probe_picture_loader.exe"), *args,
                            name="probe_picture_loader")
    expect(proc.wait(60), 0, "exit code of the picture loader probe for %s" % path)
    colours, result = [], None
    for line in proc.output().splitlines():
        words = line.split()
        if words[:1] == ["result"]:
            result = int(words[1])
        elif words[:1] == ["at"]:
            colours.append(tuple(int(w) for w in words[3:6]))
    return colours if result == 0 else None


@options(install_dir=False)
def test_every_sample_loads_with_strong_colours_and_the_gif_has_a_plain_background(bench):
    setup(bench)
    images = default_folder(bench) + r"\images"
    for name in SAMPLES:
        colours = loaded_grid(bench, images + "\\" + name)
        expect(colours is not None, True, "%s loaded by the saver's picture loader" % name)
        strong = {c for c in colours if max(c) - min(c) > 100}
        expect(len(strong) >= 4, True,
               "%s shows at least 4 strongly coloured samples, saw %r" % (name, sorted(strong)))
    total = sum(len(bench.read_file(images + "\\" + name)) for name in SAMPLES)
    expect(total < 3 << 20, True, "samples together below 3 MB (%d bytes)" % total)

    # "cut of background" keys on the top-left colour: it must be the plain sky around the
    # balloons, not a colour of the balloons themselves.
    colours = loaded_grid(bench, images + r"\balloons.gif", cut=True)
    background = colours[0]
    flat = sum(1 for c in colours if c == background)
    expect(flat >= len(colours) // 3, True,
           "balloons.gif: grid points of the top-left colour %r: %d of %d"
           % (background, flat, len(colours)))
    expect(flat < len(colours), True, "balloons.gif shows more than its background")
