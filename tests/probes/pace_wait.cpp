// The paced wait as a safe point, on a thread started as the saver starts its render thread.
//   probe_pace_wait
// Part 1, a wait whose timer is 10 s away: "hold_ms N" (the hold's return), "parked 1"
// when no wait returned while held, "stop_ms N" (the stop's return) and
// "far_result 0" (the wait reported the stop).
// Part 2, paced frames: "frames_before_hold N", "frames_while_held N" (none should go on
// the screen while held), "frames_after_release N", "paced_stop_ms N".
#include "engine/win/frame_pacer.h"
#include "engine/win/render_control.h"

#include <windows.h>

#include <cstdio>

namespace {

constexpr LONGLONG farAwayHundredNs = 10LL * 10000000LL;
constexpr DWORD farBoundMs = 20000;

struct FarWait {
    volatile LONG returns = 0;
    volatile LONG result = -1;
    RenderControl control;
};

struct PacedFrames {
    volatile LONG frames = 0;
    RenderControl control;
};

DWORD WINAPI waitFarAway(void* parameter) {
    FarWait& wait = *static_cast<FarWait*>(parameter);
    HANDLE timer = CreateWaitableTimerW(nullptr, FALSE, nullptr);
    LARGE_INTEGER due;
    due.QuadPart = -farAwayHundredNs;
    SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE);
    bool goOn = true;
    while (goOn) {
        goOn = wait.control.waitForTimer(timer, farBoundMs);
        InterlockedIncrement(&wait.returns);
        wait.result = goOn ? 1 : 0;
    }
    CloseHandle(timer);
    wait.control.threadEnded();
    return 0;
}

DWORD WINAPI playPacedFrames(void* parameter) {
    PacedFrames& paced = *static_cast<PacedFrames*>(parameter);
    {
        FramePacer pacer(nullptr, paced.control);
        while (pacer.waitForNextRefresh(PacedFrame::Ripple))
            InterlockedIncrement(&paced.frames);
    }
    paced.control.threadEnded();
    return 0;
}

DWORD millisecondsSince(DWORD start) {
    return GetTickCount() - start;
}

} // namespace

int main() {
    FarWait distant;
    HANDLE thread = distant.control.start(waitFarAway, &distant);
    Sleep(300);
    DWORD began = GetTickCount();
    distant.control.hold();
    std::printf("hold_ms %lu\n", millisecondsSince(began));
    Sleep(300);
    std::printf("parked %d\n", distant.returns == 0 ? 1 : 0);
    distant.control.release();
    Sleep(100);
    began = GetTickCount();
    const bool ended = distant.control.stop(thread, 5000);
    std::printf("stop_ms %lu\nfar_ended %d\nfar_result %ld\n", millisecondsSince(began),
                ended ? 1 : 0, distant.result);
    CloseHandle(thread);

    PacedFrames paced;
    volatile LONG& frames = paced.frames;
    thread = paced.control.start(playPacedFrames, &paced);
    Sleep(500);
    paced.control.hold();
    const LONG held = frames;
    std::printf("frames_before_hold %ld\n", held);
    Sleep(300);
    std::printf("frames_while_held %ld\n", frames - held);
    paced.control.release();
    Sleep(300);
    std::printf("frames_after_release %ld\n", frames - held);
    began = GetTickCount();
    const bool pacedEnded = paced.control.stop(thread, 5000);
    std::printf("paced_stop_ms %lu\npaced_ended %d\n", millisecondsSince(began),
                pacedEnded ? 1 : 0);
    CloseHandle(thread);
    return 0;
}
