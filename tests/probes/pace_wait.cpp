// The paced wait as a safe point, on a thread started as the saver starts its render thread.
//   probe_pace_wait
// Part 1, a wait whose timer is 10 s away: "hold_ms N" (holdRender's return), "parked 1"
// when no wait returned while held, "stop_ms N" (stopRenderThread's return) and
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
};

DWORD WINAPI waitFarAway(void* parameter) {
    FarWait& wait = *static_cast<FarWait*>(parameter);
    HANDLE timer = CreateWaitableTimerW(nullptr, FALSE, nullptr);
    LARGE_INTEGER due;
    due.QuadPart = -farAwayHundredNs;
    SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE);
    bool goOn = true;
    while (goOn) {
        goOn = renderWaitForTimer(timer, farBoundMs);
        InterlockedIncrement(&wait.returns);
        wait.result = goOn ? 1 : 0;
    }
    CloseHandle(timer);
    renderThreadEnded();
    return 0;
}

DWORD WINAPI playPacedFrames(void* parameter) {
    volatile LONG& frames = *static_cast<volatile LONG*>(parameter);
    {
        FramePacer pacer(nullptr);
        while (pacer.waitForNextRefresh(PacedFrame::Ripple))
            InterlockedIncrement(&frames);
    }
    renderThreadEnded();
    return 0;
}

DWORD millisecondsSince(DWORD start) {
    return GetTickCount() - start;
}

} // namespace

int main() {
    FarWait distant;
    HANDLE thread = startRenderThread(waitFarAway, &distant);
    Sleep(300);
    DWORD began = GetTickCount();
    holdRender();
    std::printf("hold_ms %lu\n", millisecondsSince(began));
    Sleep(300);
    std::printf("parked %d\n", distant.returns == 0 ? 1 : 0);
    releaseRender();
    Sleep(100);
    began = GetTickCount();
    const bool ended = stopRenderThread(thread, 5000);
    std::printf("stop_ms %lu\nfar_ended %d\nfar_result %ld\n", millisecondsSince(began),
                ended ? 1 : 0, distant.result);
    CloseHandle(thread);

    volatile LONG frames = 0;
    thread = startRenderThread(playPacedFrames, const_cast<LONG*>(&frames));
    Sleep(500);
    holdRender();
    const LONG held = frames;
    std::printf("frames_before_hold %ld\n", held);
    Sleep(300);
    std::printf("frames_while_held %ld\n", frames - held);
    releaseRender();
    Sleep(300);
    std::printf("frames_after_release %ld\n", frames - held);
    began = GetTickCount();
    const bool pacedEnded = stopRenderThread(thread, 5000);
    std::printf("paced_stop_ms %lu\npaced_ended %d\n", millisecondsSince(began),
                pacedEnded ? 1 : 0);
    CloseHandle(thread);
    return 0;
}
