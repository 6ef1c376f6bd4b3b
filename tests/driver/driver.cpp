// Test driver: a console program that the Wine tests run next to the saver to do what the
// control panel, another process or a user would do, and to look at windows from the inside.
//
// Usage: driver <command> [arguments]. Results go to stdout, one "key value" per line; a
// record of several fields puts the free text last. Exit code 0 when the command did its
// job, 1 when what it looked for is not there (window, value), 2 for a usage error.
#include <windows.h>
#include <commctrl.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "resources/win/scoped.h"

namespace {

constexpr int usageError = 2;
constexpr int notFound = 1;

// The control panel's preview is this size on the systems the saver was made for.
constexpr int previewClientWidth = 152;
constexpr int previewClientHeight = 112;
constexpr char previewHostClass[] = "VellutorTestHost";

using Args = std::vector<std::string>;

void say(const char* format, ...) {
    va_list list;
    va_start(list, format);
    std::vprintf(format, list);
    va_end(list);
    std::fputc('\n', stdout);
    // The tests read the output file while the driver still runs (holdfile).
    std::fflush(stdout);
}

// Decimal, or hexadecimal with 0x.
long long number(const std::string& text) {
    return std::strtoll(text.c_str(), nullptr, 0);
}

HWND windowArg(const std::string& text) {
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(number(text)));
}

unsigned long long handleValue(HWND window) {
    return static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window));
}

// Text on one line: the line format has no quoting.
std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n' || c == '\t')
            c = ' ';
    return text;
}

std::string classOf(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string textOf(HWND window) {
    char text[512] = {};
    GetWindowTextA(window, text, sizeof text);
    return oneLine(text);
}

// Keeps this thread's windows answering: a child window of another process makes the system
// send messages to its parent, which would otherwise wait for us forever.
void pumpFor(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        const DWORD spent = GetTickCount() - start;
        if (spent >= milliseconds)
            return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - spent, QS_ALLINPUT);
    }
}

// Waits for a process while pumping messages; true when it ended.
bool waitProcess(HANDLE process, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD spent = GetTickCount() - start;
        const DWORD left = spent >= timeoutMs ? 0 : timeoutMs - spent;
        const DWORD woke =
            MsgWaitForMultipleObjects(1, &process, FALSE, left > 50 ? 50 : left, QS_ALLINPUT);
        if (woke == WAIT_OBJECT_0)
            return true;
        pumpFor(0);
        if (left == 0)
            return WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    }
}

void reportExit(HANDLE process, bool ended) {
    if (!ended) {
        say("exit timeout");
        return;
    }
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    say("exit %lu", static_cast<unsigned long>(code));
}

struct Started {
    ScopedHandle process;
    DWORD id = 0;
};

// Starts `program` with `arguments` as its command line tail, the way the system starts a
// screen saver: "program" arguments.
bool startProgram(const std::string& program, const std::string& arguments, Started& out) {
    std::string line = "\"" + program + "\"";
    if (!arguments.empty())
        line += " " + arguments;
    std::vector<char> buffer(line.begin(), line.end());
    buffer.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                        nullptr, nullptr, &startup, &info)) {
        say("error CreateProcess %lu", static_cast<unsigned long>(GetLastError()));
        return false;
    }
    ScopedHandle thread(info.hThread);
    out.process.reset(info.hProcess);
    out.id = info.dwProcessId;
    say("pid %lu", static_cast<unsigned long>(info.dwProcessId));
    return true;
}

std::string joinFrom(const Args& args, size_t first) {
    std::string joined;
    for (size_t i = first; i < args.size(); ++i) {
        if (i > first)
            joined += ' ';
        joined += args[i];
    }
    return joined;
}

void describeWindow(const char* key, HWND window) {
    // Visibility first: a window being shown meanwhile then never reads as visible with a
    // style from before it was shown.
    const bool visible = IsWindowVisible(window) != FALSE;
    RECT rect = {};
    GetWindowRect(window, &rect);
    RECT client = {};
    GetClientRect(window, &client);
    const LONG style = GetWindowLongA(window, GWL_STYLE);
    const LONG exStyle = GetWindowLongA(window, GWL_EXSTYLE);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    say("%s %llu", key, handleValue(window));
    say("class %s", classOf(window).c_str());
    say("title %s", textOf(window).c_str());
    say("rect %ld %ld %ld %ld", rect.left, rect.top, rect.right, rect.bottom);
    say("client %ld %ld", client.right - client.left, client.bottom - client.top);
    say("style 0x%08lx", static_cast<unsigned long>(style));
    say("exstyle 0x%08lx", static_cast<unsigned long>(exStyle));
    say("visible %d", visible ? 1 : 0);
    say("topmost %d", (exStyle & WS_EX_TOPMOST) ? 1 : 0);
    say("owner_pid %lu", static_cast<unsigned long>(pid));
}

// --- run: start a program and wait for it, noting every window it shows -------------------

struct ShownWindows {
    DWORD pid;
    std::vector<HWND> seen;
};

