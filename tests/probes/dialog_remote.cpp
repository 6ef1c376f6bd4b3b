// Works the settings dialog of a running saver from another process, for what the test
// driver has no command for: moving the dialog, finding the link, asking whether the
// dialog still answers, opening the combo box's list and choosing a folder in the shell's
// folder browser, seeing where the keyboard focus is, and timing the dialog's answers to a
// run of drags and clicks. Usage: probe_dialog_remote <command>
// <window> [arguments]; one "key value" per line; exit code 0 on success, 1 when the window is not
// there.
#include "resources/win/scoped.h"

#include <commctrl.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

constexpr int failed = 1;
constexpr int usage = 2;

HWND windowArg(const char* text) {
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoull(text, nullptr, 0)));
}

void printRect(const char* key, const RECT& rect) {
    std::printf("%s %ld %ld %ld %ld\n", key, rect.left, rect.top, rect.right, rect.bottom);
}

struct ChildSearch {
    const char* className;
    HWND found;
};

BOOL CALLBACK matchChild(HWND child, LPARAM context) {
    auto* search = reinterpret_cast<ChildSearch*>(context);
    char name[64] = {};
    GetClassNameA(child, name, sizeof(name));
    if (lstrcmpiA(name, search->className) != 0)
        return TRUE;
    search->found = child;
    return FALSE;
}

// link <dialog>: the hyperlink's window, screen rectangle, text and whether it knows its
// object.
int link(HWND dialog) {
    ChildSearch search = {"STATIC_HYPER", nullptr};
    EnumChildWindows(dialog, matchChild, reinterpret_cast<LPARAM>(&search));
    if (!search.found)
        return failed;
    RECT rect = {};
    GetWindowRect(search.found, &rect);
    char text[256] = {};
    GetWindowTextA(search.found, text, sizeof(text));
    std::printf("hwnd %llu\n",
                static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(search.found)));
    printRect("rect", rect);
    std::printf("parent_is_dialog %d\n", GetParent(search.found) == dialog ? 1 : 0);
    std::printf("has_object %d\n", GetWindowLongPtrA(search.found, GWLP_USERDATA) != 0 ? 1 : 0);
    std::printf("text %s\n", text);
    return 0;
}

// client <dialog> <id>: the control's client area on the screen.
int client(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    if (!control)
        return failed;
    RECT rect = {};
    GetClientRect(control, &rect);
    MapWindowPoints(control, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    printRect("client", rect);
    return 0;
}

// move <window> <x> <y>: moves the window's top-left corner on the screen.
int move(HWND window, int x, int y) {
    BOOL moved =
        SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT rect = {};
    GetWindowRect(window, &rect);
    printRect("rect", rect);
    return moved ? 0 : failed;
}

// ping <window> <timeout ms>: whether the window's thread answers, and how fast.
int ping(HWND window, UINT timeoutMs) {
    DWORD start = GetTickCount();
    DWORD_PTR result = 0;
    LRESULT answered =
        SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, timeoutMs, &result);
    std::printf("answered %d\nms %lu\n", answered ? 1 : 0,
                static_cast<unsigned long>(GetTickCount() - start));
    return 0;
}

struct OwnedSearch {
    HWND owner;
    int count;
};

BOOL CALLBACK listOwned(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<OwnedSearch*>(context);
    if (GetWindow(window, GW_OWNER) != search->owner || !IsWindowVisible(window))
        return TRUE;
    char name[64] = {}, title[256] = {};
    GetClassNameA(window, name, sizeof(name));
    GetWindowTextA(window, title, sizeof(title));
    std::printf("window %llu %s %s\n",
                static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)), name, title);
    ++search->count;
    return TRUE;
}

// owned <owner>: the visible top-level windows it owns.
int owned(HWND owner) {
    OwnedSearch search = {owner, 0};
    EnumWindows(listOwned, reinterpret_cast<LPARAM>(&search));
    std::printf("count %d\n", search.count);
    return 0;
}

// browse <folder browser> <path>: selects the path in the shell's folder browser of another
// process; the string has to live in that process for the message to read it.
int browse(HWND browser, const char* path) {
    DWORD pid = 0;
    GetWindowThreadProcessId(browser, &pid);
    ScopedHandle process(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid));
    if (!process)
        return failed;
    const SIZE_T size = std::strlen(path) + 1;
    void* remote = VirtualAllocEx(process.get(), nullptr, size, MEM_COMMIT, PAGE_READWRITE);
    if (!remote)
        return failed;
    SIZE_T written = 0;
    DWORD_PTR result = 0;
    bool sent =
        WriteProcessMemory(process.get(), remote, path, size, &written) &&
        SendMessageTimeoutA(browser, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(remote),
                            SMTO_ABORTIFHUNG, 10000, &result);
    VirtualFreeEx(process.get(), remote, 0, MEM_RELEASE);
    std::printf("selected %d\n", sent ? 1 : 0);
    return sent ? 0 : failed;
}

// droplist <dialog> <0|1>: closes or opens the video-mode list.
int dropList(HWND dialog, int open) {
    HWND combo = GetDlgItem(dialog, 1026);
    if (!combo)
        return failed;
    DWORD_PTR result = 0;
    SendMessageTimeoutA(combo, CB_SHOWDROPDOWN, open, 0, SMTO_ABORTIFHUNG, 5000, &result);
    SendMessageTimeoutA(combo, CB_GETDROPPEDSTATE, 0, 0, SMTO_ABORTIFHUNG, 5000, &result);
    std::printf("dropped %d\n", result ? 1 : 0);
    return 0;
}

