// The program's entry point: the single-instance gate, the run mode, the settings, the
// saver window and the message loop of the run mode.
#include "host/command_line.h"
#include "engine/win/render_control.h"
#include "host/win/display.h"
#include "host/win/fault_backstop.h"
#include "host/win/host_state.h"
#include "host/win/monitor_covers.h"
#include "host/win/saver_window.h"
#include "host/win/shutdown.h"
#include "resources/resource_ids.h"
#include "settings/win/settings_dialog.h"
#include "settings/win/settings_store.h"

namespace {

// Shared by every process of this executable; zero while none runs.
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

void runPreviewLoop() {
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

void runConfigureLoop() {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (settingsDialog && IsDialogMessageA(settingsDialog, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// Works out where the saver draws for the run mode; false when there is nowhere to draw.
bool chooseTarget(const CommandLine& line) {
    if (!line.previewFlag && !line.saverFlag) {
        settingsDialog = createSettingsDialog(moduleInstance);
        if (!settingsDialog)
            return false;
        parentWindow = GetDlgItem(settingsDialog, IDC_PREVIEW);
        measureWindow(parentWindow);
    }
    if (line.previewFlag) {
        parentWindow = reinterpret_cast<HWND>(static_cast<UINT_PTR>(line.windowNumber));
        measureWindow(parentWindow);
    } else if (line.saverFlag) {
        TargetOrigin = {0, 0};
        TargetRect = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    }
    return true;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR arguments,
                   int showCommand) {
    InstanceGate gate;
    if (!gate.alone())
        return gate.leave();

    moduleInstance = instance;
    CommandLine line = parseCommandLine(arguments);
    saverFlag = line.saverFlag;
    previewFlag = line.previewFlag;

    if (!loadSettings())
        return 0;
    installFaultBackstop();
    if (!chooseTarget(line))
        return 0;
    if (!previousInstance && !registerSaverClass(instance))
        return 0;
    saverWindow = createSaverWindow(instance, showCommand);
    if (!saverWindow)
        return 0;

    if (previewFlag) {
        runPreviewLoop();
    } else if (saverFlag) {
        {
            MonitorCovers covers(instance, saverWindow);
            runSaverLoop(covers);
        }
        showDeferredNotices();
    } else {
        runConfigureLoop();
    }
    const int exitCode = gate.leave();
    // A render thread left inside a decode or a folder walk ends with the process, before
    // the program's own objects are torn down under it.
    if (renderThreadRunning())
        ExitProcess(static_cast<UINT>(exitCode));
    return exitCode;
}
