#include "host/win/fault_backstop.h"

#include "settings/settings_record.h"
#include "settings/win/settings_store.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// An unhandled-exception filter gets no parameter from Windows, so what it needs is this one
// process-wide record: filled by installFaultBackstop before any other thread starts, read by
// the filter (which writes only its room for the skip file), and the session cleared again
// before it goes.
struct FaultRecord {
    // The session whose display a fault puts back.
    const SaverSession* volatile session = nullptr;
    // The full paths of "vellutor.fsl" and of the pictures to skip, prepared beforehand: the
    // filter must not allocate.
    char rememberedPicturePath[MAX_PATH] = {};
    char skippedPicturesPath[MAX_PATH] = {};
    // Room to make the skip file in, here rather than on a stack that may have overflowed.
    SkippedPictures skipped;
    std::uint8_t skippedFile[skippedPicturesFileMax] = {};
};
FaultRecord faultRecord;

// Replaces the file at `path` (prepared, may be empty) with `size` bytes.
void writeFileNow(const char* path, const void* data, DWORD size) {
    if (path[0] == '\0')
        return;
    HANDLE file =
        CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, data, size, &written, nullptr);
    CloseHandle(file);
}

// A picture whose decode faulted joins the ones the next runs pass by. The filter runs on
// the faulting thread: only that thread's show can have brought the fault.
void recordSkippedPictureNow() {
    const SaverSession* session = faultRecord.session;
    const PictureUnderDecode* underDecode = session ? session->pictureUnderDecodeHere() : nullptr;
    if (!underDecode || !underDecode->underway.load(std::memory_order_acquire))
        return;
    const SkippedPicture& faulted = underDecode->picture;
    faultRecord.skipped = session->stored().skippedPictures;
    faultRecord.skipped.add(faulted.name, faulted.stamp);
    const std::size_t size = serializeSkippedPictures(faultRecord.skipped, faultRecord.skippedFile);
    writeFileNow(faultRecord.skippedPicturesPath, faultRecord.skippedFile, DWORD(size));
}

// Writes the remembered picture, the last one shown, with nothing but the stack and direct
// file calls: the faulting thread may hold the heap's lock or any of the program's own. In
// configure mode the preview may show a folder chosen and never saved, and the dialog's
// changes end with the fault: the file keeps its picture of the saved folder.
void writeRememberedPictureNow() {
    const SaverSession* session = faultRecord.session;
    if (!session || session->configure())
        return;
    char name[lastPictureNameSize];
    const char* remembered = session->rememberedPicture();
    std::size_t length = strnlen(remembered, lastPictureNameSize - 1);
    std::memcpy(name, remembered, length);
    name[length] = '\0';
    writeFileNow(faultRecord.rememberedPicturePath, name, static_cast<DWORD>(length + 1));
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
    recordSkippedPictureNow();
    writeRememberedPictureNow();
    // No unwinding, no library teardown: the broken thread's state is never touched again.
    TerminateProcess(GetCurrentProcess(), faultExitCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

// `name` in the install folder `dir`; empty when the path does not fit.
void preparePath(char (&path)[MAX_PATH], const std::string& dir, const char* name) {
    const char* separator = !dir.empty() && dir.back() != '\\' ? "\\" : "";
    const int made = std::snprintf(path, sizeof(path), "%s%s%s", dir.c_str(), separator, name);
    if (made < 0 || static_cast<std::size_t>(made) >= sizeof(path))
        path[0] = '\0';
}

} // namespace

void installFaultBackstop(const SaverSession& session) {
    faultRecord.session = &session;
    std::string dir;
    if (readInstallDir(dir)) {
        preparePath(faultRecord.rememberedPicturePath, dir, rememberedPictureFileName);
        preparePath(faultRecord.skippedPicturesPath, dir, skippedPicturesFileName);
    }
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(onUnhandledFault);
}

void forgetFaultBackstopSession() {
    faultRecord.session = nullptr;
}
