// Works the settings dialog of a running saver from another process, for what the test
// driver has no command for: moving the dialog, finding the link, asking whether the
// dialog still answers, opening the combo box's list and choosing a folder in the shell's
// folder browser, and seeing where the keyboard focus is. Usage: probe_dialog_remote <command>
// <window> [arguments]; one "key value" per line; exit code 0 on success, 1 when the window is not
// there.
#include "resources/win/scoped.h"

#include <commctrl.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
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
    if (command == "droplist" && argc == 4)
        return dropList(window, std::atoi(argv[3]));
    return usage;
}
