// A renderer: one render thread playing one picture show on one screen's canvas, with the
// thread's hold/stop protocol, its settings mailbox and its remembered picture. The session
// owns one per screen; nothing of it is shared with another renderer.
#pragma once

#include "engine/picture_show.h"
#include "engine/picture_shelf.h"
#include "engine/show_settings.h"
#include "engine/skipped_pictures.h"
#include "engine/win/render_control.h"
#include "engine/win/settings_mailbox.h"
#include "resources/win/scoped.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class Renderer;

// One picture decoded at a time across the renderers of a session: a large picture takes
// hundreds of megabytes while it decodes, and a 32-bit process has room for one such at once.
class DecodeGate {
  public:
    void enter() { lock_.enter(); }
    void leave() { lock_.leave(); }

  private:
    CriticalSection lock_;
};

// The session's fitted pictures, for its renderers' threads to share: a screen of the same
// size as one that showed a picture a cycle earlier copies it instead of decoding it again.
class SharedPictureShelf {
  public:
    SharedPictureShelf();
    bool put(const ShelfKey& key, const SurfaceView& pixels, std::size_t keepAtMost);
    bool copyTo(const ShelfKey& key, const SurfaceView& to);
    void clear();

  private:
    CriticalSection lock_;
    PictureShelf shelf_;
};

// Makes what a renderer's show draws on. Called on the render thread as the show starts; the
// thread owns the canvas until the show ends. Null when there is nothing to draw on.
class CanvasMaker {
  public:
    virtual ~CanvasMaker() = default;
    virtual std::unique_ptr<ShowCanvas> make(Renderer& renderer) = 0;
};

class Renderer {
  public:
    // The images folder as a full path to list, from the folder as the settings file holds
    // it; "" when there is none.
    using FolderResolver = std::string (*)(const std::string& folder);

    // `screen` is 0 for the primary; it tells the renderers' shows and test logs apart.
    // `sharedGate`, which outlives the renderer, is taken around its decodes; without one
    // the renderer decodes alone behind a gate of its own. `shelf`, which outlives the
    // renderer too, holds the fitted pictures the session's screens share (none: no sharing).
    Renderer(unsigned screen, FolderResolver fullFolder, DecodeGate* sharedGate = nullptr,
             SharedPictureShelf* shelf = nullptr);
    // Waits for the thread's end: it uses every member. A thread that may still be inside a
    // decode is left to the process's end by the session, which then never gets here.
    ~Renderer();
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    unsigned screen() const { return screen_; }
    // The dialog's changes, and the record and folder each thread starts with.
    SettingsMailbox& settings() { return settings_; }
    FolderResolver folderResolver() const { return fullFolder_; }
    // A test-build log's file name: "<stem>.log" for the primary, "<stem>-<screen>.log" else.
    std::string testLogName(const char* stem) const;

    // The remembered picture: set before the first start; the show rewrites the name with
    // every picture shown. Read it once the thread is held, stopped or faulted. `skipped`
    // (may be null) names the pictures the walk passes by; it outlives the renderer.
    void remember(const char* name, bool searchDone, const SkippedPictures* skipped);
    const char* rememberedPicture() const { return rememberedName_; }
    // The picture the show is decoding now, for the fault backstop.
    const PictureUnderDecode& pictureUnderDecode() const { return underDecode_; }
    // True when the calling thread is this renderer's render thread.
    bool onRenderThread() const {
        return threadId_.load(std::memory_order_acquire) == GetCurrentThreadId();
    }
    // Where the show keeps it, for the canvas of a screen that starts further on from it.
    RememberedPicture rememberedSlot() { return {rememberedName_, &rememberedSearchDone_}; }
    const SkippedPictures* skippedPictures() const { return skipped_; }
    // Taken around every decode of the session's renderers.
    DecodeGate& decodeGate() { return decodeGate_; }
    // The session's shared fitted pictures; null when the renderer shares none.
    SharedPictureShelf* pictureShelf() { return shelf_; }

    // Starts the thread at `priority` on the canvases `maker` makes; false when no thread
    // could start. Only while no thread runs.
    bool start(std::unique_ptr<CanvasMaker> maker, int priority);
    // True from a start until the thread is forgotten after its stop.
    bool hasThread() const { return static_cast<bool>(thread_); }
    // True while the thread has started and not yet ended.
    bool running() const { return control_.running(); }

