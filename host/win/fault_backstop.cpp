#include "host/win/fault_backstop.h"

#include "settings/settings_record.h"
#include "settings/win/settings_store.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The filter gets no context from Windows, so the full path of "vellutor.fsl" is prepared
// here once, before any thread runs; the filter only reads it.
char rememberedPicturePath[MAX_PATH] = {};

// The session whose display a fault puts back: an exception filter gets no parameter, so
// the one session of the process is named here. Set before any other thread starts.
const SaverSession* volatile faultSession = nullptr;

// Writes the remembered picture with nothing but the stack and direct file calls: the
// faulting thread may hold the heap's lock or any of the program's own.
void writeRememberedPictureNow() {
    const SaverSession* session = faultSession;
    if (rememberedPicturePath[0] == '\0' || !session)
        return;
    char name[lastPictureNameSize];
    const char* remembered = session->stored.lastPictureName;
    std::size_t length = strnlen(remembered, lastPictureNameSize - 1);
    std::memcpy(name, remembered, length);
    name[length] = '\0';
    HANDLE file = CreateFileA(rememberedPicturePath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, name, static_cast<DWORD>(length + 1), &written, nullptr);
    CloseHandle(file);
}

// Puts the desktop's display mode back. DirectDraw's own restore first, as the normal
// ending does; the system's registry mode when that fails.
void restoreDisplayNow() {
    const SaverSession* session = faultSession;
    if (!session || !session->saver || !session->displayModeChanged)
        return;
    IDirectDraw2* directDraw = session->directDraw.get();
    if (!directDraw || FAILED(directDraw->RestoreDisplayMode()))
        ChangeDisplaySettingsA(nullptr, 0);
}

LONG WINAPI onUnhandledFault(EXCEPTION_POINTERS*) {
    restoreDisplayNow();
    writeRememberedPictureNow();
    // No unwinding, no library teardown: the broken thread's state is never touched again.
    TerminateProcess(GetCurrentProcess(), faultExitCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

} // namespace

void installFaultBackstop(const SaverSession& session) {
    faultSession = &session;
    std::string dir;
    if (readInstallDir(dir)) {
        const char* separator = !dir.empty() && dir.back() != '\\' ? "\\" : "";
        const int made = std::snprintf(rememberedPicturePath, sizeof(rememberedPicturePath),
                                       "%s%s%s", dir.c_str(), separator, rememberedPictureFileName);
        if (made < 0 || static_cast<std::size_t>(made) >= sizeof(rememberedPicturePath))
            rememberedPicturePath[0] = '\0';
    }
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(onUnhandledFault);
}

void forgetFaultBackstopSession() {
    faultSession = nullptr;
}
