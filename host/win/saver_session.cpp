#include "host/win/saver_session.h"

#include "engine/win/test_seams.h"

SaverSession::SaverSession(HINSTANCE module, bool fullScreen, bool inPreview)
    : saver_(fullScreen), preview_(inPreview), instance_(module), renderers_(imagesFolderFullPath) {
}

// Test build: the preview's tracker must have ended by now (see "teardown.log").
SaverSession::~SaverSession() {
    appendTestLog(teardownLogSeam, teardownLogName, "session freed");
}

bool SaverSession::loadStored() {
    if (!loadSettings(stored_))
        return false;
    Renderer& primary = renderers_.primary();
    primary.settings().seed(stored_.record, stored_.imagesFolder);
    primary.remember(stored_.lastPictureName, stored_.lastPictureSearchDone != 0,
                     &stored_.skippedPictures);
    return true;
}

void SaverSession::displayStateChanged(DisplayState state) {
    switch (displayHold_.onState(state)) {
    case DisplayPowerHold::Change::Hold:
        for (std::size_t screen = 0; screen < renderers_.size(); ++screen)
            renderers_[screen].askHold();
        break;
    case DisplayPowerHold::Change::Release:
        renderers_.releaseAll();
        break;
    case DisplayPowerHold::Change::None:
        break;
    }
}
