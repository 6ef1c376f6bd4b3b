#include "settings/win/settings_dialog.h"

#include "engine/win/settings_mailbox.h"
#include "resources/home_page.h"
#include "resources/resource_ids.h"
#include "resources/win/file_failure.h"
#include "resources/win/scoped.h"
#include "settings/dialog_controls.h"
#include "settings/win/monitor_setting_store.h"
#include "settings/win/settings_store.h"
#include "widgets/win/folder_browser.h"
#include "widgets/win/hyperlink.h"

#include <commctrl.h>

#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

constexpr const char* dialogTemplate = "SETUP";
constexpr const char* currentModeEntry = "current";
constexpr DWORD dropListPollMs = 500;
constexpr UINT dropListAskTimeoutMs = 2000;
// Posted by a DPI change, so that the preview is fitted once the system has scaled the
// dialog and its controls.
constexpr UINT fitPreviewMessage = WM_APP + 1;
// The render thread stops between two draws, well within this; one that does not (deep in
// a huge picture) keeps drawing at the old size, and the rebuild is tried again later.
constexpr DWORD previewRebuildBoundMs = 2000;
constexpr UINT_PTR rebuildRetryTimer = 1;
constexpr UINT rebuildRetryMs = 1000;

// A combo box's watcher thread: keeps the preview still while the list is open. The dialog
// owns it and ends it before its window goes.
class DropListWatcher {
  public:
    DropListWatcher(HWND comboBox, Renderer& renderer) : combo_(comboBox), renderer_(renderer) {}
    ~DropListWatcher() { end(); }
    DropListWatcher(const DropListWatcher&) = delete;
    DropListWatcher& operator=(const DropListWatcher&) = delete;
    bool start();
    void end();
    bool finished() const { return WaitForSingleObject(thread_.get(), 0) == WAIT_OBJECT_0; }

  private:
    static DWORD WINAPI run(void* self);
    HWND combo_;
    Renderer& renderer_;
    ScopedHandle ended_;
    ScopedHandle thread_;
};

// The dialog's own state, in its window data from WM_INITDIALOG to WM_NCDESTROY. The
// record and folder are what the controls show and OK saves; the render thread gets copies.
struct DialogState {
    SettingsPreview* preview;
    SaverSettings record;
    std::string imagesFolder;
    PreviewFreeze freeze;
    std::vector<std::unique_ptr<DropListWatcher>> watchers;
};

LRESULT sendItem(HWND dialog, int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return SendDlgItemMessageA(dialog, id, message, wParam, lParam);
}

void setSlider(HWND dialog, int id, int position) {
    sendItem(dialog, id, TBM_SETPOS, TRUE, position);
}

void setCheck(HWND dialog, int id, bool checked) {
    sendItem(dialog, id, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED);
}

