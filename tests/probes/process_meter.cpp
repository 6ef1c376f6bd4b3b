// Samples another process's resources from the Windows side, for the reliability checks.
//   process_meter WINDOW INTERVAL_MS COUNT
// Finds the top-level window whose class or else title is WINDOW, opens its process and prints one
// line per sample:
//   sample MS WORKING_SET PRIVATE_BYTES PAGEFILE HANDLES GDI USER
// (bytes; -1 where the call failed), then "gone" once the window's process has ended.
#include "resources/win/scoped.h"

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>

namespace {

using MemoryInfoCall = BOOL(WINAPI*)(HANDLE, PPROCESS_MEMORY_COUNTERS, DWORD);
using HandleCountCall = BOOL(WINAPI*)(HANDLE, PDWORD);

template <typename Call> Call kernelCall(const char* name) {
    // Looked up at run time: older systems have these only in psapi.dll.
    return reinterpret_cast<Call>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), name)));
}

void sample(HANDLE process, DWORD since) {
    static const auto memoryInfo = kernelCall<MemoryInfoCall>("K32GetProcessMemoryInfo");
    static const auto handleCount = kernelCall<HandleCountCall>("GetProcessHandleCount");
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    long long workingSet = -1, privateBytes = -1, pagefile = -1;
    if (memoryInfo && memoryInfo(process, reinterpret_cast<PPROCESS_MEMORY_COUNTERS>(&counters),
                                 sizeof counters)) {
        workingSet = static_cast<long long>(counters.WorkingSetSize);
        privateBytes = static_cast<long long>(counters.PrivateUsage);
        pagefile = static_cast<long long>(counters.PagefileUsage);
    }
    DWORD handles = 0;
    long long handleValue = handleCount && handleCount(process, &handles) ? handles : -1;
    std::printf("sample %lu %lld %lld %lld %lld %lu %lu\n",
                static_cast<unsigned long>(GetTickCount() - since), workingSet, privateBytes,
                pagefile, handleValue, GetGuiResources(process, GR_GDIOBJECTS),
                GetGuiResources(process, GR_USEROBJECTS));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4)
        return 2;
    DWORD interval = std::strtoul(argv[2], nullptr, 10);
    long count = std::strtol(argv[3], nullptr, 10);
    HWND window = nullptr;
    for (int tries = 0; tries < 100 && !window; ++tries) {
        window = FindWindowA(argv[1], nullptr);
        if (!window)
            window = FindWindowA(nullptr, argv[1]);
        if (!window)
            Sleep(100);
    }
    DWORD pid = 0;
    if (!window || !GetWindowThreadProcessId(window, &pid)) {
        std::printf("nowindow\n");
        return 1;
    }
    ScopedHandle process(
        OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | SYNCHRONIZE, FALSE, pid));
    if (!process) {
        std::printf("noprocess %lu\n", static_cast<unsigned long>(pid));
        return 1;
    }
    std::printf("pid %lu\n", static_cast<unsigned long>(pid));
    DWORD since = GetTickCount();
    for (long i = 0; i < count; ++i) {
        sample(process.get(), since);
        if (WaitForSingleObject(process.get(), interval) == WAIT_OBJECT_0) {
            std::printf("gone\n");
            return 0;
        }
    }
    return 0;
}
