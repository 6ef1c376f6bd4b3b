// One run of the saver. WinMain makes it and it lives until the process ends. It owns the
// run's display, its renderers (one per screen, the primary's first) and the settings as
// loaded; the saver window, the dialog's preview and the shutdown reach them through it.
#pragma once

#include "engine/reveal.h"
#include "engine/win/render_target.h"
#include "engine/win/renderer.h"
#include "host/display_power.h"
#include "host/shutdown_plan.h"
#include "host/win/display.h"
#include "host/win/display_power_notify.h"
#include "settings/win/settings_store.h"

#include <windows.h>

#include <string>
#include <utility>

// Test build: the order in which the run's parts go, one line each, beside the program.
constexpr const char* teardownLogSeam = "teardown-log";
constexpr const char* teardownLogName = "teardown.log";

class SaverSession {
  public:
    SaverSession(HINSTANCE module, bool fullScreen, bool inPreview);
    ~SaverSession();
    SaverSession(const SaverSession&) = delete;
    SaverSession& operator=(const SaverSession&) = delete;

    // The run mode: /s, /p, or neither for the settings dialog.
    // Both flags may be given: the preview's window and loop, the full screen's input.
    bool saver() const { return saver_; }
    bool preview() const { return preview_; }
    bool configure() const { return !saver_ && !preview_; }
    RunMode mode() const {
        return saver_ ? RunMode::Saver : preview_ ? RunMode::Preview : RunMode::Configure;
    }
    // Where the saver's resources come from.
    HINSTANCE instance() const { return instance_; }

    // The windows of the run, set by the main thread as they are made.
    HWND parent() const { return parent_; }
    void setParent(HWND parent) { parent_ = parent; }
    HWND window() const { return window_; }
    void setWindow(HWND window) { window_ = window; }
    HWND dialog() const { return dialog_; }
    void setDialog(HWND dialog) { dialog_ = dialog; }

    // The screen rectangle the primary's show fills and the screen position of the client
    // origin of the window it was measured from.
    TargetPlace& place() { return place_; }
    TargetGeometry target() const { return place_.get(); }
    void setTarget(const TargetGeometry& place) { place_.set(place); }
    bool measure(HWND measured) { return place_.measure(measured); }

    // The primary's DirectDraw display. Released only by a failed set-up or with the
    // session: a render thread may outlive the message loop.
    ScreenDisplay& display() { return display_; }
    const ScreenDisplay& display() const { return display_; }

    RendererSet& renderers() { return renderers_; }
    const RendererSet& renderers() const { return renderers_; }

    // The record, folder and remembered picture as loaded. The remembered picture then
    // belongs to the primary's renderer, whose show rewrites it.
    const StoredSettings& stored() const { return stored_; }
    // Loads the settings and hands them to the renderers; false when they cannot be read.
    bool loadStored();
    // The primary's remembered picture, as the shutdown writes it, and the picture the
    // calling render thread's show is decoding, as a fault on that thread records it (null
    // on any other thread).
    const char* rememberedPicture() const { return renderers_.primary().rememberedPicture(); }
    const PictureUnderDecode* pictureUnderDecodeHere() const {
        return renderers_.pictureUnderDecodeHere();
    }

    // The shutdown runs once, whichever message starts it.
    ShutdownOnce& shutdownOnce() { return shutdownOnce_; }
    // A wallpaper that no file would take. Noted by the shutdown, which runs inside the
    // window procedure, and told once the message loop has ended: a message box shown from
    // the window procedure would sit behind the topmost saver window and be closed at once
    // by the quit that follows.
    // The notice names the files and the reasons; empty when there is none.
    void noteWallpaperNotice(std::string failures) { wallpaperNotice_ = std::move(failures); }
    std::string takeWallpaperNotice() { return std::exchange(wallpaperNotice_, std::string()); }

    // The full-screen window registers for the display's power notifications; what one of
    // them says holds every renderer at its next safe point while the display is off, and
    // lets them go on where they were once it is on or dimmed. Window thread only; the
    // window thread never waits for the holds, so input still ends the run at once.
    void watchDisplayPower(HWND window) { displayPower_ = DisplayPowerNotifications(window); }
    void displayStateChanged(DisplayState state);

  private:
    const bool saver_;
    const bool preview_;
    const HINSTANCE instance_;
    HWND parent_ = nullptr;
    HWND window_ = nullptr;
    HWND dialog_ = nullptr;
    TargetPlace place_;
    StoredSettings stored_;
    ShutdownOnce shutdownOnce_;
    std::string wallpaperNotice_;
    DisplayPowerNotifications displayPower_;
    DisplayPowerHold displayHold_;
    // Last: the renderers' threads draw on the display, so they go first.
    ScreenDisplay display_;
    RendererSet renderers_;
};
