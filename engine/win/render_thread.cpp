#include "engine/win/render_thread.h"

#include "engine/win/render_control.h"

volatile std::uint8_t waveSurfaceValid = 1;

void closeFolderScan() {}

DWORD WINAPI runRenderThread(void*) {
    while (renderSleep(50)) {
    }
    renderThreadEnded();
    return 0;
}
