#include "host/win/home_page_launch.h"

#include "resources/home_page.h"
#include "host/launch_rate_limit.h"
#include "resources/win/scoped.h"
#include "settings/install_paths.h"

#include <string>

namespace {

constexpr char explorerFileName[] = "explorer.exe";
constexpr std::uint32_t previewLaunchIntervalMs = 1000;

std::uint64_t tickClock() {
    return GetTickCount64();
}

// explorer.exe in the Windows folder, or "" when that folder cannot be told.
std::string explorerPath() {
    char folder[MAX_PATH];
    UINT length = GetSystemWindowsDirectoryA(folder, sizeof folder);
    if (length == 0 || length >= sizeof folder)
        return std::string();
    std::string windows(folder, length);
    return isFullFolderPath(windows) ? pathInFolder(windows, explorerFileName) : std::string();
}

} // namespace

bool openHomePage() {
    std::string application = explorerPath();
    if (application.empty())
        return false;
    std::string commandLine = std::string("explorer \"") + homePageUrl + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(application.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                        NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &process))
        return false;
    ScopedHandle thread(process.hThread);
    ScopedHandle processHandle(process.hProcess);
    return true;
}

bool openHomePageFromPreview() {
    // Process-wide: the window procedure has no object of its own to keep it in, and the
    // limit must hold for every window of the process, however many clicks are posted.
    static LaunchRateLimit limit(tickClock, previewLaunchIntervalMs);
    return limit.admit() && openHomePage();
}
