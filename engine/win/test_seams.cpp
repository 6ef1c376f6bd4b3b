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