// focus <window>: the window that has the keyboard focus in that window's thread.
int focus(HWND window) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info))
        return failed;
    char name[64] = {};
    GetClassNameA(info.hwndFocus, name, sizeof(name));
    std::printf("focus %llu\nfocus_class %s\nfocus_id %d\nactive %llu\n",
                static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(info.hwndFocus)), name,
                GetDlgCtrlID(info.hwndFocus),
                static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(info.hwndActive)));
    return 0;
}

// The controls that a run of answers works, by id as in the dialog's resource.
constexpr int answerBoxes[] = {1015 /* EMF */, 1019 /* EMF cut */, 1016 /* BMP cut */,
                               1018 /* JPEG cut */, 1023 /* remember picture */};
constexpr int answerSliders[] = {1009 /* blur */, 1011 /* psychedelia */, 1010 /* usage */,
                                 1020 /* wave size */};
constexpr UINT answerTimeoutMs = 10000;
constexpr DWORD answerGapMs = 80;

// One message sent to the dialog's thread and timed from here; -1 when it did not answer.
double timedSend(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    DWORD_PTR result = 0;
    const bool answered = SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL,
                                              answerTimeoutMs, &result) != 0;
    QueryPerformanceCounter(&end);
    return answered ? 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
                          static_cast<double>(frequency.QuadPart)
                    : -1.0;
}

// answers <dialog> <seconds> <seed>: for that long, moves the dialog as a drag does, clicks
// its check boxes and moves its sliders, each message sent and timed one at a time. One line
// per message: "answer <kind> <ms>"; the dialog's answer to a move is SetWindowPos's time.
int answers(HWND dialog, int seconds, unsigned seed) {
    std::mt19937 random(seed);
    RECT home = {};
    GetWindowRect(dialog, &home);
    const DWORD start = GetTickCount();
    int step = 0;
    while (GetTickCount() - start < static_cast<DWORD>(seconds) * 1000 && IsWindow(dialog)) {
        const int kind = static_cast<int>(random() % 3);
        if (kind == 0) {
            // A drag: a few small moves in a row, as the mouse goes.
            const int dx = static_cast<int>(random() % 41) - 20;
            const int dy = static_cast<int>(random() % 41) - 20;
            for (int i = 0; i < 5; ++i) {
                LARGE_INTEGER frequency, before, after;
                QueryPerformanceFrequency(&frequency);
                QueryPerformanceCounter(&before);
                const int x = home.left + dx * (i + 1) / 5, y = home.top + dy * (i + 1) / 5;
                SetWindowPos(dialog, nullptr, x, y, 0, 0,
                             SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
                QueryPerformanceCounter(&after);
                std::printf("answer move %.2f\n",
                            1000.0 * static_cast<double>(after.QuadPart - before.QuadPart) /
                                static_cast<double>(frequency.QuadPart));
            }
        } else if (kind == 1) {
            const int id = answerBoxes[step % (sizeof(answerBoxes) / sizeof(answerBoxes[0]))];
            HWND box = GetDlgItem(dialog, id);
            const bool checked = SendMessageA(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
            SendMessageA(box, BM_SETCHECK, checked ? BST_UNCHECKED : BST_CHECKED, 0);
            std::printf("answer click %.2f\n",
                        timedSend(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                                  reinterpret_cast<LPARAM>(box)));
        } else {
            const int id = answerSliders[step % (sizeof(answerSliders) / sizeof(answerSliders[0]))];
            HWND slider = GetDlgItem(dialog, id);
            const LRESULT low = SendMessageA(slider, TBM_GETRANGEMIN, 0, 0);
            const LRESULT high = SendMessageA(slider, TBM_GETRANGEMAX, 0, 0);
            const WPARAM position = static_cast<WPARAM>(
                low + static_cast<LRESULT>(random() % static_cast<unsigned>(high - low + 1)));
            SendMessageA(slider, TBM_SETPOS, TRUE, static_cast<LPARAM>(position));
            const LPARAM from = reinterpret_cast<LPARAM>(slider);
            std::printf(
                "answer slide %.2f\n",
                timedSend(dialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, position), from));
            std::printf("answer slide %.2f\n",
                        timedSend(dialog, WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), from));
        }
        std::fflush(stdout);
        ++step;
        Sleep(answerGapMs);
    }
    SetWindowPos(dialog, nullptr, home.left, home.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3)
        return usage;
    const std::string command = argv[1];
    HWND window = windowArg(argv[2]);
    if (!IsWindow(window))
        return failed;
    if (command == "link")
        return link(window);
    if (command == "client" && argc == 4)
        return client(window, std::atoi(argv[3]));
    if (command == "move" && argc == 5)
        return move(window, std::atoi(argv[3]), std::atoi(argv[4]));
    if (command == "ping" && argc == 4)
        return ping(window, static_cast<UINT>(std::atoi(argv[3])));
    if (command == "focus")
        return focus(window);
    if (command == "owned")
        return owned(window);
    if (command == "browse" && argc == 4)
        return browse(window, argv[3]);
    if (command == "answers" && argc == 5)
        return answers(window, std::atoi(argv[3]),
                       static_cast<unsigned>(std::strtoul(argv[4], nullptr, 0)));
    if (command == "droplist" && argc == 4)
        return dropList(window, std::atoi(argv[3]));
    return usage;
}
