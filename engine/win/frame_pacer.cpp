#include "engine/win/frame_pacer.h"

#include "engine/frame_schedule.h"
#include "engine/win/render_control.h"
#include "engine/win/test_seams.h"

#include <mmsystem.h>

#include <cstdio>
#include <cstring>

namespace {

// CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, which older headers and systems do not know.
constexpr DWORD highResolutionTimerFlag = 0x2;
// Waits for the blank timed at start, after the first one that lines up with it.
constexpr std::uint32_t blankWaitsMeasured = 3;
// The plain timer's fallback resolution while the pacer lives.
constexpr UINT timerPeriodMs = 1;
// A paced wait never takes longer than this, whatever the timer does.
constexpr DWORD paceWaitBoundMs = 250;
constexpr std::int64_t hundredNsPerSecond = 10000000;

std::int64_t performanceFrequency() {
    LARGE_INTEGER frequency;
    return QueryPerformanceFrequency(&frequency) && frequency.QuadPart > 0 ? frequency.QuadPart : 1;
}

std::int64_t performanceCounter() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

// Rates the test build can make every display report ("refresh-144" and so on).
constexpr std::uint32_t seamRefreshRates[] = {50, 75, 120, 144, 240};

std::uint32_t seamRefreshHz() {
    for (std::uint32_t hz : seamRefreshRates) {
        char name[16];
        std::snprintf(name, sizeof(name), "refresh-%u", static_cast<unsigned>(hz));
        if (testSeamArmed(name))
            return hz;
    }
    return 0;
}

std::uint32_t displayRefreshHz(HMONITOR monitor) {
    if (const std::uint32_t hz = seamRefreshHz())
        return hz;
    MONITORINFOEXA info = {};
    info.cbSize = sizeof(info);
    const char* device = nullptr;
    if (monitor && GetMonitorInfoA(monitor, &info))
        device = info.szDevice;
    DEVMODEA mode = {};
    mode.dmSize = sizeof(mode);
    if (!EnumDisplaySettingsA(device, ENUM_CURRENT_SETTINGS, &mode))
        return pacingRefreshHz(0);
    return pacingRefreshHz(mode.dmDisplayFrequency);
}

// True when `directDraw`'s blocking wait for the vertical blank takes the time of a refresh.
bool blankWaitIsReal(IDirectDraw2* directDraw) {
    if (!directDraw || FAILED(directDraw->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr)))
        return false;
    const std::int64_t began = performanceCounter();
    for (std::uint32_t wait = 0; wait < blankWaitsMeasured; ++wait) {
        if (FAILED(directDraw->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr)))
            return false;
    }
    return verticalBlankWaits(performanceCounter() - began, performanceFrequency(),
                              blankWaitsMeasured);
}

// The test build's pace log lives beside the program, whatever the current directory is.
HANDLE openPaceLog(const std::string& paceLogName) {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return INVALID_HANDLE_VALUE;
    char* slash = std::strrchr(path, '\\');
    if (!slash || static_cast<std::size_t>(slash + 1 - path) + paceLogName.size() >= MAX_PATH)
        return INVALID_HANDLE_VALUE;
    std::strcpy(slash + 1, paceLogName.c_str());
    return CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

void writeLine(HANDLE file, const char* text) {
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
}

} // namespace

FramePacer::FramePacer(IDirectDraw2* directDraw, RenderControl& control,
                       const std::string& paceLogName, HMONITOR monitor)
    : control_(control) {
    ticksPerSecond_ = performanceFrequency();
    refreshHz_ = displayRefreshHz(monitor);
    period_ = refreshPeriodTicks(ticksPerSecond_, refreshHz_);
    if (blankWaitIsReal(directDraw))
        directDraw_ = directDraw;
    timer_ = CreateWaitableTimerExW(nullptr, nullptr, highResolutionTimerFlag, TIMER_ALL_ACCESS);
    highResolution_ = timer_ != nullptr;
    if (!timer_) {
        timer_ = CreateWaitableTimerW(nullptr, FALSE, nullptr);
        timerPeriodRaised_ = timeBeginPeriod(timerPeriodMs) == TIMERR_NOERROR;
    }
    origin_ = now();
    clock_ = StepClock(ticksPerSecond_, refreshHz_, origin_);
    if (testSeamArmed("pace-log")) {
        paceLog_ = openPaceLog(paceLogName);
        if (paceLog_ != INVALID_HANDLE_VALUE) {
            char header[96];
            std::snprintf(header, sizeof(header), "refresh %u vblank %d timer %s\n",
                          static_cast<unsigned>(refreshHz_), directDraw_ ? 1 : 0,
                          highResolution_ ? "high" : "plain");
            writeLine(paceLog_, header);
        }
    }
}

FramePacer::~FramePacer() {
    if (paceLog_ != INVALID_HANDLE_VALUE)
        CloseHandle(paceLog_);
    if (timer_)
        CloseHandle(timer_);
    if (timerPeriodRaised_)
        timeEndPeriod(timerPeriodMs);
}

std::int64_t FramePacer::now() const {
    return performanceCounter();
}

void FramePacer::record(char kind) {
    if (paceLog_ == INVALID_HANDLE_VALUE)
        return;
    char line[48];
    const long long micros = (now() - origin_) * 1000000 / ticksPerSecond_;
    std::snprintf(line, sizeof(line), "%c %lld\n", kind, micros);
    writeLine(paceLog_, line);
}

void FramePacer::notePicture() {
    record('P');
}

bool FramePacer::waitOnTimer(std::int64_t dueAt) {
    const std::int64_t at = now();
    const std::int64_t ahead = dueAt > at ? dueAt - at : 0;
    LARGE_INTEGER due;
    // Relative due times are negative, in 100-ns units; never zero, which would not wait.
    due.QuadPart = -(ahead * hundredNsPerSecond / ticksPerSecond_ + 1);
    if (!timer_ || !SetWaitableTimer(timer_, &due, 0, nullptr, nullptr, FALSE))
        return control_.sleep(static_cast<DWORD>(ahead * 1000 / ticksPerSecond_));
    return control_.waitForTimer(timer_, paceWaitBoundMs);
}

bool FramePacer::waitForNextRefresh(PacedFrame frame) {
    record(static_cast<char>(frame));
    if (testSeamArmed("unpaced-frames"))
        return control_.checkpoint();
    const std::int64_t at = now();
    const std::int64_t due = clock_.nextStepAt(at);
    if (!directDraw_)
        return waitOnTimer(due);
    // A blank comes within one refresh; a pending stop or hold is answered first. The step
    // waits the blanks up to its refresh: one at 60 Hz, two or three in turn at 144 Hz.
    const std::int64_t blanks = (due - at + period_ - 1) / period_;
    for (std::int64_t blank = 0; blank < (blanks > 1 ? blanks : 1); ++blank) {
        if (!control_.checkpoint())
            return false;
        if (FAILED(directDraw_->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr)))
            return waitOnTimer(due);
    }
    return control_.checkpoint();
}
