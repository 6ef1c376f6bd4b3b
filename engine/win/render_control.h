// Stopping and holding the render thread at its safe points: between reveal draws, between
// ripple frames and between steps, never inside a platform call or with a surface locked.
#pragma once

#include <windows.h>

// Main thread side.
// Starts the render thread; holds taken from now on wait for it to reach a safe point.
HANDLE startRenderThread(LPTHREAD_START_ROUTINE entry, void* parameter);
void requestRenderStop();
// Asks the thread to stop and waits for it, at most `boundMs`; true when it has ended.
bool stopRenderThread(HANDLE thread, DWORD boundMs);
// Holds nest by count. holdRender returns once the render thread stands at a safe point
// (or has ended, or was never started).
void holdRender();
void releaseRender();

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
