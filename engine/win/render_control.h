// Stopping and holding the render thread at its safe points: between reveal draws, between
// ripple frames and between steps, never inside a platform call or with a surface locked.
#pragma once

#include <windows.h>

// Main thread side.
// Starts the render thread at `priority`; holds taken from now on wait for it to reach a
// safe point.
HANDLE startRenderThread(LPTHREAD_START_ROUTINE entry, void* parameter,
                         int priority = THREAD_PRIORITY_NORMAL);
void requestRenderStop();
// Asks the thread to stop and waits for it, at most `boundMs`; true when it has ended.
bool stopRenderThread(HANDLE thread, DWORD boundMs);
// Holds nest by count. holdRender returns once the render thread stands at a safe point
// (or has ended, is detached, or was never started), waiting at most 3 s. The test build
// with its "hold-log" seam armed writes each hold's wait to "hold.log" beside the program.
void holdRender();
void releaseRender();

// Priority. While a hold or a stop waits for the thread to reach a safe point or its end,
// the thread runs at the waiting thread's priority, if that is higher than its own. It is
// back at its own priority once it parks, detaches, or the last hold is released, so a
// parked or detached thread never runs above the priority it was started at.

// Render thread side.
// True when a stop or a hold waits for the thread: a long step then ends early, so that the
// thread reaches its next safe point at once.
bool renderShouldPause();
// Parks the thread while it is held; false once a stop was requested.
bool renderCheckpoint();
// Sleeps `ms`, waking early for a stop or a hold; false once a stop was requested.
bool renderSleep(DWORD ms);
// Waits until `timer` (a waitable timer) is signalled, at most `boundMs`. A safe point: a
// hold parks the thread at once and the wait then goes on; false once a stop was requested.
bool renderWaitForTimer(HANDLE timer, DWORD boundMs);
// Called by the thread as it ends, so that waiting holds return.
void renderThreadEnded();

// Detached stretches. A decode or a folder walk can take seconds and touches no surface and
// nothing the main thread changes, so the thread need not reach a safe point for it:
// - renderDetach() marks the thread as inside such a stretch. From then on a hold returns
//   at once, as if the thread were parked, and stopRenderThreadUnlessDetached returns at
//   once. The thread must not touch a surface, the display, or any state that a hold
//   protects until it has attached again.
// - renderAttach() ends the stretch: it parks while a hold lasts, and returns false once a
//   stop was requested, in which case the thread ends without touching any surface.
// The process may end while the thread is still detached (ExitProcess ends it mid-call):
// whatever a detached stretch uses is owned by the thread or outlives the process's end.
void renderDetach();
bool renderAttach();

// Main thread side, for the ending: asks for a stop and waits at most `boundMs` for the
// thread to end or to be detached. True when it ended or is detached.
bool stopRenderThreadUnlessDetached(HANDLE thread, DWORD boundMs);
// True while the render thread has started and not yet ended.
bool renderThreadRunning();
