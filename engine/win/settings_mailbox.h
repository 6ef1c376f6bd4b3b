// How a settings change reaches the render thread: the dialog posts a copy, the thread
// takes it at its next safe point. Neither side ever waits on the other beyond the copy.
#pragma once

#include "engine/settings_change.h"
#include "resources/win/scoped.h"

#include <windows.h>

// Owned by the session; outlives the dialog and every render thread. Both sides copy in and
// out under the lock and never touch the other's copy.
class SettingsMailbox {
  public:
    SettingsMailbox() = default;
    SettingsMailbox(const SettingsMailbox&) = delete;
    SettingsMailbox& operator=(const SettingsMailbox&) = delete;

    // The record and folder a show starts with, before any thread runs.
    void seed(const SaverSettings& record, const std::string& imagesFolder);
    // Dialog side: merged into the change still waiting, if any.
    void post(const SettingsChange& change);
    // Render thread side: the change waiting, if any, taken out.
    bool take(SettingsChange& change);
    // Render thread side, as a show starts: the latest record and folder. A thread started
    // anew (a preview of a new size) thus begins with every change made so far.
    SettingsChange latest();

  private:
    CriticalSection lock_;
    SettingsChanges changes_;
};
