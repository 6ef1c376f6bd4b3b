// The program's entry point: the single-instance gate, the run mode, the settings, the
// saver window and the message loop of the run mode.
#include "host/command_line.h"
#include "host/win/display.h"
#include "host/win/fault_backstop.h"
#include "host/win/home_page_launch.h"
#include "host/win/saver_session.h"
#include "host/win/monitor_covers.h"
#include "settings/win/monitor_setting_store.h"
#include "host/win/saver_window.h"
#include "host/win/shutdown.h"
#include "resources/resource_ids.h"
#include "settings/win/settings_dialog.h"
#include "settings/win/settings_store.h"

namespace {

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

// The settings dialog's side of the preview that runs in it.
class DialogPreview : public SettingsPreview {
  public:
    explicit DialogPreview(SaverSession& session) : session_(session) {}
    Renderer& renderer() override { return session_.renderers().primary(); }
    bool measure(HWND frame, PreviewRect& placed) override {
        if (!session_.measure(frame))
            return false;
        const TargetGeometry target = session_.target();
        placed = {target.left, target.top, target.right, target.bottom};
        return true;
    }
    PreviewRebuild rebuild(DWORD boundMs) override { return rebuildRendering(session_, boundMs); }
    bool openHomePage() override { return ::openHomePage(); }

  private:
    SaverSession& session_;
};

// Works out where the saver draws for the run mode; false when there is nowhere to draw.
// `preview` must outlive the dialog.
bool chooseTarget(SaverSession& session, const CommandLine& line, SettingsPreview& preview) {
    if (!line.previewFlag && !line.saverFlag) {
        session.setDialog(createSettingsDialog(session.instance(), preview));
        if (!session.dialog())
            return false;
        session.setParent(GetDlgItem(session.dialog(), IDC_PREVIEW));
        session.measure(session.parent());
    }
    if (line.previewFlag) {
        session.setParent(reinterpret_cast<HWND>(static_cast<UINT_PTR>(line.windowNumber)));
        session.measure(session.parent());
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

    if (!session.loadStored())
        return 0;
    installFaultBackstop(session);
    DialogPreview dialogPreview(session);
    if (!chooseTarget(session, line, dialogPreview))
        return 0;
    if (!previousInstance && !SaverWindow::registerClass(instance))
        return 0;
    // Goes before the session: the preview's tracker reads the session's place.
    SaverWindow saver(session);
    HWND saverWindow = saver.create(instance, showCommand);
    if (!saverWindow)
        return 0;
    if (session.dialog())
        showDisplayModes(session.dialog(), session.display().modes(),
                         session.stored().record.videoMode);

    if (session.preview()) {
        runPreviewLoop(saverWindow);
    } else if (session.saver()) {
        {
            // A chosen video mode keeps the other monitors black.
            const bool everyMonitor =
                readPicturesOnEveryMonitor() && !session.display().modeChanged();
            MonitorCovers covers(instance, saverWindow,
                                 everyMonitor ? &session.renderers() : nullptr);
            runSaverLoop(covers);
        }
        showDeferredNotices(session);
    } else {
        runConfigureLoop(session.dialog());
    }
    // Nothing the tracker reads may go before it has ended.
    saver.stopTracking();
    const int exitCode = gate.leave();
    // A render thread left inside a decode or a folder walk ends with the process, before
    // the program's own objects are torn down under it.
    if (session.renderers().anyRunning())
        ExitProcess(static_cast<UINT>(exitCode));
    // A fault from now on has no display to put back.
    forgetFaultBackstopSession();
    return exitCode;
}
