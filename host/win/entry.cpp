// The program's entry point: the single-instance gate, the run mode, the settings, the
// saver window and the message loop of the run mode.
#include "host/command_line.h"
#include "engine/win/render_control.h"
#include "host/win/display.h"
#include "host/win/fault_backstop.h"
#include "host/win/home_page_launch.h"
#include "host/win/saver_session.h"
#include "host/win/monitor_covers.h"
#include "host/win/saver_window.h"
#include "host/win/shutdown.h"
#include "resources/resource_ids.h"
#include "settings/win/settings_dialog.h"
#include "settings/win/settings_store.h"

namespace {

// The preview's tracker looks at its window every 50 ms.
constexpr DWORD trackerEndBoundMs = 1000;

// Shared by every process of this executable, through the image's shared section: a count
// that other processes must see can live nowhere else. Zero while none runs.
volatile LONG instanceCount __attribute__((section(".shared"), shared)) = 0;

// Passes the gate on construction; lowers the count on every way out.
class InstanceGate {
  public:
    InstanceGate() : count_(InterlockedIncrement(&instanceCount)) {}
    ~InstanceGate() {
        if (!left_)
            InterlockedDecrement(&instanceCount);
    }
    InstanceGate(const InstanceGate&) = delete;
    InstanceGate& operator=(const InstanceGate&) = delete;
    bool alone() const { return count_ == 1; }
    // The count left behind is the exit code of an instance that was turned away.
    int leave() {
        left_ = true;
        return static_cast<int>(InterlockedDecrement(&instanceCount));
    }

  private:
    LONG count_;
    bool left_ = false;
};

void runPreviewLoop(HWND saverWindow) {
    PostMessageA(saverWindow, WM_USER, 0, 0);
    MSG message;
    for (;;) {
        BOOL result = GetMessageA(&message, saverWindow, 0, 0);
        if (result == 0) {
            PostQuitMessage(0);
            return;
        }
        if (result == -1)
            return;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void runSaverLoop(MonitorCovers& covers) {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (!message.hwnd && message.message == monitorsChangedMessage) {
            covers.refresh();
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void runConfigureLoop(HWND settingsDialog) {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (settingsDialog && IsDialogMessageA(settingsDialog, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

bool measurePreview(void* owner, HWND preview, PreviewRect& placed) {
    SaverSession& session = *static_cast<SaverSession*>(owner);
    if (!session.measure(preview))
        return false;
    const TargetGeometry target = session.target();
    placed = {target.left, target.top, target.right, target.bottom};
    return true;
}

bool previewRendering(void* owner) {
    return static_cast<bool>(static_cast<SaverSession*>(owner)->renderThread);
}

bool rebuildPreview(void* owner, DWORD boundMs) {
    return rebuildRendering(*static_cast<SaverSession*>(owner), boundMs);
}

// Works out where the saver draws for the run mode; false when there is nowhere to draw.
// `previewHost` must outlive the dialog.
bool chooseTarget(SaverSession& session, const CommandLine& line, const PreviewHost& previewHost) {
    if (!line.previewFlag && !line.saverFlag) {
        session.dialog = createSettingsDialog(session.instance, previewHost);
        if (!session.dialog)
            return false;
        session.parent = GetDlgItem(session.dialog, IDC_PREVIEW);
        session.measure(session.parent);
    }
    if (line.previewFlag) {
        session.parent = reinterpret_cast<HWND>(static_cast<UINT_PTR>(line.windowNumber));
        session.measure(session.parent);
    } else if (line.saverFlag) {
        session.setTarget(
            {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), 0, 0});
    }
    return true;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR arguments,
                   int showCommand) {
    InstanceGate gate;
    if (!gate.alone())
        return gate.leave();

    CommandLine line = parseCommandLine(arguments);
    SaverSession session(instance, line.saverFlag, line.previewFlag);

    if (!loadSettings(session.stored))
        return 0;
    session.settings.seed(session.stored.record, session.stored.imagesFolder);
    installFaultBackstop(session);
    const PreviewHost previewHost = {&session,       measurePreview, previewRendering,
                                     rebuildPreview, openHomePage,   &session.settings};
    if (!chooseTarget(session, line, previewHost))
        return 0;
    if (!previousInstance && !registerSaverClass(instance))
        return 0;
    HWND saverWindow = createSaverWindow(session, instance, showCommand);
    if (!saverWindow)
        return 0;

    if (session.preview) {
        runPreviewLoop(saverWindow);
    } else if (session.saver) {
        {
            MonitorCovers covers(instance, saverWindow);
            runSaverLoop(covers);
        }
        showDeferredNotices(session);
    } else {
        runConfigureLoop(session.dialog);
    }
    const int exitCode = gate.leave();
    // A render thread left inside a decode or a folder walk ends with the process, before
    // the program's own objects are torn down under it.
    if (renderThreadRunning())
        ExitProcess(static_cast<UINT>(exitCode));
    // The session goes with this frame: its tracker, which sees the window gone within a
    // period, first; a fault from now on has no display to put back.
    if (session.previewTracker)
        WaitForSingleObject(session.previewTracker.get(), trackerEndBoundMs);
    forgetFaultBackstopSession();
    return exitCode;
}
