// Holds and stops on a stand-in render thread started at idle priority, while two busy
// threads of normal priority keep the processors: the priority the thread runs at while a
// hold waits for it, once it parks, and after the release; a hold it does not answer within
// the hold's bound; a hold while it is detached; a stop it does not answer in time, taken
// back; a stop while it is parked; and a stop.
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
    volatile LONG inDeaf = 0;         // the thread is inside that stretch
    volatile LONG detach = 0;         // the next slice is a detached stretch
    volatile LONG priorityAsked = 99; // seen by the thread when it saw a hold pending
    volatile LONG attachAnswer = -1;
    RenderControl control;
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
        if (InterlockedExchange(&s.deaf, 0)) {
            InterlockedExchange(&s.inDeaf, 1);
            spin(deafStretchMs);
            InterlockedExchange(&s.inDeaf, 0);
        }
        if (InterlockedExchange(&s.detach, 0)) {
            s.control.detach();
            spin(detachedMs);
            InterlockedExchange(&s.attachAnswer, s.control.attach() ? 1 : 0);
        }
        spin(workSliceMs);
        if (s.control.shouldPause())
            InterlockedExchange(&s.priorityAsked, GetThreadPriority(GetCurrentThread()));
        if (!s.control.checkpoint())
            break;
    }
    s.control.threadEnded();
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
    HANDLE thread = s.control.start(standIn, &s, THREAD_PRIORITY_IDLE);
    say("started_at", GetThreadPriority(thread));
    Sleep(100);

    // An ordinary hold: answered at the next safe point.
    s.control.hold();
    say("hold_parked_priority", GetThreadPriority(thread));
    say("priority_while_asked", s.priorityAsked);
    s.control.release();
    Sleep(50);
    say("after_release", GetThreadPriority(thread));

    // A hold the thread cannot answer in time: it returns at its bound, the thread raised.
    InterlockedExchange(&s.deaf, 1);
    Sleep(50);
    s.control.hold();
    say("deaf_hold_priority", GetThreadPriority(thread));
    s.control.release();
    say("deaf_after_release", GetThreadPriority(thread));
    Sleep(deafStretchMs);

    // A hold while the thread is detached returns at once and leaves it at idle.
    InterlockedExchange(&s.detach, 1);
    Sleep(100);
    s.control.hold();
    say("detached_hold_priority", GetThreadPriority(thread));
    Sleep(detachedMs + 200);
    say("parked_after_attach", s.attachAnswer == -1 ? 1 : 0);
    s.control.release();

    // A stop the thread cannot answer in time is taken back, and it goes on at idle.
    InterlockedExchange(&s.deaf, 1);
    for (int waited = 0; !s.inDeaf && waited < 5000; waited += 10)
        Sleep(10);
    s.control.requestStop();
    say("deaf_stop_ended", WaitForSingleObject(thread, 300) == WAIT_OBJECT_0 ? 1 : 0);
    say("stop_withdrawn", s.control.withdrawStop() ? 1 : 0);
    say("withdrawn_priority", GetThreadPriority(thread));
    Sleep(deafStretchMs);
    say("runs_after_withdrawn_stop", WaitForSingleObject(thread, 0) == WAIT_TIMEOUT ? 1 : 0);

    // A stop while held: the parked thread is raised to run to its end.
    s.control.hold();
    s.control.requestStop();
    say("parked_stop_priority", GetThreadPriority(thread));
    s.control.release();
    s.control.stopUnlessDetached(thread, 2000);
    say("ended", WaitForSingleObject(thread, 5000) == WAIT_OBJECT_0 ? 1 : 0);
    InterlockedExchange(&s.quit, 1);
    WaitForMultipleObjects(2, busyThreads, TRUE, 5000);
    std::fflush(stdout);
    return 0;
}