BOOL CALLBACK noteShownWindow(HWND window, LPARAM context) {
    auto* shown = reinterpret_cast<ShownWindows*>(context);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != shown->pid || !IsWindowVisible(window))
        return TRUE;
    for (HWND known : shown->seen)
        if (known == window)
            return TRUE;
    shown->seen.push_back(window);
    say("window %llu %s %s", handleValue(window), classOf(window).c_str(), textOf(window).c_str());
    return TRUE;
}

// run <timeout ms> <program> [arguments...]
int commandRun(const Args& args) {
    if (args.size() < 2)
        return usageError;
    const DWORD timeoutMs = static_cast<DWORD>(number(args[0]));
    Started child;
    if (!startProgram(args[1], joinFrom(args, 2), child))
        return notFound;
    ShownWindows shown{child.id, {}};
    const DWORD start = GetTickCount();
    bool ended = false;
    for (;;) {
        EnumWindows(noteShownWindow, reinterpret_cast<LPARAM>(&shown));
        if (WaitForSingleObject(child.process.get(), 10) == WAIT_OBJECT_0) {
            ended = true;
            break;
        }
        if (GetTickCount() - start >= timeoutMs)
            break;
    }
    say("windows %u", static_cast<unsigned>(shown.seen.size()));
    reportExit(child.process.get(), ended);
    return 0;
}

// --- preview: play the control panel's preview window ----------------------------------------

LRESULT CALLBACK previewHostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND createPreviewHost() {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = previewHostProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
    windowClass.lpszClassName = previewHostClass;
    RegisterClassA(&windowClass);
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE | WS_CLIPCHILDREN;
    RECT frame = {0, 0, previewClientWidth, previewClientHeight};
    AdjustWindowRect(&frame, style, FALSE);
    return CreateWindowA(previewHostClass, "Vellutor preview host", style, 40, 40,
                         frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                         windowClass.hInstance, nullptr);
}

BOOL CALLBACK keepFirstChild(HWND child, LPARAM context) {
    *reinterpret_cast<HWND*>(context) = child;
    return FALSE;
}

HWND firstChild(HWND host) {
    HWND found = nullptr;
    EnumChildWindows(host, keepFirstChild, reinterpret_cast<LPARAM>(&found));
    return found;
}

// The saver's window in the host, once it is shown (a window seen between its creation and
// its ShowWindow would be reported hidden); after a grace period it is taken as it is.
HWND waitForChild(HWND host, HANDLE process, DWORD timeoutMs) {
    constexpr DWORD showGraceMs = 2000;
    const DWORD start = GetTickCount();
    HWND child = nullptr;
    DWORD seenAt = 0;
    for (;;) {
        if (!child && (child = firstChild(host)) != nullptr)
            seenAt = GetTickCount();
        if (child && (IsWindowVisible(child) || GetTickCount() - seenAt >= showGraceMs))
            return child;
        if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0 || GetTickCount() - start >= timeoutMs)
            return child;
        pumpFor(20);
    }
}

