#include "engine/win/renderer.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace {

// Tells waiting holds that the thread is gone, however it ends.
class EndNotice {
  public:
    explicit EndNotice(RenderControl& control) : control_(control) {}
    ~EndNotice() { control_.threadEnded(); }
    EndNotice(const EndNotice&) = delete;
    EndNotice& operator=(const EndNotice&) = delete;

  private:
    RenderControl& control_;
};

std::uint32_t seedFromClock() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return static_cast<std::uint32_t>(now.wDay + now.wHour + now.wMinute + now.wSecond);
}

// Shows started in the same second must not play the same sequence on every screen.
std::uint32_t seedFor(unsigned screen) {
    return seedFromClock() ^ (static_cast<std::uint32_t>(screen) * 0x9E3779B9u);
}

// Two pictures of two 3840 x 2160 screens: the primary's show comes to the second screen's
// picture a cycle and a half after it was fitted, when the second screen has fitted the next.
constexpr std::size_t shelfByteBudget = 2u * 3840u * 2160u * 4u;

} // namespace

SharedPictureShelf::SharedPictureShelf() : shelf_(shelfByteBudget) {}

bool SharedPictureShelf::put(const ShelfKey& key, const SurfaceView& pixels,
                             std::size_t keepAtMost) {
    CriticalSectionLock locked(lock_);
    return shelf_.put(key, pixels, keepAtMost);
}

bool SharedPictureShelf::copyTo(const ShelfKey& key, const SurfaceView& to) {
    CriticalSectionLock locked(lock_);
    return shelf_.copyTo(key, to);
}

void SharedPictureShelf::clear() {
    CriticalSectionLock locked(lock_);
    shelf_.clear();
}

Renderer::Renderer(unsigned screen, FolderResolver fullFolder, DecodeGate* sharedGate,
                   SharedPictureShelf* shelf)
    : screen_(screen), fullFolder_(fullFolder), control_(holdLogName_),
      decodeGate_(sharedGate ? *sharedGate : ownGate_), shelf_(shelf) {
    std::snprintf(holdLogName_, sizeof(holdLogName_), "%s", testLogName("hold").c_str());
}

std::string Renderer::testLogName(const char* stem) const {
    std::string name = stem;
    if (screen_ != 0)
        name += "-" + std::to_string(screen_);
    return name + ".log";
}

Renderer::~Renderer() {
    if (!thread_)
        return;
    control_.requestStop();
    WaitForSingleObject(thread_.get(), INFINITE);
}

void Renderer::remember(const char* name, bool searchDone, const SkippedPictures* skipped) {
    std::memset(rememberedName_, 0, sizeof(rememberedName_));
    std::memcpy(rememberedName_, name, strnlen(name, sizeof(rememberedName_) - 1));
    rememberedSearchDone_ = searchDone ? 1 : 0;
    skipped_ = skipped;
}

bool Renderer::start(std::unique_ptr<CanvasMaker> maker, int priority) {
    if (thread_ || !maker)
        return false;
    maker_ = std::move(maker);
    thread_.reset(control_.start(threadEntry, this, priority));
    return static_cast<bool>(thread_);
}

bool Renderer::stop(DWORD boundMs) {
    if (!thread_)
        return true;
    if (!control_.stop(thread_.get(), boundMs))
        return false;
    thread_.reset();
    return true;
}

DWORD WINAPI Renderer::threadEntry(void* self) {
    Renderer& renderer = *static_cast<Renderer*>(self);
    renderer.threadId_.store(GetCurrentThreadId(), std::memory_order_release);
    EndNotice endNotice(renderer.control_);
    try {
        renderer.runShow();
    } catch (...) {
        // Out of memory for a folder name or a settings copy: the show ends, the screen
        // keeps its frame.
    }
    return 0;
}

void Renderer::runShow() {
    ScopedComApartment com; // for the picture decoder, on this thread only
    std::unique_ptr<ShowCanvas> canvas = maker_->make(*this);
    if (!canvas)
        return;
    PictureShow show(*canvas, settings_.latest(),
                     {rememberedName_, &rememberedSearchDone_, skipped_, &underDecode_},
                     seedFor(screen_));
    show.run();
}

RendererSet::RendererSet(Renderer::FolderResolver fullFolder) : fullFolder_(fullFolder) {
    renderers_.push_back(std::make_unique<Renderer>(0, fullFolder, &decodeGate_, &pictureShelf_));
}

Renderer* RendererSet::add() {
    try {
        auto renderer = std::make_unique<Renderer>(static_cast<unsigned>(renderers_.size()),
                                                   fullFolder_, &decodeGate_, &pictureShelf_);
        // The shows share the folder and the settings as they stand now.
        const SettingsChange latest = primary().settings().latest();
        renderer->settings().seed(latest.record, latest.imagesFolder);
        renderers_.push_back(std::move(renderer));
        return renderers_.back().get();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void RendererSet::removeSecondaries() {
    for (std::size_t screen = 1; screen < renderers_.size(); ++screen)
        renderers_[screen]->askStop();
    // Each destructor waits for its own thread's end.
    renderers_.resize(1);
    // The next layout's screens may have other sizes.
    pictureShelf_.clear();
}

void RendererSet::holdAll(DWORD boundMs) {
    for (auto& renderer : renderers_)
        renderer->askHold();
    const DWORD deadline = GetTickCount() + boundMs;
    for (auto& renderer : renderers_)
        renderer->waitHeld(deadline);
}

void RendererSet::releaseAll() {
    for (auto& renderer : renderers_)
        renderer->release();
}

bool RendererSet::stopAll(DWORD boundMs) {
    for (auto& renderer : renderers_)
        renderer->askStop();
    const DWORD deadline = GetTickCount() + boundMs;
    bool all = true;
    for (auto& renderer : renderers_)
        all = renderer->waitEndedOrDetached(deadline) && all;
    return all;
}

bool RendererSet::anyThread() const {
    for (const auto& renderer : renderers_) {
        if (renderer->hasThread())
            return true;
    }
    return false;
}

const PictureUnderDecode* RendererSet::pictureUnderDecodeHere() const {
    for (const auto& renderer : renderers_) {
        if (renderer->onRenderThread())
            return &renderer->pictureUnderDecode();
    }
    return nullptr;
}

bool RendererSet::anyRunning() const {
    for (const auto& renderer : renderers_) {
        if (renderer->running())
            return true;
    }
    return false;
}
