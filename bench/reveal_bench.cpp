#include "engine/random.h"
#include "engine/reveal.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

constexpr int screenWidth = 1920;
constexpr int screenHeight = 1080;
constexpr int stepsPerCycle = 13;

// One picture's whole reveal (13 steps from a clear map), so that early and late steps,
// whose share of new pixels differs, are weighed as in real use.
void revealCycle(benchmark::State& state) {
    const std::uint32_t bitCount = static_cast<std::uint32_t>(state.range(0));
    const std::uint8_t scatter = static_cast<std::uint8_t>(state.range(1));
    const int bytes = bitCount == 16 ? 2 : static_cast<int>(bitCount) / 8;
    const int pitch = screenWidth * bytes;
    std::vector<std::uint8_t> screen(static_cast<std::size_t>(pitch) * screenHeight, 0);
    std::vector<std::uint8_t> picture(screen.size());
    for (std::size_t i = 0; i < picture.size(); ++i)
        picture[i] = static_cast<std::uint8_t>(i * 2654435761u >> 24);
    std::vector<std::uint8_t> cells(static_cast<std::size_t>(screenWidth) * screenHeight);
    const SurfaceView screenView{screen.data(), pitch, screenWidth, screenHeight};
    const SurfaceView pictureView{picture.data(), pitch, screenWidth, screenHeight};
    const TargetGeometry target{0, 0, screenWidth, screenHeight, 0, 0};
    const RevealOptions options{false, scatter, channelMapFor(2), 2, nullptr};
    seedRandom(1);
    for (auto _ : state) {
        state.PauseTiming();
        std::memset(cells.data(), 0, cells.size());
        state.ResumeTiming();
        for (int step = 0; step < stepsPerCycle; ++step)
            revealStep(screenView, bitCount, pictureView, target,
                       {cells.data(), screenWidth, screenHeight}, options);
        benchmark::ClobberMemory();
    }
    const double draws = double{stepsPerCycle} * screenWidth * screenHeight;
    state.counters["ns_per_draw"] = benchmark::Counter(
        draws * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(revealCycle)
    ->ArgNames({"bits", "blur"})
    ->Args({32, 0})
    ->Args({32, 10})
    ->Args({16, 0})
    ->Args({16, 10})
    ->Unit(benchmark::kMillisecond);

// The floor: the same number of draws with nothing but the two random positions each.
void randomChainOnly(benchmark::State& state) {
    RandomGenerator random{1};
    for (auto _ : state) {
        std::uint32_t sum = 0;
        for (int step = 0; step < stepsPerCycle; ++step)
            for (int y = 0; y < screenHeight; ++y)
                for (int x = 0; x < screenWidth; ++x) {
                    sum += random.upTo(screenWidth - 1);
                    sum += random.upTo(screenHeight - 1);
                }
        benchmark::DoNotOptimize(sum);
    }
    const double draws = double{stepsPerCycle} * screenWidth * screenHeight;
    state.counters["ns_per_draw"] = benchmark::Counter(
        draws * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(randomChainOnly)->Unit(benchmark::kMillisecond);

} // namespace