// Null before WM_INITDIALOG and after WM_NCDESTROY.
DialogState* stateOf(HWND dialog) {
    return reinterpret_cast<DialogState*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

// The saver's side; null when the dialog has no state.
SettingsPreview* previewOf(HWND dialog) {
    const DialogState* state = stateOf(dialog);
    return state ? state->preview : nullptr;
}

// Hands a copy of the dialog's record (and of the folder, when it changed) to the preview's
// render thread, which takes it at its next safe point.
void sendChange(const DialogState& state, std::uint8_t what) {
    if (!state.preview || what == 0)
        return;
    try {
        SettingsChange change;
        change.record = state.record;
        if (what & SettingsChange::ImagesFolder)
            change.imagesFolder = state.imagesFolder;
        change.what = what;
        state.preview->renderer().settings().post(change);
    } catch (const std::bad_alloc&) {
        // No room for the copy: the preview keeps what it shows; OK still saves the dialog's.
    }
}

bool isChecked(HWND dialog, int id) {
    return sendItem(dialog, id, BM_GETCHECK) == BST_CHECKED;
}

class DialogControls : public ControlReader {
  public:
    explicit DialogControls(HWND dialog) : dialog_(dialog) {}
    long sliderPosition(int id) const override {
        return static_cast<long>(sendItem(dialog_, id, TBM_GETPOS));
    }
    bool checked(int id) const override { return isChecked(dialog_, id); }
    long comboSelection() const override {
        return static_cast<long>(sendItem(dialog_, IDC_VIDEO_MODE, CB_GETCURSEL));
    }

  private:
    HWND dialog_;
};

void initSliders(HWND dialog, const SaverSettings& record) {
    for (const SliderControl& slider : sliderControls)
        sendItem(dialog, slider.id, TBM_SETRANGE, TRUE, MAKELPARAM(slider.minimum, slider.maximum));
    for (const SliderControl& slider : sliderControls)
        setSlider(dialog, slider.id, record.*slider.field);
}

void initCheckBoxes(HWND dialog, const SaverSettings& record) {
    setCheck(dialog, IDC_REMEMBER_PICTURE, record.rememberPicture != 0);
    setCheck(dialog, IDC_WALLPAPER_GENERATOR, record.wallpaperGenerator != 0);
    for (int i = 0; i < pictureFormatCount; ++i) {
        setCheck(dialog, IDC_FORMAT_BMP + i, record.formats[i].formatEnabled != 0);
        setCheck(dialog, IDC_CUT_BMP + i, record.formats[i].formatCutBackground != 0);
    }
}

// The link sits over the empty placeholder's area.
void createHomePageLink(HWND dialog) {
    HWND placeholder = GetDlgItem(dialog, IDC_LINK_PLACEHOLDER);
    RECT area = {};
    GetClientRect(placeholder, &area);
    MapWindowPoints(placeholder, dialog, reinterpret_cast<POINT*>(&area), 2);
    hyperLink.create(area, homePageUrl, dialog);
}

// The record and folder the saver loaded, as the session's mailbox holds them.
BOOL onInitDialog(HWND dialog, LPARAM previewParameter) {
    auto* preview = reinterpret_cast<SettingsPreview*>(previewParameter);
    std::unique_ptr<DialogState> state(new (std::nothrow) DialogState{preview, {}, {}, {}, {}});
    if (!state || !preview) {
        DestroyWindow(dialog);
        return FALSE;
    }
    const SettingsChange loaded = preview->renderer().settings().latest();
    state->record = loaded.record;
    state->imagesFolder = loaded.imagesFolder;
    const SaverSettings record = state->record;
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(state.release()));
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(dialog, GWLP_HINSTANCE));
    SendMessageA(dialog, WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(LoadIconA(instance, MAKEINTRESOURCEA(IDI_VELLUTOR))));
    InitCommonControls();
    initSliders(dialog, record);
    initCheckBoxes(dialog, record);
    setCheck(dialog, IDC_EVERY_MONITOR, readPicturesOnEveryMonitor());
    sendItem(dialog, IDC_VIDEO_MODE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(currentModeEntry));
    createHomePageLink(dialog);
    return TRUE;
}

