#include "host/win/saver_session.h"

#include "engine/win/render_control.h"

namespace {

class TargetLock {
  public:
    explicit TargetLock(CRITICAL_SECTION& lock) : lock_(lock) { EnterCriticalSection(&lock_); }
    ~TargetLock() { LeaveCriticalSection(&lock_); }
    TargetLock(const TargetLock&) = delete;
    TargetLock& operator=(const TargetLock&) = delete;

  private:
    CRITICAL_SECTION& lock_;
};

} // namespace

SaverSession::SaverSession(HINSTANCE module, bool fullScreen, bool inPreview)
    : saver(fullScreen), preview(inPreview), instance(module) {
    InitializeCriticalSection(&targetLock_);
}

SaverSession::~SaverSession() {
    DeleteCriticalSection(&targetLock_);
}

TargetGeometry SaverSession::target() const {
    TargetLock guard(targetLock_);
    return target_;
}

void SaverSession::setTarget(const TargetGeometry& place) {
    TargetLock guard(targetLock_);
    target_ = place;
}

bool SaverSession::measure(HWND measured) {
    RECT client;
    POINT origin = {0, 0};
    if (!GetClientRect(measured, &client) || !ClientToScreen(measured, &origin))
        return false;
    setTarget({client.left + origin.x, client.top + origin.y, client.right + origin.x,
               client.bottom + origin.y, origin.x, origin.y});
    return true;
}

void SaverSession::displayStateChanged(DisplayState state) {
    switch (displayHold_.onState(state)) {
    case DisplayPowerHold::Change::Hold:
        holdRender();
        break;
    case DisplayPowerHold::Change::Release:
        releaseRender();
        break;
    case DisplayPowerHold::Change::None:
        break;
    }
}
