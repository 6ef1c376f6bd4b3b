// What the render thread draws with and on. The host fills it before the thread starts and
// keeps every object it names alive until the thread has ended.
#pragma once

#include "engine/reveal.h"
#include "engine/skipped_pictures.h"

#include <windows.h>

#include <ddraw.h>

#include <cstdint>
#include <string>

struct RenderTarget {
    IDirectDraw2* directDraw;
    IDirectDrawSurface3* screen;  // the primary surface
    IDirectDrawSurface3* picture; // off screen, of the target's size
    // The target's place on the screen now, from its owner: a preview moves with its
    // dialog while the thread runs, so it is asked for at every draw.
    TargetGeometry (*place)(const void* owner);
    const void* owner;
    // The saver's window: a show that cannot go on asks it to close.
    HWND window = nullptr;

    TargetGeometry where() const { return place(owner); }
};

class SettingsMailbox;

struct RenderJob {
    RenderTarget target;
    // The dialog's changes, and the record and folder each thread starts with.
    SettingsMailbox* settings;
    // The remembered picture's name (lastPictureNameSize bytes) and whether the first scan
    // still has to look for it.
    char* lastPictureName;
    std::uint8_t* lastPictureSearchDone;
    // Pictures the walk passes by, and the one it is decoding, for the fault backstop.
    const SkippedPictures* skippedPictures;
    PictureUnderDecode* pictureUnderDecode;
    // The images folder as a full path to list, from the folder as the settings file holds
    // it; "" when there is none. Asked at every new scan.
    std::string (*fullFolder)(const std::string& folder);
};
