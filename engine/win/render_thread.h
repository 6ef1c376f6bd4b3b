// The render thread: walks the images folder and gives every picture its cycle of reveal
// and drops, drawing straight into the screen through DirectDraw.
#pragma once

#include <windows.h>

#include <cstdint>

// Thread entry; `settings` is the address of the live settings record.
DWORD WINAPI runRenderThread(void* settings);

// Cleared by the settings dialog to have the ripple resources rebuilt for a new wave size.
extern volatile std::uint8_t waveSurfaceValid;
// Closes the render thread's folder scan, so that its next picture comes from a new folder.
void closeFolderScan();
