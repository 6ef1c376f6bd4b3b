// The last line of defence against a fault that the picture checks did not foresee: a fault
// in any thread (in practice the render thread, inside a decoder) must not leave a full-screen
// saver frozen over the desktop, nor bring up a fault dialog or a debugger.
#pragma once

#include "host/win/saver_session.h"

#include <windows.h>

// The exit code of a process that the backstop ended.
constexpr UINT faultExitCode = 3;

// Installs the process-wide filter and keeps the system's fault dialogs away. Call once the
// install directory is known (after the settings are loaded) and before any thread starts.
void installFaultBackstop(const SaverSession& session);
// The session is going: a later fault only ends the process.
void forgetFaultBackstopSession();
