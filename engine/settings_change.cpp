#include "engine/settings_change.h"

void mergeSettingsChange(SettingsChange& pending, const SettingsChange& later) {
    if (later.what & SettingsChange::Record)
        pending.record = later.record;
    if (later.what & SettingsChange::ImagesFolder)
        pending.imagesFolder = later.imagesFolder;
    pending.what = static_cast<std::uint8_t>(pending.what | later.what);
}
