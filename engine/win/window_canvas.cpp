#include "engine/win/window_canvas.h"

#include "engine/drop_geometry.h"
#include "engine/patch_pixels.h"
#include "engine/win/test_seams.h"
#include "pictures/win/picture_loader.h"

#include <cstring>

namespace {

// The layout of the buffers: blue in bits 0-7, green 8-15, red 16-23, as the patches.
constexpr PixelLayout bufferLayout = {32, 0x00FF0000, 0x0000FF00, 0x000000FF};
constexpr std::uint32_t bufferBitCount = 32;

} // namespace

bool PixelBuffer::make(std::int32_t width, std::int32_t height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down: row 0 first, as a locked surface
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = bufferBitCount;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    ScopedBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    ScopedMemoryDC dc(CreateCompatibleDC(nullptr));
    if (!bitmap || !dc || !bits || !SelectObject(dc.get(), bitmap.get()))
        return false;
    bitmap_ = std::move(bitmap);
    dc_ = std::move(dc);
    bits_ = bits;
    width_ = width;
    height_ = height;
    return true;
}

void PixelBuffer::reset() {
    dc_.reset();
    bitmap_.reset();
    bits_ = nullptr;
    width_ = height_ = 0;
}

WindowCanvas::WindowCanvas(Renderer& renderer, HWND window, std::int32_t width, std::int32_t height,
                           ScreenPlace place)
    : RendererCanvas(renderer), window_(window), width_(width), height_(height),
      screenCount_(place.count), startRecord_(renderer.settings().latest().record),
      stillMs_(firstPictureStillMs(place.index, place.count, startRecord_)),
      staggered_(RendererCanvas::listing(), place.index, startRecord_,
                 renderer.rememberedSlot().name, renderer.rememberedSlot().searchDone,
                 renderer.skippedPictures()),
      // Its own timer: a window has no vertical blank to wait for.
      pacer_(nullptr, renderer.control(), renderer.testLogName("pace"),
             MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST)),
      waterHeap_(windowsSurfaceHeap), water_(waterHeap_),
      heap_(HeapCreate(HEAP_NO_SERIALIZE, 0, 0)) {
    // Made at start, in one piece: a 32-bit process may not find two more screens' worth
    // of memory later.
    if (width > 0 && height > 0 && screen_.make(width, height) && picture_.make(width, height)) {
        // What the window shows before the first step: black, like the cover it was.
        std::memset(screen_.view().bits, 0, static_cast<std::size_t>(width) * height * 4);
        return;
    }
    screen_.reset();
    picture_.reset();
}

WindowCanvas::~WindowCanvas() {
    releaseRipple();
}

std::int32_t WindowCanvas::loadPicture(const char* fileName, PictureFormat format,
                                       bool cutBackground) {
    faultIfDecodeSeamArmed(fileName);
    // The screens further on in the listing fit each picture before this one comes to it.
    const ShelfKey key = shelfKey(fileName, cutBackground);
    if (copyFromShelf(format, key, picture_.view()))
        return 0;
    const std::int32_t loaded = loadPictureToBitmap(
        picture_.dc(), width_, height_, key.path.c_str(), format, cutBackground, decodeFence());
    if (loaded == 0)
        putOnShelf(format, key, picture_.view(), screenCount_);
    return loaded;
}

void WindowCanvas::pictureStarted(bool shown) {
    if (!shown)
        return;
    pacer_.notePicture();
    stillPicture_ = !anyShown_;
    anyShown_ = true;
}

RevealDraw WindowCanvas::revealStep(const RevealRequest& request, RevealProgress& progress,
                                    RandomGenerator& random) {
    if (!ready())
        return RevealDraw::NoSurface;
    const TargetGeometry target = {0, 0, width_, height_, 0, 0};
    const bool whole = ::revealStep(screen_.view(), bufferBitCount, picture_.view(), target,
                                    request.revealMap, revealOptions(request, random), progress);
    // Drawn pixels lie anywhere: the whole screen goes out, also after a part of a step.
    present(0, 0, width_, height_);
    return whole ? RevealDraw::Finished : RevealDraw::Interrupted;
}

bool WindowCanvas::waitForNextRefresh() {
    return pacer_.waitForNextRefresh(PacedFrame::Reveal);
}

std::uint32_t WindowCanvas::takeStill() {
    const std::uint32_t still = stillMs_;
    stillMs_ = 0;
    return still;
}

