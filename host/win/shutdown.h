// Ending the saver: the shutdown sequence runs once, then the message loop ends.
#pragma once

#include "host/win/saver_session.h"

#include <windows.h>

void endSaver(SaverSession& session);
// Shows what the shutdown could not show while the saver's windows were up (a wallpaper
// that no file would take). Called once the message loop has ended and every other window
// of the saver is gone; hides the saver window first.
void showDeferredNotices(SaverSession& session);
