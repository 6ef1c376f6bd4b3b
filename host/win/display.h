// DirectDraw, the display mode, the surfaces and the render thread of a saver session.
#pragma once

#include "host/win/saver_session.h"

#include <windows.h>

// DirectDraw, the display mode, both surfaces and last the render thread, for the session's
// window. On failure the user is told, the window is destroyed and false comes back.
bool setupDisplay(SaverSession& session);
// Releases the surfaces and DirectDraw, if any.
void releaseDisplay(SaverSession& session);
// For a preview whose frame changed size: stops the render thread (waiting at most
// `boundMs`), makes a new picture surface of the target's size and starts the thread again.
// False, with the running thread and its surface kept, when the thread did not stop in time;
// false with no thread when no new surface could be made.
bool rebuildRendering(SaverSession& session, DWORD boundMs);
