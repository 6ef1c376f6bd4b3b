// Topmost, cursorless windows over every monitor but the primary, for the length of a
// full-screen run: a screen saver hides what is on every screen. Each shows a picture show
// of its own, or stays black. Input on them ends the saver exactly as input on the saver
// window does.
#pragma once

#include "host/monitor_layout.h"
#include "resources/win/scoped.h"

class Renderer;
class RendererSet;

#include <windows.h>

#include <vector>

constexpr const char* coverClassName = "VellutorCover";
// Posted to the saver's thread when the monitors changed (one plugged in or out, a display
// woken, a mode change): the loop that owns the covers then has them made anew.
constexpr UINT monitorsChangedMessage = WM_APP + 2;

class MonitorCovers {
  public:
    // Covers the monitors as they are now and hands their input to `saver`, which must
    // outlive the covers. Without a second monitor, or on failure, nothing is covered. With
    // `shows`, every cover gets a renderer of that set, which must outlive the covers;
    // without, or where a show cannot start, the cover stays black.
    MonitorCovers(HINSTANCE instance, HWND saver, RendererSet* shows);
    // The shows are stopped by then (the shutdown asks every renderer); one still inside a
    // decode draws nothing more and ends with the process.
    ~MonitorCovers() = default;
    MonitorCovers(const MonitorCovers&) = delete;
    MonitorCovers& operator=(const MonitorCovers&) = delete;

    // Covers the monitors as they are now, in place of the earlier covers, when they differ
    // from those the covers were made for: a wake or a broadcast changes nothing. The old
    // shows end, their threads waited for, before their windows go.
    void refresh();
    std::size_t count() const { return windows_.size(); }

  private:
    void cover(const std::vector<MonitorEntry>& monitors);
    void startShow(HWND window, const MonitorRect& monitor, std::uint32_t index,
                   std::uint32_t count);
    std::vector<MonitorEntry> currentMonitors();

    HINSTANCE instance_;
    HWND saver_;
    RendererSet* shows_;
    std::vector<ScopedWindow> windows_;
    // The monitors as the covers were made for them.
    std::vector<MonitorEntry> layout_;
    // The test build's count of looks at the monitors.
    unsigned looks_ = 0;
};
