// Stopping and holding one render thread at its safe points: between reveal draws, between
// ripple frames and between steps, never inside a platform call or with a surface locked.
// Each renderer owns one; holds may come from any thread (the dialog, its list watchers,
// the shutdown), the render thread's own calls come from its canvas.
#pragma once

#include "resources/win/scoped.h"

#include <windows.h>

class RenderControl {
  public:
    // `holdLogName`: the test build with its "hold-log" seam armed writes each hold's wait to
    // this file beside the program.
    explicit RenderControl(const char* holdLogName = "hold.log");
    RenderControl(const RenderControl&) = delete;
    RenderControl& operator=(const RenderControl&) = delete;

    // Main thread side.
    // Starts the render thread at `priority`; holds taken from now on wait for it to reach a
    // safe point. The caller owns the returned handle.
    HANDLE start(LPTHREAD_START_ROUTINE entry, void* parameter,
                 int priority = THREAD_PRIORITY_NORMAL);
    void requestStop();
    // Takes back a stop that the thread has not answered yet, so that it goes on as before.
    // False when it has already seen the stop (it is on its way out) or has ended.
    bool withdrawStop();
    // Asks the thread to stop and waits for it, at most `boundMs`; true when it has ended.
    bool stop(HANDLE thread, DWORD boundMs);
    // Holds nest by count. hold() returns once the thread stands at a safe point (or has
    // ended, is detached, or was never started), waiting at most 3 s. askHold() and
    // waitHeld() split it, so that several renderers are asked first and then waited for
    // against one deadline (a GetTickCount value).
    void hold();
    void release();
    void askHold();
    void waitHeld(DWORD deadline);
    // Asks for a stop and waits until `deadline` for the thread to end or to be detached.
    // True when it ended or is detached.
    bool waitEndedOrDetached(HANDLE thread, DWORD deadline);
    // Both of the above at once, waiting at most `boundMs`.
    bool stopUnlessDetached(HANDLE thread, DWORD boundMs);
    // True while the render thread has started and not yet ended.
    bool running() const;

    // Priority. While a hold or a stop waits for the thread to reach a safe point or its
    // end, the thread runs at the waiting thread's priority, if that is higher than its own.
    // A stop raises it even while parked or detached: it has to run to its end. A hold's
    // raise ends once it parks, detaches, or the last hold is released, so a parked or
    // detached thread never runs above the priority it was started at while merely held.

    // Render thread side.
    // True when a stop or a hold waits for the thread: a long step then ends early, so that
    // the thread reaches its next safe point at once.
    bool shouldPause() const;
    // Parks the thread while it is held; false once a stop was requested.
    bool checkpoint();
    // Sleeps `ms`, waking early for a stop or a hold; false once a stop was requested.
    bool sleep(DWORD ms);
    // Waits until `timer` (a waitable timer) is signalled, at most `boundMs`. A safe point: a
    // hold parks the thread at once and the wait then goes on; false once a stop was asked.
    bool waitForTimer(HANDLE timer, DWORD boundMs);
    // Called by the thread as it ends, so that waiting holds return.
    void threadEnded();

    // Detached stretches. A decode or a folder walk can take seconds and touches no surface
    // and nothing the main thread changes, so the thread need not reach a safe point for it:
    // - detach() marks the thread as inside such a stretch. From then on a hold returns at
    //   once, as if the thread were parked, and stopUnlessDetached returns at once. The
    //   thread must not touch a surface, the display, or any state that a hold protects
    //   until it has attached again.
    // - attach() ends the stretch: it parks while a hold lasts, and returns false once a
    //   stop was requested, in which case the thread ends without touching any surface.
    // The process may end while the thread is still detached (ExitProcess ends it mid-call):
    // whatever a detached stretch uses is owned by the thread or outlives the process's end.
    void detach();
    bool attach();

  private:
    bool parkWhileHeld();
    void waitForSafePoint(DWORD deadline, double askedAt);
    void updatePending();
    void wakeAll();
    void raiseToCaller(bool forStop);
    void lowerToRest(HANDLE thread);
    void forgetThread();
    void logHold(double askedAt, const char* how);

    mutable CriticalSection lock_;
    CONDITION_VARIABLE changed_;
    // Set while a stop or a hold is pending, for waits on kernel objects (paced frames).
    ScopedHandle pending_;
    int holds_ = 0;
    bool stop_ = false;
    bool stopSeen_ = false; // a safe point answered the stop: the thread is leaving
    bool active_ = false;   // started and not yet ended
    bool parked_ = false;   // standing at a safe point while held
    bool detached_ = false; // inside a decode or a folder walk, touching nothing shared
    // The render thread, for raising its priority while a hold or stop waits for it; owned
    // here from its start to its end.
    ScopedHandle thread_;
    int restPriority_ = THREAD_PRIORITY_NORMAL; // what it runs at when nobody waits for it
    bool raised_ = false;                       // runs at a waiting thread's priority
    const char* holdLogName_;
    ScopedHandle holdLog_;
};
