"""The settings store under Wine: where loadSettings looks, what it makes of each kind of
"vellutor.set" and "vellutor.fsl", and that saving never destroys or half-writes a file."""

import os

from winebench import BUILD, expect, options, settings_bytes, wait_for

PROBE = os.path.join(BUILD, "probe_settings_store.exe")
KEY = r"Software\Vellutor"
DEFAULTS = settings_bytes()


def probe(bench, *args):
    """Runs the probe to its end and gives its "key=value" lines as a dict."""
    proc = bench.start_wine(PROBE, *args)
    code = proc.wait(60)
    text = proc.output()
    expect(code, 0, "probe exit code for %s (output: %r)" % (" ".join(map(str, args)), text))
    return dict(line.split("=", 1) for line in text.splitlines() if "=" in line)


def load(bench):
    seen = probe(bench, "load")
    seen["record"] = bytes.fromhex(seen["record"])
    return seen


def save(bench, record, folder):
    return probe(bench, "save", record[:16].hex(), folder)["save"]


def hold(bench, win_path):
    """Another process keeps the file open with read access and read sharing only."""
    holder = bench.start_wine(PROBE, "hold", win_path, 60000)
    wait_for(lambda: "held=1" in holder.output(), timeout=30, what="the file to be held")
    return holder


def leftovers(bench):
    names = os.listdir(bench.unix_path(bench.install_dir, must_exist=True))
    return sorted(n for n in names if n.lower() not in ("vellutor.set", "vellutor.fsl",
                                                        "vellutor.scr", "images"))


def expect_defaults(bench, seen, what):
    expect(seen["load"], "1", "%s: load result" % what)
    expect(seen["record"], DEFAULTS, "%s: record" % what)
    expect(seen["folder"], bench.install_dir + "\\images\\", "%s: images folder" % what)
    expect(seen["searchDone"], "1", "%s: nothing to search for" % what)
    expect(seen["lastPicture"], "", "%s: remembered picture" % what)


@options(install_dir=False)
def test_load_without_install_dir_fails(bench):
    bench.write_settings(settings_bytes(r"C:\pictures"))
    expect(load(bench)["load"], "0", "load result without the registry value")


def test_install_dir_must_fit_its_buffer_with_terminator(bench):
    fits = "C:\\" + "d" * 251  # 254 characters and the NUL
    bench.reg_write(KEY, "Install_Dir", fits)
    seen = probe(bench, "installdir", 255)
    expect((seen["read"], seen["dir"]), ("1", fits), "254 characters in 255 bytes")

    too_long = fits + "e"
    bench.reg_write(KEY, "Install_Dir", too_long)
    expect(probe(bench, "installdir", 255)["read"], "0", "255 characters in 255 bytes")
    expect(load(bench)["load"], "0", "load with an install dir too long for its buffer")
    seen = probe(bench, "installdir", 260)
    expect((seen["read"], seen["dir"]), ("1", too_long), "the same value in 260 bytes")


def test_missing_short_or_locked_file_gives_defaults(bench):
    # "vellutor.fsl" is not consulted on the defaults path.
    bench.write_fsl(b"ab\0")
    seen = load(bench)
    expect_defaults(bench, seen, "no settings file")
    expect(seen["cwd"], seen["cwdBefore"], "current directory after loading (not moved)")
    expect(bench.read_settings(), None, "the file is not created by loading")

    bench.write_settings(settings_bytes(remember_picture=1, blur=7)[:15])
    expect_defaults(bench, load(bench), "a 15-byte file")

    # A file that cannot be opened for writing counts as missing.
    bench.write_settings(settings_bytes(r"C:\pictures", remember_picture=1, blur=7))
    holder = hold(bench, bench.install_dir + r"\vellutor.set")
    expect_defaults(bench, load(bench), "a file held without write sharing")
    holder.kill()


def test_record_without_folder_stops_the_start(bench):
    bench.write_settings(settings_bytes(blur=3))
    expect(load(bench)["load"], "0", "load result for a 16-byte file")

    bench.write_settings(settings_bytes("", blur=3))
    seen = load(bench)
    expect((seen["load"], seen["folder"]), ("1", ""), "a 17-byte file ending in NUL")
    expect(seen["record"], settings_bytes(blur=3), "record of the 17-byte file")


def test_saved_record_reads_back_exactly(bench):
    record = settings_bytes(drop_period=50, psychedelia=5, blur=10, remember_picture=1,
                            wallpaper_generator=1, wave_size=4, video_mode=0xFFFF, bmp=0,
                            bmp_cut=1, gif=0, gif_cut=0, jpeg=0, jpeg_cut=1, emf=1, emf_cut=1)
    folder = r"C:\My Pictures\holiday"
    expect(save(bench, record, folder), "1", "save result")
    expect(bench.read_settings(), record + folder.encode() + b"\0", "bytes of vellutor.set")
    expect(leftovers(bench), [], "files left beside vellutor.set")

    seen = load(bench)
    expect((seen["load"], seen["record"], seen["folder"]), ("1", record, folder),
           "record and folder read back")

    # Saving again replaces the file as a whole, shorter folder included.
    expect(save(bench, DEFAULTS, "D:\\"), "1", "second save result")
    expect(bench.read_settings(), DEFAULTS + b"D:\\\0", "bytes after the second save")
    expect(leftovers(bench), [], "files left after the second save")