std::string replaceAll(std::string text, const std::string& what, const std::string& with) {
    for (size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
    return text;
}

bool startsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// preview <timeout ms> <program> <arguments with %h for the host> [steps...]
// Steps, done in order: child (wait for the saver's window and describe it), key=VK,
// char=C, sys=COMMAND, lbuttonup, lbuttonflood=N (N releases posted at once), rbuttondown,
// sleep=MS, destroy (the host), alive, exit.
int commandPreview(const Args& args) {
    if (args.size() < 3)
        return usageError;
    const DWORD timeoutMs = static_cast<DWORD>(number(args[0]));
    HWND host = createPreviewHost();
    if (!host) {
        say("error host window");
        return notFound;
    }
    say("host %llu", handleValue(host));
    pumpFor(0);
    Started child;
    const std::string arguments = replaceAll(args[2], "%h", std::to_string(handleValue(host)));
    if (!startProgram(args[1], arguments, child)) {
        DestroyWindow(host);
        return notFound;
    }
    HWND saver = nullptr;
    for (size_t i = 3; i < args.size(); ++i) {
        const std::string& step = args[i];
        const std::string value = step.substr(step.find('=') + 1);
        if (step == "child") {
            saver = waitForChild(host, child.process.get(), timeoutMs);
            if (saver)
                describeWindow("child", saver);
            else
                say("child none");
        } else if (startsWith(step, "key=")) {
            PostMessageA(saver, WM_KEYDOWN, static_cast<WPARAM>(number(value)), 1);
        } else if (startsWith(step, "char=")) {
            PostMessageA(saver, WM_CHAR, static_cast<WPARAM>(value[0]), 1);
        } else if (startsWith(step, "sys=")) {
            PostMessageA(saver, WM_SYSCOMMAND, static_cast<WPARAM>(number(value)), 0);
        } else if (step == "lbuttonup") {
            PostMessageA(saver, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
        } else if (startsWith(step, "lbuttonflood=")) {
            for (long long n = number(value); n > 0; --n)
                PostMessageA(saver, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
        } else if (step == "rbuttondown") {
            PostMessageA(saver, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(10, 10));
        } else if (startsWith(step, "sleep=")) {
            pumpFor(static_cast<DWORD>(number(value)));
        } else if (step == "destroy") {
            DestroyWindow(host);
            host = nullptr;
            say("destroyed 1");
        } else if (step == "alive") {
            say("alive %d", WaitForSingleObject(child.process.get(), 0) == WAIT_TIMEOUT ? 1 : 0);
        } else if (step == "exit") {
            reportExit(child.process.get(), waitProcess(child.process.get(), timeoutMs));
        } else {
            say("error unknown step %s", step.c_str());
            return usageError;
        }
    }
    if (host)
        DestroyWindow(host);
    return 0;
}

// paintbehind <ms>: what the saver does on screen. A host window whose thread waits for
// messages that never come, and a second thread that paints its client a solid colour
// (0xC828A0) once that wait has begun; then the window stays for <ms>.
constexpr COLORREF paintedBehind = RGB(0xC8, 0x28, 0xA0);

DWORD WINAPI paintFromWorker(void* context) {
    HWND window = static_cast<HWND>(context);
    Sleep(300);
    ScopedWindowDC dc(window);
    RECT client = {};
    GetClientRect(window, &client);
    Scoped<GdiObjectTraits<HBRUSH>> brush(CreateSolidBrush(paintedBehind));
    const bool painted = dc && brush && FillRect(dc.get(), &client, brush.get());
    GdiFlush();
    say("painted %d", painted ? 1 : 0);
    return 0;
}

int commandPaintBehind(const Args& args) {
    if (args.size() != 1)
        return usageError;
    HWND host = createPreviewHost();
    if (!host)
        return notFound;
    RECT client = {};
    GetClientRect(host, &client);
    MapWindowPoints(host, nullptr, reinterpret_cast<POINT*>(&client), 2);
    say("client %ld %ld %ld %ld", client.left, client.top, client.right, client.bottom);
    pumpFor(300);
    ScopedHandle worker(CreateThread(nullptr, 0, paintFromWorker, host, 0, nullptr));
    const UINT_PTR timer = SetTimer(nullptr, 0, static_cast<UINT>(number(args[0])), nullptr);
    MSG msg;
    while (worker && timer && GetMessageA(&msg, nullptr, 0, 0) > 0 && msg.message != WM_TIMER)
        DispatchMessageA(&msg);
    if (timer)
        KillTimer(nullptr, timer);
    if (worker)
        WaitForSingleObject(worker.get(), INFINITE);
    DestroyWindow(host);
    return 0;
}

// --- windows and controls -------------------------------------------------------------------

// find [--class NAME] [--title TEXT] [--timeout MS]
int commandFind(const Args& args) {
    std::string className, title;
    bool hasClass = false, hasTitle = false;
    DWORD timeoutMs = 0;
    for (size_t i = 0; i + 1 < args.size(); i += 2) {
        if (args[i] == "--class") {
            className = args[i + 1];
            hasClass = true;
        } else if (args[i] == "--title") {
            title = args[i + 1];
            hasTitle = true;
        } else if (args[i] == "--timeout") {
            timeoutMs = static_cast<DWORD>(number(args[i + 1]));
        } else {
            return usageError;
        }
    }
    const DWORD start = GetTickCount();
    for (;;) {
        HWND window =
            FindWindowA(hasClass ? className.c_str() : nullptr, hasTitle ? title.c_str() : nullptr);
        if (window) {
            say("found 1");
            describeWindow("hwnd", window);
            return 0;
        }
        if (GetTickCount() - start >= timeoutMs)
            break;
        Sleep(20);
    }
    say("found 0");
    return notFound;
}

BOOL CALLBACK listTopLevel(HWND window, LPARAM) {
    if (!IsWindowVisible(window))
        return TRUE;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    say("window %llu %lu %s %s", handleValue(window), static_cast<unsigned long>(pid),
        classOf(window).c_str(), textOf(window).c_str());
    return TRUE;
}

// toplevel: every visible top-level window (handle, process id, class, title).
int commandTopLevel(const Args&) {
    EnumWindows(listTopLevel, 0);
    return 0;
}

// Wine copies what a process drew (DirectDraw's primary surface included) to the X screen
// only when one of its GUI threads goes idle; a saver whose main thread waits for messages
// that never come keeps a half-drawn frame on the X screen for seconds. Each WM_NULL sent
// wakes the thread once, and the second answer comes only after the idle flush that
// followed the first.
BOOL CALLBACK wakeThreadOf(HWND window, LPARAM seen) {
    DWORD pid = 0;
    const DWORD thread = GetWindowThreadProcessId(window, &pid);
    auto& threads = *reinterpret_cast<std::set<DWORD>*>(seen);
    if (pid == GetCurrentProcessId() || !threads.insert(thread).second)
        return TRUE;
    DWORD_PTR ignored = 0;
    for (int round = 0; round < 2; ++round)
        if (!SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 500, &ignored))
            break;
    return TRUE;
}

// flush: has every other GUI thread go idle once, so that the X screen shows what Windows
// would show.
int commandFlush(const Args&) {
    std::set<DWORD> threads;
    EnumWindows(wakeThreadOf, reinterpret_cast<LPARAM>(&threads));
    say("threads %u", static_cast<unsigned>(threads.size()));
    return 0;
}

BOOL CALLBACK listControl(HWND control, LPARAM dialog) {
    if (GetParent(control) != reinterpret_cast<HWND>(dialog))
        return TRUE;
    RECT rect = {};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, reinterpret_cast<HWND>(dialog), reinterpret_cast<POINT*>(&rect), 2);
    say("control %d %s %ld %ld %ld %ld %d %s", GetDlgCtrlID(control), classOf(control).c_str(),
        rect.left, rect.top, rect.right, rect.bottom, IsWindowVisible(control) ? 1 : 0,
        textOf(control).c_str());
    return TRUE;
}

// controls <dialog>: id, class, client rectangle in the dialog, visible, text.
int commandControls(const Args& args) {
    if (args.size() != 1)
        return usageError;
    HWND dialog = windowArg(args[0]);
    if (!IsWindow(dialog))
        return notFound;
    EnumChildWindows(dialog, listControl, reinterpret_cast<LPARAM>(dialog));
    return 0;
}

// --- textfit: whether every caption of a dialog fits its control ---------------------------

struct TextFit {
    HDC dc;
    HWND dialog;
    int checkWidth;
    int misfits;
};

// Width and height a control needs for its caption on one line, or 0 for controls whose
// caption is not laid out in their rectangle (group boxes, empty texts).
SIZE neededFor(HWND control, const TextFit& fit) {
    const std::string text = textOf(control);
    SIZE size = {0, 0};
    if (text.empty())
        return size;
    const std::string kind = classOf(control);
    const LONG style = GetWindowLongA(control, GWL_STYLE);
    GetTextExtentPoint32A(fit.dc, text.c_str(), static_cast<int>(text.size()), &size);
    if (lstrcmpiA(kind.c_str(), "Button") == 0) {
        const LONG type = style & BS_TYPEMASK;
        if (type == BS_GROUPBOX)
            return SIZE{0, 0};
        if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX)
            size.cx += fit.checkWidth;
        else
            size.cx += 2 * GetSystemMetrics(SM_CXEDGE);
    } else if (lstrcmpiA(kind.c_str(), "Static") != 0) {
        return SIZE{0, 0};
    }
    return size;
}

