// What the saver's ending does in each run mode, apart from how each step is done.
// Portable: no Windows header.
#pragma once

#include <atomic>
#include <cstdint>

enum class RunMode { Saver, Preview, Configure };

// What the shutdown decides from: the run and the settings as they stand at the end.
struct ShutdownFacts {
    RunMode mode = RunMode::Configure;
    std::uint8_t wallpaperGenerator = 0; // 0 off; 1 writes and installs the frame
    std::uint16_t videoMode = 0;         // 0 keeps the desktop's mode
    bool displayModeChanged = false;     // SetDisplayMode went through
    bool hasDirectDraw = false;
    bool hasPrimarySurface = false;
    bool hasRenderThread = false;
    // Configure mode: the preview ends on the folder the settings file holds. A picture of a
    // folder chosen and never saved would be looked for in vain in the saved one.
    bool previewFolderSaved = true;
};

// The steps, done by the Windows layer. Called in the order declared, each at most once.
class ShutdownSteps {
  public:
    virtual ~ShutdownSteps() = default;
    // Parks the render thread, so that no surface is locked while the frame is read.
    virtual void holdRender() = 0;
    // Copies the screen's frame; `install` writes it as the desktop wallpaper.
    virtual void captureFrame(bool install) = 0;
    virtual void restoreDisplayMode() = 0;
    virtual void stopRenderThread() = 0;
    // "vellutor.fsl", for the next start.
    virtual void writeRememberedPicture() = 0;
    virtual void minimizeWindow() = 0;
};

// The first of the saver's endings claims the shutdown; a key followed by WM_DESTROY, or
// the dialog destroying the window after a key, must not run it twice.
class ShutdownOnce {
  public:
    bool claim() { return !ran_.exchange(true); }
    bool claimed() const { return ran_.load(); }

  private:
    std::atomic<bool> ran_{false};
};

// Runs the steps that `facts` call for, unless a shutdown already ran; true when it ran.
// Only the full-screen saver captures a frame or puts the display mode back; the remembered
// picture is written in every mode, in configure mode only from the saved folder.
bool runShutdown(ShutdownOnce& once, const ShutdownFacts& facts, ShutdownSteps& steps);
