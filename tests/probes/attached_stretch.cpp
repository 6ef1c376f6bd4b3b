// Times the stretches of a picture load that the render thread spends attached, where a
// hold must wait for it: from the start to the detach, and from the attach back to the end
// (the copy of the fitted picture onto the surface). Loads PATH onto a screen-sized
// off-screen surface, as the render thread does, with a fence that notes the times.
// Usage: probe_attached_stretch PATH [repeats]
// Output: "detached_ms", "longest_attached_ms" and "attached_ms" (medians), "result R".
#include "engine/picture_endings.h"
#include "pictures/win/picture_loader.h"
#include "tests/probes/probe_display.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <cstdlib>
#include <vector>

namespace {

double milliseconds() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return 1000.0 * double(now.QuadPart) / double(frequency.QuadPart);
}

// One load's times; the fence's plain functions reach it here, in this probe only.
struct Stretches {
    double mark = 0;     // start of the current stretch
    double detached = 0; // all detached time
    double longest = 0;  // longest attached stretch
    double attached = 0; // all attached time
} load;

void noteAttachedEnd() {
    const double now = milliseconds();
    load.longest = std::max(load.longest, now - load.mark);
    load.attached += now - load.mark;
    load.mark = now;
}

class MarkingFence : public DecodeFence {
  public:
    void detach() const override { noteAttachedEnd(); }
    bool attach() const override {
        const double now = milliseconds();
        load.detached += now - load.mark;
        load.mark = now;
        return true;
    }
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::puts("usage: probe_attached_stretch PATH [repeats]");
        return 3;
    }
    const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    ScopedComApartment com;
    ProbeDisplay display("stretch probe");
    if (!display) {
        std::puts("error no display");
        return 2;
    }
    ComPtr<IDirectDrawSurface3> surface =
        display.offscreenSurface(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    if (!surface) {
        std::puts("error no surface");
        return 2;
    }
    const MarkingFence fence;
    const std::optional<PictureFormat> format = pictureFormatOf(argv[1]);
    std::vector<double> detached, longest, attached;
    long result = 0;
    for (int i = 0; i < repeats; ++i) {
        load = Stretches();
        load.mark = milliseconds();
        result =
            loadPictureToSurface(surface.get(), argv[1], format.value_or(FormatBmp), false, fence);
        noteAttachedEnd();
        detached.push_back(load.detached);
        longest.push_back(load.longest);
        attached.push_back(load.attached);
    }
    std::printf("detached_ms %.2f\nlongest_attached_ms %.2f\nattached_ms %.2f\nresult %ld\n",
                median(detached), median(longest), median(attached), result);
    std::fflush(stdout);
    return 0;
}
