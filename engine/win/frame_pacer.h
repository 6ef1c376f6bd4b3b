// Paces the render thread's frames by the show's clock, 60 steps a second, laid on the
// display's refreshes: after a frame is put on the screen, the thread waits for the refresh
// of the next step, so that every reveal step and every ripple frame stays visible for at
// least one refresh and a drop lasts as long on a 144 Hz display as on a 60 Hz one. The wait
// is a safe point of the render control: a stop or a hold is answered at once.
#pragma once

#include <windows.h>

#include <ddraw.h>

#include "engine/frame_schedule.h"

#include <cstdint>
#include <string>

class RenderControl;

enum class PacedFrame : char {
    Reveal = 'R',
    Ripple = 'F',
};

// Lives on the render thread (or a probe's stand-in for it) and is used there only.
class FramePacer {
  public:
    // Measures at once whether `directDraw`'s vertical-blank wait really waits (it takes a
    // few refreshes); if not, or without `directDraw`, frames are paced by a
    // high-resolution timer at the display's refresh rate: `monitor`'s, or the primary
    // display's without one. Its waits are safe points of `control`. The test build's pace
    // log goes to `paceLogName` beside the program.
    FramePacer(IDirectDraw2* directDraw, RenderControl& control,
               const std::string& paceLogName = "pace.log", HMONITOR monitor = nullptr);
    ~FramePacer();
    FramePacer(const FramePacer&) = delete;
    FramePacer& operator=(const FramePacer&) = delete;

    // Called once a frame is on the screen: returns at the refresh of the next step. False
    // once a stop was requested.
    bool waitForNextRefresh(PacedFrame frame);
    // A new picture's cycle begins (recorded by the test build's pace log only).
    void notePicture();

    std::uint32_t refreshHz() const { return refreshHz_; }
    bool usesVerticalBlank() const { return directDraw_ != nullptr; }
    bool highResolutionTimer() const { return highResolution_; }

  private:
    std::int64_t now() const;
    bool waitOnTimer(std::int64_t dueAt);
    void record(char kind);

    RenderControl& control_;
    IDirectDraw2* directDraw_ = nullptr; // set only when its wait for the blank is real
    HANDLE timer_ = nullptr;
    bool highResolution_ = false;
    bool timerPeriodRaised_ = false;
    std::uint32_t refreshHz_ = 0;
    std::int64_t ticksPerSecond_ = 1;
    std::int64_t period_ = 1;
    std::int64_t origin_ = 0;
    StepClock clock_{1, defaultRefreshHz, 0}; // set up with the display's rate
    HANDLE paceLog_ = INVALID_HANDLE_VALUE;   // the test build's record of paced frames
};
