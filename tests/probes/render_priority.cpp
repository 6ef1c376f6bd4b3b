// Holds and stops on a stand-in render thread started at idle priority, while two busy
// threads of normal priority keep the processors: the priority the thread runs at while a
// hold waits for it, once it parks, and after the release; a hold it does not answer within
// the hold's bound; a hold while it is detached; and a stop.
// Usage: probe_render_priority. Output: "key value" lines (priorities as GetThreadPriority
// gives them); exit code 0.
#include "engine/win/render_control.h"

#include <cstdio>

namespace {

constexpr DWORD workSliceMs = 2;      // between two safe points
constexpr DWORD deafStretchMs = 3500; // past the hold's bound of 3 s
constexpr DWORD detachedMs = 400;

struct Shared {
    volatile LONG quit = 0;
    volatile LONG deaf = 0;           // the next slice skips safe points for deafStretchMs
    volatile LONG detach = 0;         // the next slice is a detached stretch
    volatile LONG priorityAsked = 99; // seen by the thread when it saw a hold pending
    volatile LONG attachAnswer = -1;
};

void spin(DWORD ms) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
    }
}

DWORD WINAPI busy(void* parameter) {
    auto& s = *static_cast<Shared*>(parameter);
    while (!s.quit) {
    }
    return 0;
}

DWORD WINAPI standIn(void* parameter) {
    auto& s = *static_cast<Shared*>(parameter);
    for (;;) {
        if (InterlockedExchange(&s.deaf, 0))
            spin(deafStretchMs);
        if (InterlockedExchange(&s.detach, 0)) {
            renderDetach();
            spin(detachedMs);
            InterlockedExchange(&s.attachAnswer, renderAttach() ? 1 : 0);
        }
        spin(workSliceMs);
        if (renderShouldPause())
            InterlockedExchange(&s.priorityAsked, GetThreadPriority(GetCurrentThread()));
        if (!renderCheckpoint())
            break;
    }
    renderThreadEnded();
    return 0;
}

void say(const char* key, long value) {
    std::printf("%s %ld\n", key, value);
}

} // namespace

int main() {
    Shared s;
    HANDLE busyThreads[] = {CreateThread(nullptr, 0, busy, &s, 0, nullptr),
                            CreateThread(nullptr, 0, busy, &s, 0, nullptr)};
    HANDLE thread = startRenderThread(standIn, &s, THREAD_PRIORITY_IDLE);
    say("started_at", GetThreadPriority(thread));
    Sleep(100);

    // An ordinary hold: answered at the next safe point.
    holdRender();
    say("hold_parked_priority", GetThreadPriority(thread));
    say("priority_while_asked", s.priorityAsked);
    releaseRender();
    Sleep(50);
    say("after_release", GetThreadPriority(thread));

    // A hold the thread cannot answer in time: it returns at its bound, the thread raised.
    InterlockedExchange(&s.deaf, 1);
    Sleep(50);
    holdRender();
    say("deaf_hold_priority", GetThreadPriority(thread));
    releaseRender();
    say("deaf_after_release", GetThreadPriority(thread));
    Sleep(deafStretchMs);

    // A hold while the thread is detached returns at once and leaves it at idle.
    InterlockedExchange(&s.detach, 1);
    Sleep(100);
    holdRender();
    say("detached_hold_priority", GetThreadPriority(thread));
    Sleep(detachedMs + 200);
    say("parked_after_attach", s.attachAnswer == -1 ? 1 : 0);
    releaseRender();

    // A stop: the thread ends.
    stopRenderThreadUnlessDetached(thread, 2000);
    say("ended", WaitForSingleObject(thread, 5000) == WAIT_OBJECT_0 ? 1 : 0);
    InterlockedExchange(&s.quit, 1);
    WaitForMultipleObjects(2, busyThreads, TRUE, 5000);
    std::fflush(stdout);
    return 0;
}
