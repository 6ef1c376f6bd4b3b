// The primary screen's DirectDraw display: the DirectDraw object, the display mode, the
// primary and picture surfaces, and the glue that starts the primary's renderer on them.
#pragma once

#include "engine/win/render_target.h"
#include "resources/win/scoped.h"
#include "settings/win/settings_dialog.h"

#include <windows.h>

#include <ddraw.h>

#include <cstdint>
#include <string>
#include <vector>

class SaverSession;

class ScreenDisplay {
  public:
    ScreenDisplay() = default;
    ScreenDisplay(const ScreenDisplay&) = delete;
    ScreenDisplay& operator=(const ScreenDisplay&) = delete;

    // DirectDraw for `window`. Full screen, `videoMode` numbers the listed mode to set (0 or
    // a number that names no mode keeps the desktop's) and `place` becomes that mode's size;
    // otherwise the modes are only listed. False on failure.
    bool open(HWND window, bool fullScreen, std::uint16_t videoMode, TargetPlace& place);
    // Both surfaces for a target of `place`'s size. False on failure.
    bool createSurfaces(const TargetGeometry& place);
    // A new picture surface of `place`'s size, in place of the old one.
    bool remakePictureSurface(const TargetGeometry& place);
    // Releases the surfaces and DirectDraw, if any.
    void release();
    // Puts the desktop's mode back, when this display changed it.
    void restoreMode();

    // The modes "<width>x<height>x<depth>" at 16, 24 and 32 bits, as the dialog lists them
    // (numbered from 1 in this order); filled by open() outside full screen.
    const std::vector<std::string>& modes() const { return modes_; }
    bool modeChanged() const { return modeChanged_; }
    IDirectDraw2* directDraw() const { return directDraw_.get(); }
    IDirectDrawSurface3* primarySurface() const { return primarySurface_.get(); }
    // What the primary's canvas draws on, for `window` at `place`.
    RenderTarget target(const TargetPlace& place, HWND window) const {
        return {directDraw_.get(), primarySurface_.get(), pictureSurface_.get(), &place, window};
    }

  private:
    bool createDirectDraw();
    bool chooseMode(HWND window, bool fullScreen, std::uint16_t videoMode, TargetPlace& place);
    bool createPictureSurface(const TargetGeometry& place);

    ComPtr<IDirectDraw2> directDraw_;
    ComPtr<IDirectDrawSurface3> primarySurface_;
    ComPtr<IDirectDrawSurface3> pictureSurface_;
    std::vector<std::string> modes_;
    // True once SetDisplayMode changed the mode, so that the shutdown puts it back.
    bool modeChanged_ = false;
    // DirectDraw's library, loaded at the first set-up and kept for the process's life: a
    // render thread left inside a decode may still hold DirectDraw objects at the end.
    HMODULE library_ = nullptr;
};

// DirectDraw, the display mode, both surfaces and last the primary's render thread, for the
// session's window. On failure the user is told, the window is destroyed and false comes
// back.
bool setupDisplay(SaverSession& session);

// Stops the primary's render thread (waiting at most `boundMs`), makes a new picture surface
// of the target's size and starts the thread again.
PreviewRebuild rebuildRendering(SaverSession& session, DWORD boundMs);