    // Holds: the thread stands at a safe point while at least one lasts (at most 3 s are
    // waited for it). askHold/waitHeld let a caller ask several renderers first.
    void hold() { control_.hold(); }
    void release() { control_.release(); }
    void askHold() { control_.askHold(); }
    void waitHeld(DWORD deadline) { control_.waitHeld(deadline); }

    // Stops. askStop and waitEndedOrDetached let a caller ask several renderers first and
    // wait against one deadline (a GetTickCount value); true when the thread ended or is
    // inside a decode, which the process's end may cut.
    void askStop() { control_.requestStop(); }
    bool waitEndedOrDetached(DWORD deadline) {
        return control_.waitEndedOrDetached(thread_.get(), deadline);
    }
    // Asks for a stop and waits at most `boundMs` for the end; true once it has ended, the
    // thread then being forgotten.
    bool stop(DWORD boundMs);
    // Takes back a stop the thread has not answered; false when it is already leaving.
    bool withdrawStop() { return control_.withdrawStop(); }
    // Drops the thread's handle after a stop, whether it ended or was left detached.
    void forgetThread() { thread_.reset(); }

    // For the canvas, on the render thread: the safe points, sleeps and detached stretches.
    RenderControl& control() { return control_; }

  private:
    static DWORD WINAPI threadEntry(void* self);
    void runShow();

    const unsigned screen_;
    const FolderResolver fullFolder_;
    // The test build's hold log: "hold.log" for the primary, "hold-<screen>.log" for others.
    char holdLogName_[24] = {};
    RenderControl control_;
    SettingsMailbox settings_;
    DecodeGate ownGate_;
    DecodeGate& decodeGate_; // the shared gate, or its own
    SharedPictureShelf* shelf_;
    char rememberedName_[lastPictureNameSize] = {};
    std::uint8_t rememberedSearchDone_ = 1;
    const SkippedPictures* skipped_ = nullptr;
    PictureUnderDecode underDecode_;
    std::atomic<DWORD> threadId_{0}; // the running render thread's, for the fault backstop
    std::unique_ptr<CanvasMaker> maker_;
    ScopedHandle thread_;
};

// A hold on one renderer for one scope, given back on every way out.
class RenderHold {
  public:
    explicit RenderHold(Renderer& renderer) : renderer_(renderer) { renderer_.hold(); }
    ~RenderHold() { renderer_.release(); }
    RenderHold(const RenderHold&) = delete;
    RenderHold& operator=(const RenderHold&) = delete;

  private:
    Renderer& renderer_;
};

// The renderers of a session, one per screen, the primary's first. Holds and stops are asked
// of every renderer first and then waited for against one deadline, so that ending never
// waits once per screen.
class RendererSet {
  public:
    // The primary's renderer is made at once: the dialog and the shutdown rely on it.
    explicit RendererSet(Renderer::FolderResolver fullFolder);
    RendererSet(const RendererSet&) = delete;
    RendererSet& operator=(const RendererSet&) = delete;

    Renderer& primary() { return *renderers_.front(); }
    const Renderer& primary() const { return *renderers_.front(); }
    // A renderer for the next screen; null when there is no memory for it.
    Renderer* add();
    // Stops and frees every renderer but the primary's, waiting for their ends.
    void removeSecondaries();
    std::size_t size() const { return renderers_.size(); }
    Renderer& operator[](std::size_t screen) { return *renderers_[screen]; }

    // Each renderer's thread at a safe point (or ended, or detached), waiting at most
    // `boundMs` in all; releaseAll gives every hold back.
    void holdAll(DWORD boundMs);
    void releaseAll();
    // Asks every thread to stop, then waits at most `boundMs` in all for each to end or be
    // inside a decode. True when every one did.
    bool stopAll(DWORD boundMs);
    // True while any thread has started and not yet ended.
    bool anyRunning() const;
    // True while any renderer holds a thread it started.
    bool anyThread() const;
    // The picture the calling thread's show is decoding, marked or not; null when the
    // calling thread is no renderer's.
    const PictureUnderDecode* pictureUnderDecodeHere() const;

  private:
    Renderer::FolderResolver fullFolder_;
    DecodeGate decodeGate_;           // outlives every renderer
    SharedPictureShelf pictureShelf_; // outlives every renderer
    std::vector<std::unique_ptr<Renderer>> renderers_;
};
