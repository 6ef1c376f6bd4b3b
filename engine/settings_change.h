// A change of the show's settings as the settings dialog sends it: a copy of the whole
// record, the images folder, and what changed. The show takes it between two steps.
#pragma once

#include "engine/show_settings.h"

#include <cstdint>
#include <string>

struct SettingsChange {
    // What a change carries; later changes merge into one still waiting.
    enum : std::uint8_t {
        Record = 1,       // the record differs; every field is read at its next use
        ImagesFolder = 2, // the next picture comes from a new folder
        WaveSurface = 4,  // the ripple is rebuilt for the record's wave size before the next drop
    };
    SaverSettings record = {};
    // As the settings file holds it, which may be relative to the install folder.
    std::string imagesFolder;
    std::uint8_t what = 0;
};

// `later` folded into `pending`, which then stands for both: each part from the later
// change that carries it, the flags of both.
void mergeSettingsChange(SettingsChange& pending, const SettingsChange& later);

// The dialog's changes as one thread hands them to another: the latest record and folder,
// and what changed since the taker last looked. Not locked; the Windows mailbox wraps it.
class SettingsChanges {
  public:
    // The record and folder a show starts with, before any change.
    void seed(const SaverSettings& record, const std::string& imagesFolder);
    // Merged into the change still waiting, if any.
    void post(const SettingsChange& change);
    // The change waiting, if any, with the latest record and folder; false when nothing
    // changed since the last take.
    bool take(SettingsChange& change);
    // The latest record and folder, carrying no flags: what a show started anew begins with.
    SettingsChange latest() const;

  private:
    SettingsChange latest_;
    std::uint8_t pending_ = 0;
};
