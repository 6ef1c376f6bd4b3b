// Black, topmost, cursorless windows over every monitor but the primary, for the length
// of a full-screen run: a screen saver hides what is on every screen. Input on them ends
// the saver exactly as input on the saver window does.
#pragma once

#include "host/win/scoped.h"

#include <windows.h>

#include <vector>

constexpr const char* coverClassName = "VellutorCover";

class MonitorCovers {
  public:
    // Covers the monitors as they are now and hands their input to `saver`, which must
    // outlive the covers. Without a second monitor, or on failure, nothing is covered.
    MonitorCovers(HINSTANCE instance, HWND saver);
    ~MonitorCovers() = default;
    MonitorCovers(const MonitorCovers&) = delete;
    MonitorCovers& operator=(const MonitorCovers&) = delete;

    // Hides and destroys the covers at once (also done on destruction).
    void close() { windows_.clear(); }
    std::size_t count() const { return windows_.size(); }

  private:
    std::vector<ScopedWindow> windows_;
};
