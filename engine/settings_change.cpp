#include "engine/settings_change.h"

void mergeSettingsChange(SettingsChange& pending, const SettingsChange& later) {
    if (later.what & SettingsChange::Record)
        pending.record = later.record;
    if (later.what & SettingsChange::ImagesFolder)
        pending.imagesFolder = later.imagesFolder;
    pending.what = static_cast<std::uint8_t>(pending.what | later.what);
}

void SettingsChanges::seed(const SaverSettings& record, const std::string& imagesFolder) {
    latest_.record = record;
    latest_.imagesFolder = imagesFolder;
    pending_ = 0;
}

void SettingsChanges::post(const SettingsChange& change) {
    mergeSettingsChange(latest_, change);
    latest_.what = 0;
    pending_ = static_cast<std::uint8_t>(pending_ | change.what);
}

bool SettingsChanges::take(SettingsChange& change) {
    if (pending_ == 0)
        return false;
    change = latest();
    change.what = pending_;
    pending_ = 0;
    return true;
}

SettingsChange SettingsChanges::latest() const {
    SettingsChange start;
    start.record = latest_.record;
    start.imagesFolder = latest_.imagesFolder;
    return start;
}
