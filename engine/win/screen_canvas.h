// The primary screen's canvas: the show drawn through DirectDraw (surface locks, the
// picture surface's device context, BltFast, lost surfaces and the vertical-blank pace).
// Nothing outside it and the pieces it owns touches DirectDraw on the render thread.
#pragma once

#include "engine/win/render_target.h"
#include "engine/win/renderer.h"

#include <memory>

// Makes a ScreenCanvas on `target`, whose objects outlive the render thread.
std::unique_ptr<CanvasMaker> screenCanvasMaker(const RenderTarget& target);
