#include "host/shutdown_plan.h"

bool runShutdown(ShutdownOnce& once, const ShutdownFacts& facts, ShutdownSteps& steps) {
    if (!once.claim())
        return false;
    const bool saver = facts.mode == RunMode::Saver;
    if (facts.hasRenderThread)
        steps.holdRender();
    if (saver && facts.wallpaperGenerator != 0 && facts.hasPrimarySurface)
        steps.captureFrame(facts.wallpaperGenerator == 1);
    if (saver && facts.videoMode != 0 && facts.hasDirectDraw && facts.displayModeChanged)
        steps.restoreDisplayMode();
    if (facts.hasRenderThread)
        steps.stopRenderThread();
    if (facts.mode != RunMode::Configure || facts.previewFolderSaved)
        steps.writeRememberedPicture();
    steps.minimizeWindow();
    return true;
}
