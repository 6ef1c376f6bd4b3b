// The render thread: plays the picture show on the screen through DirectDraw.
#pragma once

#include <windows.h>

// Thread entry; `job` is the address of the RenderJob, which outlives the thread.
DWORD WINAPI runRenderThread(void* job);