BOOL CALLBACK checkTextFit(HWND control, LPARAM context) {
    auto& fit = *reinterpret_cast<TextFit*>(context);
    if (GetParent(control) != fit.dialog)
        return TRUE;
    const SIZE need = neededFor(control, fit);
    if (need.cx == 0)
        return TRUE;
    RECT client = {};
    GetClientRect(control, &client);
    const bool fits = need.cx <= client.right && need.cy <= client.bottom;
    if (!fits)
        ++fit.misfits;
    say("%s %d %ld %ld %ld %ld %s", fits ? "fits" : "misfit", GetDlgCtrlID(control), need.cx,
        need.cy, client.right, client.bottom, textOf(control).c_str());
    return TRUE;
}

// textfit <dialog> <points> <face>: each caption measured in the dialog's font (<face> at
// <points> at the screen's DPI) against its control: "fits|misfit id need_w need_h have_w
// have_h text"; then "dpi N" and "misfits N".
int commandTextFit(const Args& args) {
    if (args.size() != 3)
        return usageError;
    HWND dialog = windowArg(args[0]);
    if (!IsWindow(dialog))
        return notFound;
    ScopedWindowDC screen(nullptr);
    const int dpi = GetDeviceCaps(screen.get(), LOGPIXELSY);
    ScopedFont font(CreateFontA(-MulDiv(static_cast<int>(number(args[1])), dpi, 72), 0, 0, 0,
                                FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH,
                                args[2].c_str()));
    ScopedMemoryDC dc(CreateCompatibleDC(screen.get()));
    ScopedSelect selected(dc.get(), font.get());
    // The box and the gap before the caption, as the button draws them.
    const int checkWidth = MulDiv(13 + 4, dpi, 96);
    TextFit fit = {dc.get(), dialog, checkWidth, 0};
    EnumChildWindows(dialog, checkTextFit, reinterpret_cast<LPARAM>(&fit));
    say("dpi %d", dpi);
    say("misfits %d", fit.misfits);
    return 0;
}

// inner <dialog> <id>: the control's client size and its first child window, described.
int commandInner(const Args& args) {
    if (args.size() != 2)
        return usageError;
    HWND control = GetDlgItem(windowArg(args[0]), static_cast<int>(number(args[1])));
    if (!control)
        return notFound;
    RECT client = {};
    GetClientRect(control, &client);
    say("control_client %ld %ld", client.right, client.bottom);
    HWND child = firstChild(control);
    if (!child)
        return notFound;
    describeWindow("child", child);
    return 0;
}