// Keeps the saver's target on the preview, and the preview still while it is not wholly on
// the screen (the render thread would draw over whatever lies beyond the edge).
void onMove(HWND dialog) {
    HWND preview = GetDlgItem(dialog, IDC_PREVIEW);
    DialogState* state = stateOf(dialog);
    if (!preview || !state || !state->preview)
        return;
    Renderer& renderer = state->preview->renderer();
    renderer.hold();
    PreviewRect placed = {};
    if (!state->preview->measure(preview, placed)) {
        renderer.release();
        return;
    }
    const bool onScreen =
        previewWhollyOnScreen(placed, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    for (int i = state->freeze.releaseAfterMove(onScreen); i > 0; --i)
        renderer.release();
}

// Every position the thumb passes goes to the preview; the render thread reads each field
// at its next use.
void onHorizontalScroll(HWND dialog, WPARAM wParam, HWND control) {
    const int id = GetDlgCtrlID(control);
    const SliderControl* slider = control ? sliderFor(id) : nullptr;
    DialogState* state = stateOf(dialog);
    if (!slider || !state || GetDlgItem(dialog, id) != control)
        return;
    const int code = LOWORD(wParam);
    const long asked = (code == sliderThumbTrack || code == sliderThumbPosition)
                           ? 0
                           : static_cast<long>(SendMessageA(control, TBM_GETPOS, 0, 0));
    state->record.*slider->field = sliderValue(code, HIWORD(wParam), asked);
    const bool rendering = state->preview && state->preview->renderer().hasThread();
    sendChange(*state, sliderChangeFlags(id, code, rendering));
}

// Any other command id is none of the check boxes and does nothing.
void onCheckBox(HWND dialog, int id) {
    DialogState* state = stateOf(dialog);
    std::uint8_t* field = state ? checkBoxField(state->record, id) : nullptr;
    if (!field)
        return;
    *field = isChecked(dialog, id) ? 1 : 0;
    sendChange(*state, SettingsChange::Record);
}

void reportNotSaved(HWND dialog, const SaveOutcome& outcome) {
    const std::string text =
        resourceText(IDS_SETTINGS_NOT_SAVED, {outcome.path, systemReason(outcome.error)});
    const std::string caption = resourceText(IDS_SAVER_NAME, {});
    MessageBoxA(dialog, text.c_str(), caption.c_str(), MB_OK | MB_ICONEXCLAMATION);
}

void onOk(HWND dialog) {
    DialogState* state = stateOf(dialog);
    if (!state)
        return;
    state->record = recordFromControls(DialogControls(dialog));
    sendChange(*state, SettingsChange::Record);
    const SaveOutcome outcome = saveSettings(state->record, state->imagesFolder);
    // A save that failed keeps the dialog open with the user's values, so that OK can be
    // tried again or Cancel chosen.
    if (!outcome.saved()) {
        reportNotSaved(dialog, outcome);
        return;
    }
    // Kept apart from the file, whose layout stays as it is; a run without it shows pictures.
    writePicturesOnEveryMonitor(isChecked(dialog, IDC_EVERY_MONITOR));
    DestroyWindow(dialog);
}

// The preview stays still while the user browses.
void onSetImagesFolder(HWND dialog) {
    DialogState* state = stateOf(dialog);
    if (!state)
        return;
    RenderHold hold(state->preview->renderer());
    char chosen[folderPathCapacity];
    const unsigned length = browseForFolder(dialog, chosen);
    if (length == 0)
        return;
    state->imagesFolder.assign(chosen, length - 1);
    sendChange(*state, SettingsChange::ImagesFolder);
}

// The process ends with the dialog, and this hold with it.
void onHomePage(HWND dialog) {
    if (SettingsPreview* preview = previewOf(dialog)) {
        preview->renderer().hold();
        preview->openHomePage();
    }
    DestroyWindow(dialog);
}

void onRestoreDefaults(HWND dialog) {
    DialogState* state = stateOf(dialog);
    if (!state)
        return;
    state->record = restoredDefaults(state->record);
    for (const SliderControl& slider : sliderControls)
        setSlider(dialog, slider.id, state->record.*slider.field);
    // These two and the video mode are left in the record; OK reads them from the controls.
    setCheck(dialog, IDC_REMEMBER_PICTURE, false);
    setCheck(dialog, IDC_WALLPAPER_GENERATOR, false);
    setCheck(dialog, IDC_EVERY_MONITOR, true);
    sendItem(dialog, IDC_VIDEO_MODE, CB_SETCURSEL, 0);
    std::uint8_t what = restoreDefaultsChange;
    std::string installDir;
    if (readInstallDir(installDir, installDirRestoreReadSize)) {
        state->imagesFolder = defaultImagesFolder(installDir);
        what |= SettingsChange::ImagesFolder;
    }
    sendChange(*state, what);
}

// Every notification of the list starts a watcher with a counted hold of its own: a preview
// that somebody else holds already stays still all the same, and no watcher can give back a
// hold it did not take.
void onVideoModeNotification(HWND dialog) {
    DialogState* state = stateOf(dialog);
    if (!state)
        return;
    auto& watchers = state->watchers;
    watchers.erase(std::remove_if(watchers.begin(), watchers.end(),
                                  [](const auto& watcher) { return watcher->finished(); }),
                   watchers.end());
    try {
        auto watcher = std::make_unique<DropListWatcher>(GetDlgItem(dialog, IDC_VIDEO_MODE),
                                                         state->preview->renderer());
        if (watcher->start())
            state->watchers.push_back(std::move(watcher));
    } catch (const std::bad_alloc&) {
        // No watcher: the preview keeps moving while the list is open.
    }
}

void onCommand(HWND dialog, int id) {
    switch (id) {
    case IDC_SETTINGS_OK:
        onOk(dialog);
        break;
    case IDC_SETTINGS_CANCEL:
        DestroyWindow(dialog);
        break;
    case IDC_SET_IMAGES_FOLDER:
        onSetImagesFolder(dialog);
        break;
    case IDC_HOME_PAGE:
        onHomePage(dialog);
        break;
    case IDC_RESTORE_DEFAULTS:
        onRestoreDefaults(dialog);
        break;
    case IDC_VIDEO_MODE:
        onVideoModeNotification(dialog);
        break;
    default:
        onCheckBox(dialog, id);
        break;
    }
}

// The saver window fills the preview's frame again, and the render thread draws where the
// frame now is, on a picture surface of the frame's new size.
void fitPreview(HWND dialog) {
    HWND preview = GetDlgItem(dialog, IDC_PREVIEW);
    HWND saver = preview ? GetWindow(preview, GW_CHILD) : nullptr;
    RECT frame = {};
    RECT shown = {};
    SettingsPreview* host = previewOf(dialog);
    if (!saver || !host || !GetClientRect(preview, &frame) || !GetClientRect(saver, &shown))
        return;
    RenderHold hold(host->renderer());
    SetWindowPos(saver, nullptr, 0, 0, frame.right, frame.bottom,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
    PreviewRect placed = {};
    host->measure(preview, placed);
    // The picture surface keeps the size the thread draws at until a rebuild gets through.
    const bool resized = frame.right != shown.right || frame.bottom != shown.bottom;
    const bool retrying = KillTimer(dialog, rebuildRetryTimer) != FALSE;
    if ((resized || retrying) && host->rebuild(previewRebuildBoundMs) == PreviewRebuild::Later)
        SetTimer(dialog, rebuildRetryTimer, rebuildRetryMs, nullptr);
}

// The system scales a per-monitor aware dialog and its controls by itself (the result
// FALSE leaves that to it); the saver window in the preview is no control of the template.
void onDpiChanged(HWND dialog) {
    PostMessageA(dialog, fitPreviewMessage, 0, 0);
}

// The drop-down list in the dialog's face colour.
INT_PTR onListBoxColour(HDC dc) {
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
}

// The dialog's state goes with its window, its watchers ended first.
void onNcDestroy(HWND dialog) {
    std::unique_ptr<DialogState> state(stateOf(dialog));
    SetWindowLongPtrA(dialog, DWLP_USER, 0);
}

INT_PTR CALLBACK settingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return onInitDialog(dialog, lParam);
    case WM_MOVE:
        onMove(dialog);
        return FALSE;
    case WM_HSCROLL:
        onHorizontalScroll(dialog, wParam, reinterpret_cast<HWND>(lParam));
        return TRUE;
    case WM_COMMAND:
        onCommand(dialog, LOWORD(wParam));
        return TRUE;
    case WM_CTLCOLORLISTBOX:
        return onListBoxColour(reinterpret_cast<HDC>(wParam));
    case WM_DPICHANGED:
        onDpiChanged(dialog);
        return FALSE;
    case fitPreviewMessage:
        fitPreview(dialog);
        return TRUE;
    case WM_TIMER:
        if (wParam == rebuildRetryTimer)
            fitPreview(dialog);
        return TRUE;
    case WM_NCDESTROY:
        onNcDestroy(dialog);
        return FALSE;
    default:
        return FALSE;
    }
}

