#include "engine/win/test_seams.h"

#ifdef VELLUTOR_TEST_SEAMS

#include <windows.h>

#include <cstring>
#include <string>

namespace {

constexpr DWORD seamListBytes = 512;

// Read once: the list never changes during a run.
struct SeamList {
    SeamList() {
        DWORD length = GetEnvironmentVariableA("VELLUTOR_SEAMS", text, seamListBytes);
        if (length == 0 || length >= seamListBytes)
            text[0] = '\0';
    }
    char text[seamListBytes] = {};
};

} // namespace

bool testSeamArmed(const char* name) {
    static const SeamList list;
    const std::size_t length = std::strlen(name);
    for (const char* at = list.text; *at;) {
        const char* end = std::strchr(at, ',');
        const std::size_t itemLength = end ? static_cast<std::size_t>(end - at) : std::strlen(at);
        if (itemLength == length && std::strncmp(at, name, length) == 0)
            return true;
        if (!end)
            break;
        at = end + 1;
    }
    return false;
}

bool testSeamArmedOnce(const char* name) {
    static volatile LONG asked = 0; // test build only: one answer for the whole process
    return testSeamArmed(name) && InterlockedExchange(&asked, 1) == 0;
}

void appendTestLog(const char* seam, const char* fileName, const char* line) {
    if (!testSeamArmed(seam))
        return;
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    char* slash = length > 0 && length < MAX_PATH ? std::strrchr(path, '\\') : nullptr;
    if (!slash || static_cast<std::size_t>(slash + 1 - path) + std::strlen(fileName) >= MAX_PATH)
        return;
    std::strcpy(slash + 1, fileName);
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(std::strlen(line)), &written, nullptr);
    WriteFile(file, "\n", 1, &written, nullptr);
    CloseHandle(file);
}

void faultIfSeamArmed(const char* name) {
    if (!testSeamArmed(name))
        return;
    volatile ULONG_PTR address = 16;
    *reinterpret_cast<volatile int*>(address) = 1;
}

void faultIfDecodeSeamArmed(const char* fileName) {
    faultIfSeamArmed((std::string("decode-fault=") + fileName).c_str());
}

#endif
