#include "engine/win/render_control.h"

#include "engine/win/test_seams.h"
#include "resources/win/scoped.h"

#include <cstdio>
#include <cstring>

namespace {

// A hold that the thread does not answer within this time (it may be deep in decoding a
// huge picture) is given up on; the caller then goes on, guarded by its own locks.
constexpr DWORD holdWaitBoundMs = 3000;

struct RenderControl {
    RenderControl() {
        InitializeCriticalSection(&lock);
        InitializeConditionVariable(&changed);
    }
    CRITICAL_SECTION lock;
    CONDITION_VARIABLE changed;
    // Set while a stop or a hold is pending, for waits on kernel objects (paced frames).
    // Lives as long as the process, like the rest of the control.
    HANDLE pending = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    int holds = 0;
    bool stop = false;
    bool active = false;   // started and not yet ended
    bool parked = false;   // standing at a safe point while held
    bool detached = false; // inside a decode or a folder walk, touching nothing shared
    // The render thread, for raising its priority while a hold or stop waits for it; owned
    // here from its start to its end.
    ScopedHandle thread;
    int restPriority = THREAD_PRIORITY_NORMAL; // what it runs at when nobody waits for it
    bool raised = false;                       // runs at a waiting thread's priority
#ifdef VELLUTOR_TEST_SEAMS
    HANDLE holdLog = INVALID_HANDLE_VALUE;
#endif
};

// One render thread per process, and holds may come from any thread (the dialog, its
// list watchers, the shutdown), so its control is process-wide; the render thread's own code
// reaches it through the free functions above its safe points.
RenderControl& control() {
    static RenderControl instance;
    return instance;
}

class Locked {
  public:
    Locked() { EnterCriticalSection(&control().lock); }
    ~Locked() { LeaveCriticalSection(&control().lock); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
};

void wakeAll() {
    WakeAllConditionVariable(&control().changed);
}

// Caller holds the lock; called after every change of stop or holds.
void updatePending() {
    RenderControl& c = control();
    if (!c.pending)
        return;
    if (c.stop || c.holds > 0)
        SetEvent(c.pending);
    else
        ResetEvent(c.pending);
}

// Caller holds the lock. An idle render thread behind busy programs could take many
// time slices to reach its next safe point, so while the calling thread waits for it, it
// runs at the caller's priority.
void raiseToCaller() {
    RenderControl& c = control();
    if (!c.thread || c.raised || !c.active || c.parked || c.detached)
        return;
    const int caller = GetThreadPriority(GetCurrentThread());
    if (caller == THREAD_PRIORITY_ERROR_RETURN || caller <= c.restPriority)
        return;
    c.raised = SetThreadPriority(c.thread.get(), caller) != FALSE;
}

// Caller holds the lock. Nobody waits for the thread any more: back to its own priority.
void lowerToRest(HANDLE thread) {
    RenderControl& c = control();
    if (c.raised && SetThreadPriority(thread, c.restPriority))
        c.raised = false;
}

void forgetThread() {
    RenderControl& c = control();
    c.thread.reset();
    c.raised = false;
}

// Caller holds the lock. Parks while held; true unless a stop was requested.
bool parkWhileHeld() {
    RenderControl& c = control();
    if (c.holds > 0 && !c.stop)
        lowerToRest(GetCurrentThread()); // the holder has what it waited for
    while (c.holds > 0 && !c.stop) {
        c.parked = true;
        wakeAll();
        SleepConditionVariableCS(&c.changed, &c.lock, INFINITE);
    }
    c.parked = false;
    return !c.stop;
}

#ifdef VELLUTOR_TEST_SEAMS
constexpr const char* holdLogSeam = "hold-log";
constexpr const char* holdLogName = "hold.log";

double millisecondsNow() {
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Caller holds the lock. Test build: one line per hold, "hold <ms> <how it returned>", in
// "hold.log" beside the executable, for the dialog benchmark.
void logHold(double askedAt, const char* how) {
    RenderControl& c = control();
    if (!testSeamArmed(holdLogSeam))
        return;
    if (c.holdLog == INVALID_HANDLE_VALUE) {
        char path[MAX_PATH];
        const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
        char* slash = length > 0 && length < MAX_PATH ? std::strrchr(path, '\\') : nullptr;
        if (!slash ||
            static_cast<std::size_t>(slash + 1 - path) + std::strlen(holdLogName) >= MAX_PATH)
            return;
        std::strcpy(slash + 1, holdLogName);
        c.holdLog = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    char line[64];
    const int length =
        std::snprintf(line, sizeof(line), "hold %.3f %s\n", millisecondsNow() - askedAt, how);
    DWORD written = 0;
    if (c.holdLog != INVALID_HANDLE_VALUE && length > 0)
        WriteFile(c.holdLog, line, static_cast<DWORD>(length), &written, nullptr);
}
#endif

} // namespace

HANDLE startRenderThread(LPTHREAD_START_ROUTINE entry, void* parameter, int priority) {
    {
        Locked guard;
        forgetThread();
        control().active = true;
        control().stop = false;
        control().restPriority = priority;
        updatePending();
    }
    // Suspended until its priority is set, so that it never runs above it unasked.
    HANDLE thread = CreateThread(nullptr, 0, entry, parameter, CREATE_SUSPENDED, nullptr);
    if (!thread) {
        renderThreadEnded();
        return nullptr;
    }
    SetThreadPriority(thread, priority);
    {
        Locked guard;
        HANDLE own = nullptr;
        if (DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &own,
                            THREAD_SET_INFORMATION | THREAD_QUERY_INFORMATION, FALSE, 0))
            control().thread.reset(own);
    }
    ResumeThread(thread);
    return thread;
}

void requestRenderStop() {
    Locked guard;
    control().stop = true;
    raiseToCaller();
    updatePending();
    wakeAll();
}

bool stopRenderThread(HANDLE thread, DWORD boundMs) {
    requestRenderStop();
    return !thread || WaitForSingleObject(thread, boundMs) == WAIT_OBJECT_0;
}

void holdRender() {
#ifdef VELLUTOR_TEST_SEAMS
    const double askedAt = millisecondsNow();
#endif
    Locked guard;
    RenderControl& c = control();
    ++c.holds;
    raiseToCaller();
    updatePending();
    wakeAll();
    DWORD start = GetTickCount();
    while (c.active && !c.parked && !c.detached && !c.stop) {
        DWORD waited = GetTickCount() - start;
        if (waited >= holdWaitBoundMs)
            break;
        SleepConditionVariableCS(&c.changed, &c.lock, holdWaitBoundMs - waited);
    }
#ifdef VELLUTOR_TEST_SEAMS
    logHold(askedAt, !c.active    ? "idle"
                     : c.parked   ? "parked"
                     : c.detached ? "detached"
                     : c.stop     ? "stopping"
                                  : "bound");
#endif
}

void releaseRender() {
    Locked guard;
    RenderControl& c = control();
    if (c.holds > 0 && --c.holds == 0) {
        // A hold that gave up waiting leaves the thread raised until now.
        if (c.thread && !c.stop)
            lowerToRest(c.thread.get());
        updatePending();
        wakeAll();
    }
}

bool renderShouldPause() {
    Locked guard;
    return control().stop || control().holds > 0;
}

bool renderCheckpoint() {
    Locked guard;
    return parkWhileHeld();
}

bool renderSleep(DWORD ms) {
    Locked guard;
    RenderControl& c = control();
    DWORD start = GetTickCount();
    for (;;) {
        if (!parkWhileHeld())
            return false;
        DWORD waited = GetTickCount() - start;
        if (waited >= ms)
            return true;
        SleepConditionVariableCS(&c.changed, &c.lock, ms - waited);
    }
}

void renderThreadEnded() {
    Locked guard;
    control().active = false;
    control().parked = false;
    control().detached = false;
    forgetThread();
    wakeAll();
}

bool renderWaitForTimer(HANDLE timer, DWORD boundMs) {
    const HANDLE pending = control().pending;
    if (!timer)
        return renderCheckpoint();
    if (!pending) { // keeps the pace, answering only after the timer
        WaitForSingleObject(timer, boundMs);
        return renderCheckpoint();
    }
    const HANDLE handles[] = {pending, timer}; // the first wins when both are signalled
    for (;;) {
        switch (WaitForMultipleObjects(2, handles, FALSE, boundMs)) {
        case WAIT_OBJECT_0:
            // A hold parks here and then the wait goes on; a stop ends it.
            if (!renderCheckpoint())
                return false;
            continue;
        case WAIT_OBJECT_0 + 1:
            return renderCheckpoint();
        default: // bound reached or the wait failed: never spin, never hang
            return renderCheckpoint();
        }
    }
}

void renderDetach() {
    Locked guard;
    // A decode at the holder's priority would only compete with it, and the hold returns now.
    lowerToRest(GetCurrentThread());
    control().detached = true;
    wakeAll(); // a hold that waits for a safe point can return now
}

bool renderAttach() {
    Locked guard;
    control().detached = false;
    return parkWhileHeld();
}

bool stopRenderThreadUnlessDetached(HANDLE thread, DWORD boundMs) {
    {
        Locked guard;
        RenderControl& c = control();
        c.stop = true;
        raiseToCaller();
        updatePending();
        wakeAll();
        const DWORD start = GetTickCount();
        while (c.active && !c.detached) {
            const DWORD waited = GetTickCount() - start;
            if (waited >= boundMs)
                return false;
            SleepConditionVariableCS(&c.changed, &c.lock, boundMs - waited);
        }
        if (c.detached)
            return true;
    }
    // Marked as ended: what is left of it is the way out of its entry function.
    return !thread || WaitForSingleObject(thread, boundMs) == WAIT_OBJECT_0;
}

bool renderThreadRunning() {
    Locked guard;
    return control().active;
}
