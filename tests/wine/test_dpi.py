"""The settings dialog at every DPI: at 96, 120, 144 and 192 DPI (Wine takes it from HKCU
"Control Panel\\Desktop" LogPixels) every caption fits its control on one line, and the
saver window fills the preview's frame; the preview follows a DPI change of the dialog."""

import pictures
from winebench import expect, options, wait_for

TITLE = "Vellutor - Settings"
PREVIEW = 1022
FONT_POINTS, FONT_FACE = 8, "Tahoma"


def check_layout(bench, dpi):
    saver = bench.start_scr("/c")
    dialog = bench.wait_window(title=TITLE, timeout=30, proc=saver)
    fit = bench.driver("textfit", dialog.hwnd, FONT_POINTS, FONT_FACE)
    expect(fit.int("dpi"), dpi, "the screen's DPI")
    expect(fit.values("misfit"), [],
           "captions that do not fit on one line at %d DPI (id, need w h, have w h, text)"
           % dpi)
    inner = bench.driver("inner", dialog.hwnd, PREVIEW)
    child_client = tuple(int(v) for v in inner.value("client").split())
    frame = tuple(int(v) for v in inner.value("control_client").split())
    expect(child_client, frame, "saver window's client against the preview's at %d DPI" % dpi)
    bench.driver("command", dialog.hwnd, 2)
    expect(saver.wait(30), 0, "exit code after Cancel")


@options(log_pixels=96)
def test_dialog_captions_fit_and_the_preview_fills_its_frame_at_96_dpi(bench):
    check_layout(bench, 96)


@options(log_pixels=120)
def test_dialog_captions_fit_and_the_preview_fills_its_frame_at_120_dpi(bench):
    check_layout(bench, 120)


@options(log_pixels=144)
def test_dialog_captions_fit_and_the_preview_fills_its_frame_at_144_dpi(bench):
    check_layout(bench, 144)


@options(log_pixels=192, width=1280, height=1024)
def test_dialog_captions_fit_and_the_preview_fills_its_frame_at_192_dpi(bench):
    check_layout(bench, 192)


WM_DPICHANGED = 0x02E0


def grab_is(bench, area, colour):
    shot = bench.screenshot().crop(*area)
    return all(pictures.close(shot.pixel(x, y), colour, 40)
               for y in range(0, shot.height, 4) for x in range(0, shot.width, 4))


def dpi_change_is_followed(bench, before_change=lambda: None):
    """Opens the dialog, scales it as a change to 144 DPI does and waits for the preview to
    fill the grown frame with the picture; `before_change` runs just before the change."""
    bench.add_picture("q.bmp", pictures.bmp_bytes(pictures.quadrants(320, 240)))
    bench.mousemove(bench.width // 2, bench.height // 3)  # the dialog opens around it
    saver = bench.start_scr("/c")
    dialog = bench.wait_window(title=TITLE, timeout=30, proc=saver)
    before = bench.driver("inner", dialog.hwnd, PREVIEW)
    before_change()
    width, height = (int(v) for v in before.value("control_client").split())
    # The system scales the dialog and its controls for 144 DPI, then the dialog hears of it.
    left, top, right, bottom = dialog.rect
    bench.driver("setsize", dialog.hwnd, 0, (right - left) * 3 // 2, (bottom - top) * 3 // 2)
    bench.driver("setsize", dialog.hwnd, PREVIEW, width * 3 // 2, height * 3 // 2)
    bench.driver("post", dialog.hwnd, WM_DPICHANGED, (144 << 16) | 144, 0)

    def fitted():
        inner = bench.driver("inner", dialog.hwnd, PREVIEW)
        return inner.value("client") == inner.value("control_client") and inner
    inner = wait_for(fitted, 10, "the saver window to fill the rescaled preview")
    expect(tuple(int(v) for v in inner.value("client").split()) != (width, height), True,
           "saver window resized from %d x %d" % (width, height))
    # The picture covers the grown frame: its bottom-right quadrant reaches the far corner,
    # which lies beyond the frame's old size.
    left, top, right, bottom = (int(v) for v in inner.value("rect").split())
    corner = (right - 40, bottom - 40, 24, 24)
    wait_for(lambda: grab_is(bench, corner, pictures.QUADRANT_COLOURS[3]), 30,
             "the picture's bottom-right colour in the grown frame's corner %r" % (corner,))
    bench.driver("command", dialog.hwnd, 2)
    expect(saver.wait(30), 0, "exit code after Cancel")


@options(log_pixels=96, width=1600, height=1200)
def test_preview_follows_the_frame_after_a_dpi_change(bench):
    dpi_change_is_followed(bench)


# The render thread answers neither the rebuild's hold nor its stop in time: the stop is taken
# back, the old preview goes on and the rebuild is tried again until it gets through.
@options(log_pixels=96, width=1600, height=1200, seams=["render-deaf"])
def test_preview_follows_the_frame_after_a_dpi_change_that_finds_the_render_thread_deaf(bench):
    deaf_log = bench.install_dir + "\\deaf.log"
    dpi_change_is_followed(bench, lambda: wait_for(lambda: bench.file_exists(deaf_log), 20,
                                                   "the render thread's deaf stretch"))
