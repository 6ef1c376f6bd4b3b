// A picture's whole reveal against the random chain that decides it: the chain alone is
// the floor no reveal can go below, since every draw depends on the one before.
#include "engine/random.h"
#include "engine/reveal.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

constexpr int stepsPerCycle = 13;

int bytesFor(std::uint32_t bitCount) {
    return bitCount == 16 ? 2 : static_cast<int>(bitCount) / 8;
}

// Screen, picture and map of one size and depth, the picture filled with noise.
struct RevealScene {
    RevealScene(int w, int h, std::uint32_t bits)
        : width(w), height(h), bitCount(bits), pitch(w * bytesFor(bits)),
          screen(static_cast<std::size_t>(pitch) * h, 0), picture(screen.size()),
          cells(static_cast<std::size_t>(w) * h) {
        for (std::size_t i = 0; i < picture.size(); ++i)
            picture[i] = static_cast<std::uint8_t>(i * 2654435761u >> 24);
    }

    // 13 steps from a clear map, so that early and late steps, whose share of new pixels
    // differs, are weighed as in real use. Returns the pixels revealed.
    std::size_t cycle(std::uint8_t scatter) {
        std::memset(cells.data(), 0, cells.size());
        const SurfaceView screenView{screen.data(), pitch, width, height};
        const SurfaceView pictureView{picture.data(), pitch, width, height};
        const TargetGeometry target{0, 0, width, height, 0, 0};
        const RevealOptions options{false, scatter, channelMapFor(2), 2, nullptr, &random};
        for (int step = 0; step < stepsPerCycle; ++step)
            revealStep(screenView, bitCount, pictureView, target, {cells.data(), width, height},
                       options);
        std::size_t revealed = 0;
        for (std::uint8_t cell : cells)
            revealed += cell;
        return revealed;
    }

    int width, height;
    std::uint32_t bitCount;
    int pitch;
    std::vector<std::uint8_t> screen, picture, cells;
    RandomGenerator random{1};
};

void setDrawRate(benchmark::State& state, double draws) {
    state.counters["ns_per_draw"] = benchmark::Counter(
        draws * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Arguments: width, height, bits, blur. The map is cleared inside the timing: a memset of
// one byte per pixel is noise beside 13 x W x H draws.
void revealCycle(benchmark::State& state) {
    RevealScene scene(int(state.range(0)), int(state.range(1)),
                      static_cast<std::uint32_t>(state.range(2)));
    const std::uint8_t scatter = static_cast<std::uint8_t>(state.range(3));
    scene.random = RandomGenerator{1};
    for (auto _ : state) {
        scene.cycle(scatter);
        benchmark::ClobberMemory();
    }
    setDrawRate(state, double{stepsPerCycle} * scene.width * scene.height);
}

// The floor: the same random numbers as a cycle of the same size and blur, two per draw
// and two per scatter copy of each new pixel, with nothing else done.
void randomChain(benchmark::State& state) {
    const int width = int(state.range(0)), height = int(state.range(1));
    const std::uint32_t scatter = static_cast<std::uint32_t>(state.range(2));
    std::size_t revealed = std::size_t(width) * height;
    if (scatter != 0) {
        RevealScene scene(width, height, 32);
        revealed = scene.cycle(static_cast<std::uint8_t>(scatter));
    }
    const std::size_t draws = std::size_t(stepsPerCycle) * width * height;
    const std::size_t copies = revealed * scatter;
    const std::uint32_t boundX = std::uint32_t(width - 1), boundY = std::uint32_t(height - 1);
    RandomGenerator random{1};
    for (auto _ : state) {
        std::uint32_t sum = 0;
        for (std::size_t i = 0; i < draws; ++i) {
            sum += random.upTo(boundX);
            sum += random.upTo(boundY);
        }
        for (std::size_t i = 0; i < copies; ++i) {
            sum += random.upTo(2 * scatter);
            sum += random.upTo(2 * scatter);
        }
        benchmark::DoNotOptimize(sum);
    }
    setDrawRate(state, double(draws));
}

} // namespace

BENCHMARK(revealCycle)
    ->ArgNames({"w", "h", "bits", "blur"})
    ->ArgsProduct({{1024}, {768}, {16, 24, 32}, {0, 1, 10}})
    ->ArgsProduct({{1920}, {1080}, {16, 24, 32}, {0, 1, 10}})
    ->ArgsProduct({{3840}, {2160}, {16, 32}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

BENCHMARK(randomChain)
    ->ArgNames({"w", "h", "blur"})
    ->ArgsProduct({{1024}, {768}, {0, 1, 10}})
    ->ArgsProduct({{1920}, {1080}, {0, 1, 10}})
    ->ArgsProduct({{3840}, {2160}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
