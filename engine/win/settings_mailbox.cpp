#include "engine/win/settings_mailbox.h"

namespace {
class Locked {
  public:
    explicit Locked(CRITICAL_SECTION& lock) : lock_(lock) { EnterCriticalSection(&lock_); }
    ~Locked() { LeaveCriticalSection(&lock_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

  private:
    CRITICAL_SECTION& lock_;
};
} // namespace

SettingsMailbox::SettingsMailbox() {
    InitializeCriticalSection(&lock_);
}

SettingsMailbox::~SettingsMailbox() {
    DeleteCriticalSection(&lock_);
}

void SettingsMailbox::seed(const SaverSettings& record, const std::string& imagesFolder) {
    Locked guard(lock_);
    changes_.seed(record, imagesFolder);
}

void SettingsMailbox::post(const SettingsChange& change) {
    Locked guard(lock_);
    changes_.post(change);
}

bool SettingsMailbox::take(SettingsChange& change) {
    Locked guard(lock_);
    return changes_.take(change);
}

SettingsChange SettingsMailbox::latest() {
    Locked guard(lock_);
    return changes_.latest();
}