bool WindowCanvas::sleep(std::uint32_t ms) {
    return RendererCanvas::sleep(stillPicture_ ? takeStill() : ms);
}

void WindowCanvas::present(std::int32_t left, std::int32_t top, std::int32_t right,
                           std::int32_t bottom) {
    ScopedWindowDC dc(window_);
    if (dc)
        BitBlt(dc.get(), left, top, right - left, bottom - top, screen_.dc(), left, top, SRCCOPY);
}

void WindowCanvas::prepareRipple(std::uint8_t waveSize) {
    preset_ = dropPresetFor(waveSize);
    const std::int32_t side = patchSide(preset_);
    if (heap_)
        buffers_.make(heap_.get(), side);
    water_.init(side, side);
}

void WindowCanvas::releaseRipple() {
    buffers_.release();
    water_.release();
}

// The patch as the screen shows it, bottom row first; what lies beyond the edge is black.
void WindowCanvas::capturePatch(const DropPlacement& drop) {
    const std::int32_t side = patchSide(preset_);
    const SurfaceView screen = screen_.view();
    const PatchClip clip = clipPatch(drop.patchLeft, drop.patchTop, side, width_, height_);
    std::memset(buffers_.patch(), 0, static_cast<std::size_t>(side) * side * 4);
    for (std::int32_t row = clip.top; row < clip.top + clip.height; ++row) {
        const std::uint8_t* from = screen.bits +
                                   static_cast<std::size_t>(drop.patchTop + row) * screen.pitch +
                                   static_cast<std::size_t>(drop.patchLeft + clip.left) * 4;
        std::memcpy(buffers_.patch() + static_cast<std::size_t>(side - 1 - row) * side + clip.left,
                    from, static_cast<std::size_t>(clip.width) * 4);
    }
}

void WindowCanvas::dropStep(RandomGenerator& random) {
    if (stillPicture_) {
        RendererCanvas::sleep(takeStill());
        return;
    }
    if (!ready() || !buffers_.ready() || !water_.ready())
        return;
    DropPlacement drop;
    if (!dropOnStillWater(water_, preset_, width_, height_, drop, random))
        return;
    capturePatch(drop);
    buffers_.forgetShown();

    const std::int32_t side = patchSide(preset_);
    const DropRect& put = drop.dropRect;
    // Only the drop's rectangle goes back: the patch without its outermost pixels.
    const PatchClip clip = {put.left - drop.patchLeft, put.top - drop.patchTop,
                            put.right - put.left, put.bottom - put.top};
    if (clip.width <= 0 || clip.height <= 0)
        return;
    const SurfaceView screen = screen_.view();
    std::uint8_t* at = screen.bits + static_cast<std::size_t>(put.top) * screen.pitch +
                       static_cast<std::size_t>(put.left) * 4;
    const std::int32_t frames = framesPerDrop(preset_);
    for (std::int32_t frame = 0; frame < frames; ++frame) {
        if (!checkpoint())
            return;
        water_.advance(buffers_.patch(), buffers_.ripple());
        if (!buffers_.repeatsShown(put.left, put.top)) {
            putPatch(buffers_.ripple(), side, clip, at, screen.pitch, bufferLayout);
            present(put.left, put.top, put.right, put.bottom);
            buffers_.noteShown(true, put.left, put.top);
        }
        if (!pacer_.waitForNextRefresh(PacedFrame::Ripple))
            return;
    }
}

namespace {

class WindowCanvasMaker : public CanvasMaker {
  public:
    WindowCanvasMaker(HWND window, std::int32_t width, std::int32_t height, ScreenPlace place)
        : window_(window), width_(width), height_(height), place_(place) {}
    std::unique_ptr<ShowCanvas> make(Renderer& renderer) override {
        if (width_ <= 0 || height_ <= 0)
            return nullptr;
        auto canvas = std::make_unique<WindowCanvas>(renderer, window_, width_, height_, place_);
        if (!canvas->ready())
            return nullptr;
        return canvas;
    }

  private:
    HWND window_;
    std::int32_t width_;
    std::int32_t height_;
    ScreenPlace place_;
};

} // namespace

std::unique_ptr<CanvasMaker> windowCanvasMaker(HWND window, std::int32_t width, std::int32_t height,
                                               ScreenPlace place) {
    return std::make_unique<WindowCanvasMaker>(window, width, height, place);
}