// Whether the list is still open; a combo box that does not answer counts as closed, so
// that the watcher cannot keep the preview still for good.
bool listDroppedDown(HWND comboBox) {
    DWORD_PTR dropped = 0;
    if (!SendMessageTimeoutA(comboBox, CB_GETDROPPEDSTATE, 0, 0, SMTO_ABORTIFHUNG,
                             dropListAskTimeoutMs, &dropped))
        return false;
    return dropped != 0;
}

bool DropListWatcher::start() {
    ended_.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (ended_)
        thread_.reset(CreateThread(nullptr, 0, run, this, 0, nullptr));
    return static_cast<bool>(thread_);
}

// The combo box is gone or going: the thread's next question fails at once. Messages sent
// meanwhile to this thread's windows are answered while it waits.
void DropListWatcher::end() {
    if (!thread_)
        return;
    SetEvent(ended_.get());
    const HANDLE thread = thread_.get();
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE) ==
           WAIT_OBJECT_0 + 1) {
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    thread_.reset();
}

// The preview stays still while the list is open, and at least half a second.
DWORD WINAPI DropListWatcher::run(void* self) {
    DropListWatcher& watcher = *static_cast<DropListWatcher*>(self);
    RenderHold hold(watcher.renderer_);
    do {
        if (WaitForSingleObject(watcher.ended_.get(), dropListPollMs) == WAIT_OBJECT_0)
            break;
    } while (listDroppedDown(watcher.combo_));
    return 0;
}

} // namespace

HWND createSettingsDialog(HINSTANCE instance, SettingsPreview& preview) {
    return CreateDialogParamA(instance, dialogTemplate, nullptr, settingsDialogProc,
                              reinterpret_cast<LPARAM>(&preview));
}

void showDisplayModes(HWND dialog, const std::vector<std::string>& modes, int selected) {
    for (const std::string& mode : modes)
        sendItem(dialog, IDC_VIDEO_MODE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(mode.c_str()));
    sendItem(dialog, IDC_VIDEO_MODE, CB_SETCURSEL, static_cast<WPARAM>(selected));
}
