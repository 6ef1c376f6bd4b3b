#include "host/win/home_page_launch.h"

#include "resources/home_page.h"
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

LaunchRateLimit previewLaunchLimit() {
    return LaunchRateLimit(tickClock, previewLaunchIntervalMs);
}

bool openHomePageFromPreview(LaunchRateLimit& launches) {
    return launches.admit() && openHomePage();
}