def test_save_over_held_file_reports_the_file_and_keeps_it(bench):
    old = settings_bytes(r"C:\old pictures", blur=4)
    bench.write_settings(old)
    holder = hold(bench, bench.install_dir + r"\vellutor.set")
    seen = probe(bench, "save", settings_bytes(blur=9)[:16].hex(), r"C:\new")
    expect((seen["save"], seen["savedTo"], seen["saveError"] != "0"),
           ("0", bench.install_dir + r"\vellutor.set", True),
           "save while held (result, file, an error code)")
    holder.kill()
    expect(bench.read_settings(), old, "vellutor.set after a save it refused")
    expect(leftovers(bench), [], "files left after the refused save")


def test_save_where_no_new_file_can_be_made_keeps_the_old_one(bench):
    old = settings_bytes(r"C:\old pictures", blur=4)
    bench.write_settings(old)
    # A folder in the way of the new file's name: nothing can be written.
    os.mkdir(os.path.join(bench.unix_path(bench.install_dir), "vellutor.set.new"))
    expect(save(bench, settings_bytes(blur=9), r"C:\new"), "0", "save result")
    expect(bench.read_settings(), old, "vellutor.set after a save that could not write")


def test_remembered_picture_is_read_only_when_asked_for(bench):
    bench.write_fsl(b"ab\0")
    bench.write_settings(settings_bytes(r"C:\pictures", remember_picture=1))
    seen = load(bench)
    expect((seen["lastPicture"], seen["searchDone"]), ("ab", "0"), "3-byte file, remembering")

    bench.write_settings(settings_bytes(r"C:\pictures", remember_picture=0))
    seen = load(bench)
    expect((seen["lastPicture"], seen["searchDone"]), ("", "1"), "3-byte file, not remembering")

    bench.write_settings(settings_bytes(r"C:\pictures", remember_picture=1))
    bench.write_fsl(b"a\0")
    seen = load(bench)
    expect((seen["lastPicture"], seen["searchDone"]), ("", "1"), "2-byte file, remembering")

    bench.write_fsl(b"n" * 300)
    seen = load(bench)
    expect((seen["lastPicture"], seen["searchDone"]), ("n" * 255, "0"), "300-byte file cut")


def test_remembered_picture_is_written_whole_with_its_nul(bench):
    expect(probe(bench, "remember", "sunset.jpg")["remembered"], "1", "probe ran")
    expect(bench.read_fsl(), b"sunset.jpg\0", "vellutor.fsl after a picture was shown")

    probe(bench, "remember", "")
    expect(bench.read_fsl(), b"\0", "vellutor.fsl when no picture was shown")

    bench.write_fsl(b"old.gif\0")
    holder = hold(bench, bench.install_dir + r"\vellutor.fsl")
    probe(bench, "remember", "new.gif")
    holder.kill()
    expect(bench.read_fsl(), b"old.gif\0", "vellutor.fsl that could not be replaced")
    expect(leftovers(bench), [], "files left beside vellutor.fsl")


def saver_files_in(bench, folder):
    path = bench.unix_path(folder)
    names = os.listdir(path) if os.path.isdir(path) else []
    return sorted(n for n in names if n.lower().startswith(("vellutor.set", "vellutor.fsl")))


def test_install_dir_naming_a_missing_folder_gives_defaults_and_writes_nowhere(bench):
    bench.reg_write(KEY, "Install_Dir", r"C:\gone")
    # The probe starts in system32: a file there must not be taken for the saver's.
    bench.write_file(r"C:\windows\system32\vellutor.set", settings_bytes(r"C:\x", blur=9))
    seen = load(bench)
    expect((seen["load"], seen["record"], seen["folder"]), ("1", DEFAULTS, "C:\\gone\\images\\"),
           "load with the install folder gone")
    expect(seen["cwd"], seen["cwdBefore"], "current directory after loading")
    bench.delete_file(r"C:\windows\system32\vellutor.set")
    expect(save(bench, settings_bytes(blur=9), bench.images_dir), "0", "save result")
    probe(bench, "remember", "a.bmp")
    for folder in (r"C:\windows\system32", bench.images_dir, bench.install_dir, r"C:\gone"):
        expect(saver_files_in(bench, folder), [], "the saver's files in %s" % folder)


def test_install_dir_that_is_not_a_full_path_counts_as_missing(bench):
    for value in ("vellutor", r"C:vellutor", r"\vellutor", r"\\?\C:\vellutor"):
        bench.reg_write(KEY, "Install_Dir", value)
        expect(load(bench)["load"], "0", "load result with Install_Dir %r" % value)
        expect(save(bench, settings_bytes(blur=9), bench.images_dir), "0",
               "save result with Install_Dir %r" % value)
        probe(bench, "remember", "a.bmp")
        for folder in (r"C:\windows\system32", r"C:\windows\system32\vellutor",
                       "C:\\", bench.install_dir):
            expect(saver_files_in(bench, folder), [],
                   "the saver's files in %s with Install_Dir %r" % (folder, value))


def test_picture_folder_is_listed_by_full_path(bench):
    for folder, listed in ((r"D:\My Pictures", r"D:\My Pictures"),
                           (bench.images_dir, bench.images_dir),
                           ("pics", bench.install_dir + r"\pics"),
                           ("", bench.install_dir),
                           (r"\pics", r"C:\pics")):
        seen = probe(bench, "imagesfolder", folder)
        expect(seen["listed"], listed, "folder listed for %r" % folder)
