#include "engine/win/window_canvas.h"

#include "engine/drop_geometry.h"
#include "engine/patch_pixels.h"
#include "engine/win/render_control.h"
#include "engine/win/settings_mailbox.h"
#include "pictures/win/picture_loader.h"

#include <cstring>
#include <new>

namespace {

// The layout of the buffers: blue in bits 0-7, green 8-15, red 16-23, as the patches.
constexpr PixelLayout bufferLayout = {32, 0x00FF0000, 0x0000FF00, 0x000000FF};
constexpr std::uint32_t bufferBitCount = 32;

constexpr DecodeFence renderDecodeFence{renderDetach, renderAttach};

std::unique_ptr<std::uint32_t[]> patchBuffer(std::int32_t side) {
    return std::unique_ptr<std::uint32_t[]>(new (std::nothrow) std::uint32_t[side * side]());
}

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

WindowCanvas::WindowCanvas(HWND window, std::int32_t width, std::int32_t height,
                           SettingsMailbox& settings,
                           std::string (*fullFolder)(const std::string&), ScreenPlace place,
                           RememberedPicture remembered)
    : window_(window), width_(width), height_(height), settings_(settings),
      startRecord_(settings.latest().record),
      stillMs_(firstPictureStillMs(place.index, place.count, startRecord_)),
      folder_(fullFolder), detached_(folder_),
      staggered_(detached_, place.index, startRecord_, remembered.name, remembered.searchDone),
      pacer_(nullptr), waterHeap_(windowsSurfaceHeap), water_(waterHeap_) {
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

bool WindowCanvas::checkpoint() {
    return renderCheckpoint();
}

bool WindowCanvas::takeSettingsChange(SettingsChange& change) {
    return settings_.take(change);
}

std::int32_t WindowCanvas::loadPicture(const char* fileName, bool cutBackground) {
    return loadPictureToBitmap(picture_.dc(), width_, height_, folder_.pathOf(fileName).c_str(),
                               cutBackground, renderDecodeFence);
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
    const RevealOptions options = {request.cutBackground, request.scatterCount,
                                   request.channelMap,    request.psychedeliaLevel,
                                   renderShouldPause,     &random};
    const bool whole = ::revealStep(screen_.view(), bufferBitCount, picture_.view(), target,
                                    request.revealMap, options, progress);
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
    return renderSleep(stillPicture_ ? takeStill() : ms);
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
    patchPixels_ = patchBuffer(side);
    ripplePixels_ = patchBuffer(side);
    shownPixels_ = patchBuffer(side);
    shownValid_ = false;
    water_.init(side, side);
}

void WindowCanvas::releaseRipple() {
    patchPixels_.reset();
    ripplePixels_.reset();
    shownPixels_.reset();
    shownValid_ = false;
    water_.release();
}

// The patch as the screen shows it, bottom row first; what lies beyond the edge is black.
void WindowCanvas::capturePatch(const DropPlacement& drop) {
    const std::int32_t side = patchSide(preset_);
    const SurfaceView screen = screen_.view();
    const PatchClip clip = clipPatch(drop.patchLeft, drop.patchTop, side, width_, height_);
    std::memset(patchPixels_.get(), 0, static_cast<std::size_t>(side) * side * 4);
    for (std::int32_t row = clip.top; row < clip.top + clip.height; ++row) {
        const std::uint8_t* from = screen.bits +
                                   static_cast<std::size_t>(drop.patchTop + row) * screen.pitch +
                                   static_cast<std::size_t>(drop.patchLeft + clip.left) * 4;
        std::memcpy(patchPixels_.get() + static_cast<std::size_t>(side - 1 - row) * side +
                        clip.left,
                    from, static_cast<std::size_t>(clip.width) * 4);
    }
}

// A settling ripple repeats its frames: one already on the window is left out.
bool WindowCanvas::repeatsShownFrame() const {
    const std::int32_t side = patchSide(preset_);
    return shownValid_ && std::memcmp(shownPixels_.get(), ripplePixels_.get(),
                                      static_cast<std::size_t>(side) * side * 4) == 0;
}

void WindowCanvas::dropStep(RandomGenerator& random) {
    if (stillPicture_) {
        renderSleep(takeStill());
        return;
    }
    if (!ready() || !patchPixels_ || !ripplePixels_ || !shownPixels_ || !water_.ready())
        return;
    DropPlacement drop;
    if (!planDrop(width_, height_, preset_.patchHalf, drop, random))
        return;
    water_.clear();
    water_.addDrop(drop.dx, drop.dy, preset_.dropRadius, preset_.dropStrength, water_.current,
                   random);
    capturePatch(drop);
    shownValid_ = false;

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
        if (!renderCheckpoint())
            return;
        water_.advance(patchPixels_.get(), ripplePixels_.get());
        if (!repeatsShownFrame()) {
            putPatch(ripplePixels_.get(), side, clip, at, screen.pitch, bufferLayout);
            present(put.left, put.top, put.right, put.bottom);
            std::memcpy(shownPixels_.get(), ripplePixels_.get(),
                        static_cast<std::size_t>(side) * side * 4);
            shownValid_ = true;
        }
        if (!pacer_.waitForNextRefresh(PacedFrame::Ripple))
            return;
    }
}
