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