// setsize <dialog> <id> <width> <height>: resizes a control (id 0: the dialog itself), as
// the system does when it scales a dialog for a new DPI.
int commandSetSize(const Args& args) {
    if (args.size() != 4)
        return usageError;
    const int id = static_cast<int>(number(args[1]));
    HWND control = id == 0 ? windowArg(args[0]) : GetDlgItem(windowArg(args[0]), id);
    if (!control)
        return notFound;
    say("resized %d",
        SetWindowPos(control, nullptr, 0, 0, static_cast<int>(number(args[2])),
                     static_cast<int>(number(args[3])), SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE)
            ? 1
            : 0);
    return 0;
}

LRESULT sendTo(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result);
    return static_cast<LRESULT>(result);
}

// get <dialog> <id>: what the control holds, by its kind.
int commandGet(const Args& args) {
    if (args.size() != 2)
        return usageError;
    HWND control = GetDlgItem(windowArg(args[0]), static_cast<int>(number(args[1])));
    if (!control)
        return notFound;
    const std::string kind = classOf(control);
    say("class %s", kind.c_str());
    say("text %s", textOf(control).c_str());
    say("enabled %d", IsWindowEnabled(control) ? 1 : 0);
    if (lstrcmpiA(kind.c_str(), TRACKBAR_CLASSA) == 0) {
        say("pos %ld", static_cast<long>(sendTo(control, TBM_GETPOS, 0, 0)));
        say("min %ld", static_cast<long>(sendTo(control, TBM_GETRANGEMIN, 0, 0)));
        say("max %ld", static_cast<long>(sendTo(control, TBM_GETRANGEMAX, 0, 0)));
    } else if (lstrcmpiA(kind.c_str(), "Button") == 0) {
        say("check %ld", static_cast<long>(sendTo(control, BM_GETCHECK, 0, 0)));
    } else if (lstrcmpiA(kind.c_str(), "ComboBox") == 0) {
        const long count = static_cast<long>(sendTo(control, CB_GETCOUNT, 0, 0));
        say("count %ld", count);
        say("cursel %ld", static_cast<long>(sendTo(control, CB_GETCURSEL, 0, 0)));
        // Asked in UTF-16: the ANSI form of this message loses all but the first character
        // across processes under Wine.
        for (long i = 0; i < count; ++i) {
            wchar_t wide[256] = {};
            DWORD_PTR length = 0;
            SendMessageTimeoutW(control, CB_GETLBTEXTLEN, i, 0, SMTO_ABORTIFHUNG, 5000, &length);
            if (length < sizeof wide / sizeof wide[0])
                SendMessageTimeoutW(control, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(wide),
                                    SMTO_ABORTIFHUNG, 5000, &length);
            char item[512] = {};
            WideCharToMultiByte(CP_ACP, 0, wide, -1, item, sizeof item, nullptr, nullptr);
            say("item %ld %s", i, oneLine(item).c_str());
        }
    }
    return 0;
}

// click <dialog> <id>: BM_CLICK posted, so a message box it opens does not block us.
int commandClick(const Args& args) {
    if (args.size() != 2)
        return usageError;
    HWND control = GetDlgItem(windowArg(args[0]), static_cast<int>(number(args[1])));
    if (!control)
        return notFound;
    PostMessageA(control, BM_CLICK, 0, 0);
    return 0;
}

// command <dialog> <id> [notification]: WM_COMMAND as a control sends it.
int commandCommand(const Args& args) {
    if (args.size() < 2)
        return usageError;
    HWND dialog = windowArg(args[0]);
    const int id = static_cast<int>(number(args[1]));
    const int code = args.size() > 2 ? static_cast<int>(number(args[2])) : BN_CLICKED;
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, code),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
    return 0;
}

// trackbar <dialog> <id> <pos>: moves the thumb and tells the dialog, as a drag does.
int commandTrackbar(const Args& args) {
    if (args.size() != 3)
        return usageError;
    HWND dialog = windowArg(args[0]);
    HWND control = GetDlgItem(dialog, static_cast<int>(number(args[1])));
    if (!control)
        return notFound;
    const WPARAM pos = static_cast<WPARAM>(number(args[2]));
    sendTo(control, TBM_SETPOS, TRUE, static_cast<LPARAM>(pos));
    const UINT scroll = (GetWindowLongA(control, GWL_STYLE) & TBS_VERT) ? WM_VSCROLL : WM_HSCROLL;
    sendTo(dialog, scroll, MAKEWPARAM(TB_THUMBPOSITION, pos), reinterpret_cast<LPARAM>(control));
    sendTo(dialog, scroll, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(control));
    say("pos %ld", static_cast<long>(sendTo(control, TBM_GETPOS, 0, 0)));
    return 0;
}

