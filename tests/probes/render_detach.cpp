// Runs the render-control protocol with a stand-in render thread that detaches for a long
// "decode", and tells whether the main thread's hold and stop returned before it was over.
// Usage: probe_render_detach <decodeMs>
// Output lines: "hold_during_decode 0|1", "attached_while_held 0|1" (the thread got past its
// attach while the hold lasted), "stop_during_decode 0|1", "attach_after_stop 0|1" (what
// renderAttach answered after the stop), "ended 0|1". Exit code 0, 3 for usage.
#include "engine/win/render_control.h"

#include <cstdio>
#include <cstdlib>

namespace {

struct Decode {
    DWORD ms = 0;
    volatile LONG decodes = 0; // finished so far
    volatile LONG attachedBeforeRelease = 0;
    volatile LONG attachAnswer = -1;
    HANDLE firstDone = nullptr;
    RenderControl control;
};

DWORD WINAPI standIn(void* parameter) {
    auto& d = *static_cast<Decode*>(parameter);
    // First decode: the main thread holds meanwhile; the attach parks until the release.
    d.control.detach();
    Sleep(d.ms);
    InterlockedIncrement(&d.decodes);
    d.control.attach();
    InterlockedExchange(&d.attachedBeforeRelease, 1);
    SetEvent(d.firstDone);
    // Second decode: the main thread stops meanwhile.
    d.control.detach();
    Sleep(d.ms);
    InterlockedIncrement(&d.decodes);
    InterlockedExchange(&d.attachAnswer, d.control.attach() ? 1 : 0);
    d.control.threadEnded();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2)
        return 3;
    Decode d;
    d.ms = static_cast<DWORD>(std::atoi(argv[1]));
    d.firstDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = d.control.start(standIn, &d);
    Sleep(50); // inside the first decode

    d.control.hold();
    std::printf("hold_during_decode %d\n", d.decodes == 0 ? 1 : 0);
    Sleep(d.ms + 200); // the decode ends while held: the thread must park at its attach
    std::printf("attached_while_held %ld\n", static_cast<long>(d.attachedBeforeRelease));
    d.control.release();
    WaitForSingleObject(d.firstDone, 5000);
    Sleep(50); // inside the second decode

    d.control.stopUnlessDetached(thread, 2000);
    std::printf("stop_during_decode %d\n", d.decodes == 1 ? 1 : 0);
    const bool ended = WaitForSingleObject(thread, d.ms + 2000) == WAIT_OBJECT_0;
    std::printf("attach_after_stop %ld\n", static_cast<long>(d.attachAnswer));
    std::printf("ended %d\n", ended ? 1 : 0);
    std::fflush(stdout);
    return 0;
}
