// The settings dialog "Vellutor - Settings" with the live preview inside it.
#pragma once

#include "engine/win/settings_mailbox.h"
#include "settings/dialog_controls.h"

#include <windows.h>

// What the dialog asks of the saver that runs in its preview. The saver sits above the
// dialog, so it hands these in; they must outlive the dialog.
struct PreviewHost {
    // Handed back to each call.
    void* owner;
    // Has the saver draw on `preview`'s client area, whose screen rectangle comes back in
    // `placed`; false when the window is gone.
    bool (*measure)(void* owner, HWND preview, PreviewRect& placed);
    // True while the preview has a render thread to tell of changes.
    bool (*rendering)(void* owner);
    // For a frame of a new size: a picture surface of that size and a new render thread,
    // waiting at most `boundMs` for the old one.
    bool (*rebuild)(void* owner, DWORD boundMs);
    // Starts the browser on the home page; false when nothing started.
    bool (*openHomePage)();
    // Where the dialog's changes go, and the record and folder it starts with.
    SettingsMailbox* settings;
};

// Creates the modeless dialog from the template SETUP; null when it cannot be made.
HWND createSettingsDialog(HINSTANCE instance, const PreviewHost& host);

// The combo box's watcher: keeps the preview still while the list is open, and at least
// half a second. `comboBox` is the combo box's window handle.
DWORD WINAPI dropListWatcher(void* comboBox);