// combo <dialog> <id> <index>: selects an entry and tells the dialog.
int commandCombo(const Args& args) {
    if (args.size() != 3)
        return usageError;
    HWND dialog = windowArg(args[0]);
    const int id = static_cast<int>(number(args[1]));
    HWND control = GetDlgItem(dialog, id);
    if (!control)
        return notFound;
    sendTo(control, CB_SETCURSEL, static_cast<WPARAM>(number(args[2])), 0);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(control));
    return 0;
}

struct MessageName {
    const char* name;
    UINT value;
};
constexpr MessageName messageNames[] = {
    {"WM_KEYDOWN", WM_KEYDOWN},
    {"WM_KEYUP", WM_KEYUP},
    {"WM_CHAR", WM_CHAR},
    {"WM_SYSKEYDOWN", WM_SYSKEYDOWN},
    {"WM_SYSKEYUP", WM_SYSKEYUP},
    {"WM_SYSCOMMAND", WM_SYSCOMMAND},
    {"WM_MOUSEMOVE", WM_MOUSEMOVE},
    {"WM_LBUTTONDOWN", WM_LBUTTONDOWN},
    {"WM_LBUTTONUP", WM_LBUTTONUP},
    {"WM_LBUTTONDBLCLK", WM_LBUTTONDBLCLK},
    {"WM_RBUTTONDOWN", WM_RBUTTONDOWN},
    {"WM_RBUTTONUP", WM_RBUTTONUP},
    {"WM_RBUTTONDBLCLK", WM_RBUTTONDBLCLK},
    {"WM_CLOSE", WM_CLOSE},
    {"WM_COMMAND", WM_COMMAND},
    {"WM_USER", WM_USER},
};

UINT messageArg(const std::string& text) {
    for (const MessageName& known : messageNames)
        if (text == known.name)
            return known.value;
    return static_cast<UINT>(number(text));
}

// post <window> <message> [wParam] [lParam]; the message by name (WM_KEYDOWN) or number.
int commandPost(const Args& args) {
    if (args.size() < 2)
        return usageError;
    HWND window = windowArg(args[0]);
    if (!IsWindow(window))
        return notFound;
    const WPARAM wParam = args.size() > 2 ? static_cast<WPARAM>(number(args[2])) : 0;
    const LPARAM lParam = args.size() > 3 ? static_cast<LPARAM>(number(args[3])) : 0;
    say("posted %d", PostMessageA(window, messageArg(args[1]), wParam, lParam) ? 1 : 0);
    return 0;
}

// key <window> <virtual key>: a key pressed and released.
int commandKey(const Args& args) {
    if (args.size() != 2)
        return usageError;
    HWND window = windowArg(args[0]);
    if (!IsWindow(window))
        return notFound;
    const WPARAM key = static_cast<WPARAM>(number(args[1]));
    PostMessageA(window, WM_KEYDOWN, key, 1);
    PostMessageA(window, WM_KEYUP, key, 0xC0000001);
    return 0;
}

// syscommand <window> <command>
int commandSysCommand(const Args& args) {
    if (args.size() != 2)
        return usageError;
    HWND window = windowArg(args[0]);
    if (!IsWindow(window))
        return notFound;
    PostMessageA(window, WM_SYSCOMMAND, static_cast<WPARAM>(number(args[1])), 0);
    return 0;
}

// --- files, screen, registry ------------------------------------------------------------

// holdfile <path> <seconds>: keeps the file open, shared for reading only, so that nobody can
// open it for writing meanwhile. Prints "held 1" once it holds it.
int commandHoldFile(const Args& args) {
    if (args.size() != 2)
        return usageError;
    ScopedHandle file(CreateFileA(args[0].c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        say("held 0");
        return notFound;
    }
    say("held 1");
    Sleep(static_cast<DWORD>(number(args[1]) * 1000));
    return 0;
}

// pixels <x> <y> <width> <height>: the screen through GetDC(NULL), one "row Y RRGGBB..." line
// per row.
int commandPixels(const Args& args) {
    if (args.size() != 4)
        return usageError;
    const int x = static_cast<int>(number(args[0])), y = static_cast<int>(number(args[1]));
    const int width = static_cast<int>(number(args[2]));
    const int height = static_cast<int>(number(args[3]));
    if (width <= 0 || height <= 0 || width > 4096 || height > 4096)
        return usageError;
    ScopedWindowDC screen(nullptr);
    ScopedMemoryDC memory(CreateCompatibleDC(screen.get()));
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    ScopedBitmap bitmap(CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!screen || !memory || !bitmap)
        return notFound;
    {
        ScopedSelect select(memory.get(), bitmap.get());
        BitBlt(memory.get(), 0, 0, width, height, screen.get(), x, y, SRCCOPY);
    }
    GdiFlush();
    const auto* pixels = static_cast<const DWORD*>(bits);
    std::string row;
    for (int r = 0; r < height; ++r) {
        row.clear();
        char hex[8];
        for (int c = 0; c < width; ++c) {
            std::snprintf(hex, sizeof hex, "%06lx",
                          static_cast<unsigned long>(pixels[r * width + c] & 0xFFFFFF));
            row += hex;
        }
        say("row %d %s", y + r, row.c_str());
    }
    return 0;
}

// regget <key under HKCU> <value>: "type N" and "data HEX"; a string also as "string TEXT".
int commandRegGet(const Args& args) {
    if (args.size() != 2)
        return usageError;
    ScopedRegKey key;
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, args[0].c_str(), 0, KEY_QUERY_VALUE, &opened) !=
        ERROR_SUCCESS) {
        say("found 0");
        return notFound;
    }
    key.reset(opened);
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key.get(), args[1].c_str(), nullptr, &type, nullptr, &size) !=
        ERROR_SUCCESS) {
        say("found 0");
        return notFound;
    }
    std::vector<BYTE> data(size + 1);
    RegQueryValueExA(key.get(), args[1].c_str(), nullptr, &type, data.data(), &size);
    say("found 1");
    say("type %lu", static_cast<unsigned long>(type));
    std::string hex;
    for (DWORD i = 0; i < size; ++i) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02x", data[i]);
        hex += pair;
    }
    say("data %s", hex.c_str());
    if (type == REG_SZ || type == REG_EXPAND_SZ)
        say("string %s", oneLine(reinterpret_cast<const char*>(data.data())).c_str());
    else if (type == REG_DWORD && size == 4)
        say("dword %lu", static_cast<unsigned long>(*reinterpret_cast<DWORD*>(data.data())));
    return 0;
}

