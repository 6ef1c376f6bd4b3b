#include "engine/win/render_control.h"

#include "engine/win/test_seams.h"

#include <cstdio>
#include <cstring>

namespace {

// A hold that the thread does not answer within this time (it may be deep in decoding a
// huge picture) is given up on; the caller then goes on, guarded by its own locks.
constexpr DWORD holdWaitBoundMs = 3000;
constexpr const char* holdLogSeam = "hold-log";

// Milliseconds from now until `deadline` (a GetTickCount value); 0 once it has passed.
DWORD untilDeadline(DWORD deadline) {
    const DWORD left = deadline - GetTickCount();
    return static_cast<LONG>(left) > 0 ? left : 0;
}

// The hold log's clock, in milliseconds; only the test build reads it.
double logClock() {
#ifdef VELLUTOR_TEST_SEAMS
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
#else
    return 0;
#endif
}

} // namespace

RenderControl::RenderControl(const char* holdLogName)
    : pending_(CreateEventA(nullptr, TRUE, FALSE, nullptr)), holdLogName_(holdLogName) {
    InitializeConditionVariable(&changed_);
}

void RenderControl::wakeAll() {
    WakeAllConditionVariable(&changed_);
}

// Caller holds the lock; called after every change of stop or holds.
void RenderControl::updatePending() {
    if (!pending_)
        return;
    if (stop_ || holds_ > 0)
        SetEvent(pending_.get());
    else
        ResetEvent(pending_.get());
}

// Caller holds the lock. An idle render thread behind busy programs could take many time
// slices to reach its next safe point, so while the calling thread waits for it, it runs at
// the caller's priority. A stop needs the thread to run to its end, parked or detached.
void RenderControl::raiseToCaller(bool forStop) {
    if (!thread_ || raised_ || !active_ || (!forStop && (parked_ || detached_)))
        return;
    const int caller = GetThreadPriority(GetCurrentThread());
    if (caller == THREAD_PRIORITY_ERROR_RETURN || caller <= restPriority_)
        return;
    raised_ = SetThreadPriority(thread_.get(), caller) != FALSE;
}

// Caller holds the lock. Nobody waits for the thread any more: back to its own priority.
void RenderControl::lowerToRest(HANDLE thread) {
    if (raised_ && SetThreadPriority(thread, restPriority_))
        raised_ = false;
}

void RenderControl::forgetThread() {
    thread_.reset();
    raised_ = false;
}

// Caller holds the lock. Parks while held; true unless a stop was requested.
bool RenderControl::parkWhileHeld() {
    if (holds_ > 0 && !stop_)
        lowerToRest(GetCurrentThread()); // the holder has what it waited for
    while (holds_ > 0 && !stop_) {
        parked_ = true;
        wakeAll();
        SleepConditionVariableCS(&changed_, lock_.native(), INFINITE);
    }
    parked_ = false;
    if (stop_)
        stopSeen_ = true;
    return !stop_;
}

