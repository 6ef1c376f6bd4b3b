#include "host/win/home_page_launch.h"

#include "host/home_page.h"
#include "host/win/scoped.h"

#include <string>

bool openHomePage() {
    std::string commandLine = std::string("explorer \"") + homePageUrl + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                        nullptr, nullptr, &startup, &process))
        return false;
    ScopedHandle thread(process.hThread);
    ScopedHandle processHandle(process.hProcess);
    return true;
}
