#include "host/win/fault_backstop.h"

#include "settings/settings_record.h"
#include "settings/win/settings_store.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// An unhandled-exception filter gets no parameter from Windows, so what it needs is this one
// process-wide record: filled by installFaultBackstop before any other thread starts, only
// read by the filter, and the session cleared again before it goes.
struct FaultRecord {
    // The session whose display a fault puts back.
    const SaverSession* volatile session = nullptr;
    // The full path of "vellutor.fsl", prepared beforehand: the filter must not allocate.
    char rememberedPicturePath[MAX_PATH] = {};
};
FaultRecord faultRecord;

// Writes the remembered picture with nothing but the stack and direct file calls: the
// faulting thread may hold the heap's lock or any of the program's own.
void writeRememberedPictureNow() {
    const SaverSession* session = faultRecord.session;
    if (faultRecord.rememberedPicturePath[0] == '\0' || !session)
        return;
    char name[lastPictureNameSize];
    const char* remembered = session->rememberedPicture();
    std::size_t length = strnlen(remembered, lastPictureNameSize - 1);
    std::memcpy(name, remembered, length);
    name[length] = '\0';
    HANDLE file = CreateFileA(faultRecord.rememberedPicturePath, GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, name, static_cast<DWORD>(length + 1), &written, nullptr);
    CloseHandle(file);
}

// Puts the desktop's display mode back. DirectDraw's own restore first, as the normal
// ending does; the system's registry mode when that fails.
void restoreDisplayNow() {
    const SaverSession* session = faultRecord.session;
    if (!session || !session->saver() || !session->display().modeChanged())
        return;
    IDirectDraw2* directDraw = session->display().directDraw();
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
    faultRecord.session = &session;
    std::string dir;
    if (readInstallDir(dir)) {
        const char* separator = !dir.empty() && dir.back() != '\\' ? "\\" : "";
        const int made = std::snprintf(faultRecord.rememberedPicturePath,
                                       sizeof(faultRecord.rememberedPicturePath), "%s%s%s",
                                       dir.c_str(), separator, rememberedPictureFileName);
        if (made < 0 || static_cast<std::size_t>(made) >= sizeof(faultRecord.rememberedPicturePath))
            faultRecord.rememberedPicturePath[0] = '\0';
    }
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(onUnhandledFault);
}

void forgetFaultBackstopSession() {
    faultRecord.session = nullptr;
}