// regset <key under HKCU> <value> sz|dword|hex <data>
int commandRegSet(const Args& args) {
    if (args.size() != 4)
        return usageError;
    HKEY opened = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, args[0].c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &opened, nullptr) != ERROR_SUCCESS)
        return notFound;
    ScopedRegKey key(opened);
    std::vector<BYTE> data;
    DWORD type = REG_SZ;
    if (args[2] == "sz") {
        data.assign(args[3].begin(), args[3].end());
        data.push_back(0);
    } else if (args[2] == "dword") {
        type = REG_DWORD;
        const DWORD value = static_cast<DWORD>(number(args[3]));
        data.resize(4);
        std::memcpy(data.data(), &value, 4);
    } else if (args[2] == "hex") {
        type = REG_BINARY;
        for (size_t i = 0; i + 1 < args[3].size(); i += 2)
            data.push_back(
                static_cast<BYTE>(std::strtoul(args[3].substr(i, 2).c_str(), nullptr, 16)));
    } else {
        return usageError;
    }
    const LONG result = RegSetValueExA(key.get(), args[1].c_str(), 0, type, data.data(),
                                       static_cast<DWORD>(data.size()));
    say("set %d", result == ERROR_SUCCESS ? 1 : 0);
    return result == ERROR_SUCCESS ? 0 : notFound;
}

// listdir <folder>: the folder's entries in the order FindFirstFileA/FindNextFileA give
// them, which under Wine is the host file system's order, not alphabetical.
int commandListDir(const Args& args) {
    if (args.size() != 1)
        return usageError;
    WIN32_FIND_DATAA entry = {};
    HANDLE scan = FindFirstFileA((args[0] + "\\*.*").c_str(), &entry);
    if (scan == INVALID_HANDLE_VALUE)
        return notFound;
    do
        say("entry %s", oneLine(entry.cFileName).c_str());
    while (FindNextFileA(scan, &entry));
    FindClose(scan);
    return 0;
}

// cursor: whether the pointer is shown, and its cursor handle (0 for none).
int commandCursor(const Args& args) {
    if (!args.empty())
        return usageError;
    CURSORINFO info = {};
    info.cbSize = sizeof(info);
    if (!GetCursorInfo(&info))
        return notFound;
    say("showing %d", (info.flags & CURSOR_SHOWING) ? 1 : 0);
    say("cursor %llu", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(info.hCursor)));
    say("at %ld %ld", info.ptScreenPos.x, info.ptScreenPos.y);
    return 0;
}

// displaymode: the primary display's current width, height and bits per pixel.
int commandDisplayMode(const Args& args) {
    if (!args.empty())
        return usageError;
    DEVMODEA mode = {};
    mode.dmSize = sizeof(mode);
    if (!EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode))
        return notFound;
    say("width %lu", static_cast<unsigned long>(mode.dmPelsWidth));
    say("height %lu", static_cast<unsigned long>(mode.dmPelsHeight));
    say("bits %lu", static_cast<unsigned long>(mode.dmBitsPerPel));
    return 0;
}

// setmode <width> <height> <bits> <ms>: another program changes the display mode for <ms>,
// then puts the registry's mode back; each result is ChangeDisplaySettings' own.
int commandSetMode(const Args& args) {
    if (args.size() != 4)
        return usageError;
    DEVMODEA mode = {};
    mode.dmSize = sizeof(mode);
    mode.dmPelsWidth = static_cast<DWORD>(number(args[0]));
    mode.dmPelsHeight = static_cast<DWORD>(number(args[1]));
    mode.dmBitsPerPel = static_cast<DWORD>(number(args[2]));
    mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL;
    say("changed %ld", ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN));
    pumpFor(static_cast<DWORD>(number(args[3])));
    say("restored %ld", ChangeDisplaySettingsA(nullptr, 0));
    return 0;
}

