// The settings dialog "Vellutor - Settings" with the live preview inside it.
#pragma once

#include "engine/win/renderer.h"
#include "settings/dialog_controls.h"

#include <windows.h>

#include <string>
#include <vector>

// What became of a preview's rebuild for a frame of a new size.
enum class PreviewRebuild {
    Done,   // a new picture surface and a new render thread
    Later,  // the thread did not stop in time: it goes on as before; try again later
    Failed, // no display, or no new surface could be made: the preview shows nothing
};

// What the dialog asks of the saver that runs in its preview. The saver sits above the
// dialog, so it hands this in; it outlives the dialog.
class SettingsPreview {
  public:
    virtual ~SettingsPreview() = default;
    // The preview's renderer: its holds keep the preview still, its mailbox takes the
    // dialog's changes and holds the record and folder the dialog starts with.
    virtual Renderer& renderer() = 0;
    // Has the saver draw on `frame`'s client area, whose screen rectangle comes back in
    // `placed`; false when the window is gone.
    virtual bool measure(HWND frame, PreviewRect& placed) = 0;
    // For a frame of a new size: a picture surface of that size and a new render thread,
    // waiting at most `boundMs` for the old one.
    virtual PreviewRebuild rebuild(DWORD boundMs) = 0;
    // Starts the browser on the home page; false when nothing started.
    virtual bool openHomePage() = 0;
};

// Creates the modeless dialog from the template SETUP; null when it cannot be made.
HWND createSettingsDialog(HINSTANCE instance, SettingsPreview& preview);

// Puts the display modes after "current" in the dialog's list and selects entry `selected`
// (0 is "current").
void showDisplayModes(HWND dialog, const std::vector<std::string>& modes, int selected);
