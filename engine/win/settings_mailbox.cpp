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
    std::string folder = imagesFolder; // allocated before the lock is taken
    Locked guard(lock_);
    latest_.record = record;
    latest_.imagesFolder.swap(folder);
    pending_ = 0;
}

void SettingsMailbox::post(const SettingsChange& change) {
    Locked guard(lock_);
    mergeSettingsChange(latest_, change);
    latest_.what = 0;
    pending_ = static_cast<std::uint8_t>(pending_ | change.what);
}

bool SettingsMailbox::take(SettingsChange& change) {
    Locked guard(lock_);
    if (pending_ == 0)
        return false;
    change.record = latest_.record;
    change.imagesFolder = latest_.imagesFolder;
    change.what = pending_;
    pending_ = 0;
    return true;
}

SettingsChange SettingsMailbox::latest() {
    Locked guard(lock_);
    SettingsChange start;
    start.record = latest_.record;
    start.imagesFolder = latest_.imagesFolder;
    return start;
}