// Caller holds the lock. Test build: one line per hold, "hold <ms> <how it returned>", in
// the hold log beside the executable, for the dialog benchmark.
void RenderControl::logHold(double askedAt, const char* how) {
#ifdef VELLUTOR_TEST_SEAMS
    if (!testSeamArmed(holdLogSeam))
        return;
    if (!holdLog_) {
        char path[MAX_PATH];
        const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
        char* slash = length > 0 && length < MAX_PATH ? std::strrchr(path, '\\') : nullptr;
        if (!slash ||
            static_cast<std::size_t>(slash + 1 - path) + std::strlen(holdLogName_) >= MAX_PATH)
            return;
        std::strcpy(slash + 1, holdLogName_);
        holdLog_.reset(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    char line[64];
    const int length =
        std::snprintf(line, sizeof(line), "hold %.3f %s\n", logClock() - askedAt, how);
    DWORD written = 0;
    if (holdLog_ && length > 0)
        WriteFile(holdLog_.get(), line, static_cast<DWORD>(length), &written, nullptr);
#else
    (void)askedAt;
    (void)how;
#endif
}

HANDLE RenderControl::start(LPTHREAD_START_ROUTINE entry, void* parameter, int priority) {
    {
        CriticalSectionLock guard(lock_);
        forgetThread();
        active_ = true;
        stop_ = false;
        stopSeen_ = false;
        restPriority_ = priority;
        updatePending();
    }
    // Suspended until its priority is set, so that it never runs above it unasked.
    HANDLE thread = CreateThread(nullptr, 0, entry, parameter, CREATE_SUSPENDED, nullptr);
    if (!thread) {
        threadEnded();
        return nullptr;
    }
    SetThreadPriority(thread, priority);
    {
        CriticalSectionLock guard(lock_);
        HANDLE own = nullptr;
        if (DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &own,
                            THREAD_SET_INFORMATION | THREAD_QUERY_INFORMATION, FALSE, 0))
            thread_.reset(own);
    }
    ResumeThread(thread);
    return thread;
}

void RenderControl::requestStop() {
    CriticalSectionLock guard(lock_);
    stop_ = true;
    raiseToCaller(true);
    updatePending();
    wakeAll();
}

bool RenderControl::withdrawStop() {
    CriticalSectionLock guard(lock_);
    if (!active_ || stopSeen_)
        return false;
    stop_ = false;
    if (thread_ && holds_ == 0)
        lowerToRest(thread_.get());
    updatePending();
    wakeAll();
    return true;
}

bool RenderControl::stop(HANDLE thread, DWORD boundMs) {
    requestStop();
    return !thread || WaitForSingleObject(thread, boundMs) == WAIT_OBJECT_0;
}

void RenderControl::askHold() {
    CriticalSectionLock guard(lock_);
    ++holds_;
    raiseToCaller(false);
    updatePending();
    wakeAll();
}

void RenderControl::waitHeld(DWORD deadline) {
    waitForSafePoint(deadline, logClock());
}

// Waits until the thread is parked, detached, stopping or gone, or `deadline` passes.
void RenderControl::waitForSafePoint(DWORD deadline, double askedAt) {
    CriticalSectionLock guard(lock_);
    while (active_ && !parked_ && !detached_ && !stop_) {
        const DWORD left = untilDeadline(deadline);
        if (left == 0)
            break;
        SleepConditionVariableCS(&changed_, lock_.native(), left);
    }
    logHold(askedAt, !active_    ? "idle"
                     : parked_   ? "parked"
                     : detached_ ? "detached"
                     : stop_     ? "stopping"
                                 : "bound");
}

void RenderControl::hold() {
    const double askedAt = logClock();
    askHold();
    waitForSafePoint(GetTickCount() + holdWaitBoundMs, askedAt);
}

void RenderControl::release() {
    CriticalSectionLock guard(lock_);
    if (holds_ > 0 && --holds_ == 0) {
        // A hold that gave up waiting leaves the thread raised until now.
        if (thread_ && !stop_)
            lowerToRest(thread_.get());
        updatePending();
        wakeAll();
    }
}

bool RenderControl::shouldPause() const {
    CriticalSectionLock guard(lock_);
    return stop_ || holds_ > 0;
}

bool RenderControl::checkpoint() {
    CriticalSectionLock guard(lock_);
    return parkWhileHeld();
}

bool RenderControl::sleep(DWORD ms) {
    CriticalSectionLock guard(lock_);
    const DWORD start = GetTickCount();
    for (;;) {
        if (!parkWhileHeld())
            return false;
        const DWORD waited = GetTickCount() - start;
        if (waited >= ms)
            return true;
        SleepConditionVariableCS(&changed_, lock_.native(), ms - waited);
    }
}

void RenderControl::threadEnded() {
    CriticalSectionLock guard(lock_);
    active_ = false;
    parked_ = false;
    detached_ = false;
    forgetThread();
    wakeAll();
}

bool RenderControl::waitForTimer(HANDLE timer, DWORD boundMs) {
    if (!timer)
        return checkpoint();
    if (!pending_) { // keeps the pace, answering only after the timer
        WaitForSingleObject(timer, boundMs);
        return checkpoint();
    }
    const HANDLE handles[] = {pending_.get(), timer}; // the first wins when both are signalled
    for (;;) {
        switch (WaitForMultipleObjects(2, handles, FALSE, boundMs)) {
        case WAIT_OBJECT_0:
            // A hold parks here and then the wait goes on; a stop ends it.
            if (!checkpoint())
                return false;
            continue;
        case WAIT_OBJECT_0 + 1:
            return checkpoint();
        default: // bound reached or the wait failed: never spin, never hang
            return checkpoint();
        }
    }
}

void RenderControl::detach() {
    CriticalSectionLock guard(lock_);
    // A decode at the holder's priority would only compete with it, and the hold returns
    // now; a stop's raise stays, since the stop waits for the end.
    if (!stop_)
        lowerToRest(GetCurrentThread());
    detached_ = true;
    wakeAll(); // a hold that waits for a safe point can return now
}

bool RenderControl::attach() {
    CriticalSectionLock guard(lock_);
    detached_ = false;
    return parkWhileHeld();
}

bool RenderControl::waitEndedOrDetached(HANDLE thread, DWORD deadline) {
    {
        CriticalSectionLock guard(lock_);
        stop_ = true;
        raiseToCaller(true);
        updatePending();
        wakeAll();
        while (active_ && !detached_) {
            const DWORD left = untilDeadline(deadline);
            if (left == 0)
                return false;
            SleepConditionVariableCS(&changed_, lock_.native(), left);
        }
        if (detached_)
            return true;
    }
    // Marked as ended: what is left of it is the way out of its entry function.
    return !thread || WaitForSingleObject(thread, untilDeadline(deadline)) == WAIT_OBJECT_0;
}

bool RenderControl::stopUnlessDetached(HANDLE thread, DWORD boundMs) {
    return waitEndedOrDetached(thread, GetTickCount() + boundMs);
}

bool RenderControl::running() const {
    CriticalSectionLock guard(lock_);
    return active_;
}
