// The DirectDraw objects of the saver: set up once by the saver window, used by the render
// thread and the shutdown. They are plain interface pointers on purpose: they must outlive
// the render thread, so only a failed set-up or the end of the program releases them.
#pragma once

#include <windows.h>

#include <ddraw.h>

extern IDirectDraw2* directDraw;
extern IDirectDrawSurface3* primarySurface;
extern IDirectDrawSurface3* pictureSurface;
extern HANDLE renderThreadHandle;
extern DWORD chosenBitDepth;
// True once SetDisplayMode changed the mode, so that the shutdown puts it back.
extern bool displayModeChanged;

// DirectDraw, the display mode, both surfaces and last the render thread, for `window`.
// On failure the user is told, the window is destroyed and false comes back.
bool setupDisplay(HWND window);
// Releases the surfaces and DirectDraw, if any.
void releaseDisplay();
// For a preview whose frame changed size: stops the render thread (waiting at most
// `boundMs`), makes a new picture surface of TargetRect's size and starts the thread again.
// False, with the running thread and its surface kept, when the thread did not stop in time;
// false with no thread when no new surface could be made.
bool rebuildRendering(DWORD boundMs);
