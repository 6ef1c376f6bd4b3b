#include "engine/win/settings_mailbox.h"

void SettingsMailbox::seed(const SaverSettings& record, const std::string& imagesFolder) {
    CriticalSectionLock guard(lock_);
    changes_.seed(record, imagesFolder);
}

void SettingsMailbox::post(const SettingsChange& change) {
    CriticalSectionLock guard(lock_);
    changes_.post(change);
}

bool SettingsMailbox::take(SettingsChange& change) {
    CriticalSectionLock guard(lock_);
    return changes_.take(change);
}

SettingsChange SettingsMailbox::latest() {
    CriticalSectionLock guard(lock_);
    return changes_.latest();
}
