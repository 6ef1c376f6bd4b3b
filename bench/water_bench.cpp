// The water surface's frame step against the cost of merely streaming its bytes: two
// height buffers, the source picture and the destination, 16 bytes per cell.
#include "engine/drop_geometry.h"
#include "engine/water_surface.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

namespace {

std::vector<uint32_t> picture(std::size_t cells) {
    std::vector<uint32_t> p(cells);
    uint32_t seed = 12345;
    for (auto& v : p) {
        seed = seed * 1664525u + 1013904223u;
        v = seed >> 8;
    }
    return p;
}

// One whole drop as the saver plays it on a patch of this side: still water, the drop of
// the matching wave size in the middle, and every frame until it has died down. Reported
// per cell and frame, so it compares with the floor below.
void advanceFrames(benchmark::State& state, AdvanceKernel kernel) {
    if (!advanceKernelAvailable(kernel)) {
        state.SkipWithError("not supported on this processor");
        return;
    }
    const int side = int(state.range(0));
    const int cells = side * side;
    DropPreset preset = dropPresetFor(0);
    for (uint32_t size = 0; size < 5; ++size)
        if (patchSide(dropPresetFor(size)) == side)
            preset = dropPresetFor(size);
    const int frames = framesPerDrop(preset);
    SurfaceHeap heap;
    WaterSurface surface(heap);
    RandomGenerator random{1};
    surface.init(side, side);
    std::vector<uint32_t> source = picture(std::size_t(cells));
    std::vector<uint32_t> destination(static_cast<std::size_t>(cells));
    for (auto _ : state) {
        surface.clear();
        surface.addDrop(side / 2, side / 2, preset.dropRadius, preset.dropStrength, surface.current,
                        random);
        for (int frame = 0; frame < frames; ++frame)
            surface.advanceWith(kernel, source.data(), destination.data());
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
    }
    state.counters["ns_per_cell"] =
        benchmark::Counter(double(cells) * frames, benchmark::Counter::kIsIterationInvariantRate |
                                                       benchmark::Counter::kInvert);
}

void BM_AdvanceReference(benchmark::State& state) {
    advanceFrames(state, AdvanceKernel::reference);
}
void BM_AdvanceSse2(benchmark::State& state) {
    advanceFrames(state, AdvanceKernel::sse2);
}
void BM_AdvanceAvx2(benchmark::State& state) {
    advanceFrames(state, AdvanceKernel::avx2);
}

// The floor: copy one height buffer over the other and the source over the destination.
void BM_StreamFloor(benchmark::State& state) {
    const std::size_t cells = std::size_t(state.range(0) * state.range(0));
    std::vector<int32_t> heightsA(cells, 1), heightsB(cells);
    std::vector<uint32_t> source = picture(cells), destination(cells);
    for (auto _ : state) {
        std::memcpy(heightsB.data(), heightsA.data(), cells * sizeof(int32_t));
        std::memcpy(destination.data(), source.data(), cells * sizeof(uint32_t));
        benchmark::DoNotOptimize(heightsB.data());
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
    }
    state.counters["ns_per_cell"] = benchmark::Counter(
        double(cells), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert,
        benchmark::Counter::kIs1000);
}

// The dispatched advance and its floor timed back to back, one drop and then the floor for
// as many frames: the ratio of each such pair is taken while the machine is in one state,
// so other work sharing the machine moves both sides of it alike. Reports the median ratio.
void BM_AdvanceBesideFloor(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    const int side = int(state.range(0));
    const std::size_t cells = std::size_t(side) * std::size_t(side);
    DropPreset preset = dropPresetFor(0);
    for (uint32_t size = 0; size < 5; ++size)
        if (patchSide(dropPresetFor(size)) == side)
            preset = dropPresetFor(size);
    const int frames = framesPerDrop(preset);
    SurfaceHeap heap;
    WaterSurface surface(heap);
    RandomGenerator random{1};
    surface.init(side, side);
    std::vector<uint32_t> source = picture(cells), destination(cells), copy(cells);
    std::vector<int32_t> heightsA(cells, 1), heightsB(cells);
    std::vector<double> ratios;
    for (auto _ : state) {
        const auto start = Clock::now();
        surface.clear();
        surface.addDrop(side / 2, side / 2, preset.dropRadius, preset.dropStrength, surface.current,
                        random);
        for (int frame = 0; frame < frames; ++frame)
            surface.advance(source.data(), destination.data());
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
        const auto middle = Clock::now();
        for (int frame = 0; frame < frames; ++frame) {
            std::memcpy(heightsB.data(), heightsA.data(), cells * sizeof(int32_t));
            std::memcpy(copy.data(), source.data(), cells * sizeof(uint32_t));
            benchmark::DoNotOptimize(heightsB.data());
            benchmark::DoNotOptimize(copy.data());
            benchmark::ClobberMemory();
        }
        const auto end = Clock::now();
        const std::chrono::duration<double> advanceTime = middle - start;
        const std::chrono::duration<double> floorTime = end - middle;
        state.SetIterationTime(advanceTime.count());
        ratios.push_back(advanceTime.count() / floorTime.count());
    }
    if (ratios.empty())
        return;
    std::nth_element(ratios.begin(), ratios.begin() + ratios.size() / 2, ratios.end());
    state.counters["floor_ratio"] = ratios[ratios.size() / 2];
}

} // namespace

#define WATER_SIDES Arg(100)->Arg(200)->Arg(280)->Arg(320)->Arg(400)
BENCHMARK(BM_StreamFloor)->WATER_SIDES;
BENCHMARK(BM_AdvanceReference)->WATER_SIDES;
BENCHMARK(BM_AdvanceSse2)->WATER_SIDES;
BENCHMARK(BM_AdvanceAvx2)->WATER_SIDES;
BENCHMARK(BM_AdvanceBesideFloor)->WATER_SIDES->UseManualTime();