// regdel <key under HKCU> [value]: the value, or the key (without subkeys) when none is named.
int commandRegDel(const Args& args) {
    if (args.empty() || args.size() > 2)
        return usageError;
    LONG result;
    if (args.size() == 1) {
        result = RegDeleteKeyA(HKEY_CURRENT_USER, args[0].c_str());
    } else {
        HKEY opened = nullptr;
        result = RegOpenKeyExA(HKEY_CURRENT_USER, args[0].c_str(), 0, KEY_SET_VALUE, &opened);
        ScopedRegKey key(opened);
        if (result == ERROR_SUCCESS)
            result = RegDeleteValueA(key.get(), args[1].c_str());
    }
    say("deleted %d", result == ERROR_SUCCESS ? 1 : 0);
    return result == ERROR_SUCCESS ? 0 : notFound;
}

// --- other programs' windows and the monitors ------------------------------------------------

constexpr COLORREF panelColour = RGB(0x20, 0xC0, 0x40);
constexpr char panelClass[] = "VellutorTestPanel";

LRESULT CALLBACK panelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

// panel <x> <y> <width> <height> <ms> [activate]: another program's window, a solid colour
// (0x20C040), shown for <ms>; with activate it takes the foreground, as a program the user
// switches to would.
int commandPanel(const Args& args) {
    if (args.size() != 5 && !(args.size() == 6 && args[5] == "activate"))
        return usageError;
    Scoped<GdiObjectTraits<HBRUSH>> brush(CreateSolidBrush(panelColour));
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = panelProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hbrBackground = brush.get();
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.lpszClassName = panelClass;
    RegisterClassA(&windowClass);
    const bool activate = args.size() == 6;
    ScopedWindow panel(
        CreateWindowExA(activate ? 0 : WS_EX_NOACTIVATE, panelClass, "Vellutor test panel",
                        WS_POPUP, int(number(args[0])), int(number(args[1])), int(number(args[2])),
                        int(number(args[3])), nullptr, nullptr, windowClass.hInstance, nullptr));
    if (!panel)
        return notFound;
    ShowWindow(panel.get(), activate ? SW_SHOW : SW_SHOWNOACTIVATE);
    UpdateWindow(panel.get());
    if (activate)
        say("foreground %d", SetForegroundWindow(panel.get()) ? 1 : 0);
    say("panel %llu", handleValue(panel.get()));
    pumpFor(static_cast<DWORD>(number(args[4])));
    return 0;
}

BOOL CALLBACK sayMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM) {
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    if (GetMonitorInfoA(monitor, &info))
        say("monitor %ld %ld %ld %ld %d", info.rcMonitor.left, info.rcMonitor.top,
            info.rcMonitor.right, info.rcMonitor.bottom,
            (info.dwFlags & MONITORINFOF_PRIMARY) ? 1 : 0);
    return TRUE;
}

// monitors: each monitor's rectangle and whether it is the primary (1).
int commandMonitors(const Args& args) {
    if (!args.empty())
        return usageError;
    EnumDisplayMonitors(nullptr, nullptr, sayMonitor, 0);
    return 0;
}

struct Command {
    const char* name;
    int (*run)(const Args&);
};

constexpr Command commands[] = {
    {"run", commandRun},
    {"preview", commandPreview},
    {"find", commandFind},
    {"toplevel", commandTopLevel},
    {"flush", commandFlush},
    {"paintbehind", commandPaintBehind},
    {"controls", commandControls},
    {"get", commandGet},
    {"click", commandClick},
    {"command", commandCommand},
    {"trackbar", commandTrackbar},
    {"combo", commandCombo},
    {"post", commandPost},
    {"key", commandKey},
    {"syscommand", commandSysCommand},
    {"holdfile", commandHoldFile},
    {"pixels", commandPixels},
    {"regget", commandRegGet},
    {"regset", commandRegSet},
    {"regdel", commandRegDel},
    {"displaymode", commandDisplayMode},
    {"listdir", commandListDir},
    {"cursor", commandCursor},
    {"panel", commandPanel},
    {"textfit", commandTextFit},
    {"inner", commandInner},
    {"setsize", commandSetSize},
    {"setmode", commandSetMode},
    {"monitors", commandMonitors},
};

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2) {
        const Args args(argv + 2, argv + argc);
        for (const Command& command : commands)
            if (std::strcmp(argv[1], command.name) == 0)
                return command.run(args);
    }
    std::fprintf(stderr, "usage: driver <command> [arguments]; commands:");
    for (const Command& command : commands)
        std::fprintf(stderr, " %s", command.name);
    std::fputc('\n', stderr);
    return usageError;
}
