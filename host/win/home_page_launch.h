#pragma once

#include "host/launch_rate_limit.h"

// Starts explorer.exe of the Windows folder, by its full path, with the quoted home page
// address; false when it could not be started. Nothing is looked up beside the saver, in the
// picture folder or in the current directory.
bool openHomePage();

// For the preview, to which any process can post clicks: starts explorer at most once a
// second, however many arrive. False when this click started nothing. `launches` is made by
// previewLaunchLimit and lives as long as the run, with the session.
bool openHomePageFromPreview(LaunchRateLimit& launches);
LaunchRateLimit previewLaunchLimit();
