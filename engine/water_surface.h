#pragma once

#include "engine/random.h"
#include "engine/surface_heap.h"

#include <cstdint>

// Which implementation of advance runs. All give identical results; advance picks the
// widest one the processor supports, the others are there for tests and benchmarks.
enum class AdvanceKernel { reference, sse2, avx2 };

bool advanceKernelAvailable(AdvanceKernel kernel);
AdvanceKernel fastestAdvanceKernel();

// The height field behind the drop ripple: two generations of integer heights, a drop
// that raises a disc of them, and a frame step that draws a picture as seen through the
// water and moves the waves on. Height buffers come from the surface heap it is made with. Pixels
// are 32-bit, blue in bits 0-7, green 8-15, red 16-23.
class WaterSurface {
  public:
    // `heap` outlives the surface.
    explicit WaterSurface(SurfaceHeap& heap) : heap_(&heap) {}
    virtual ~WaterSurface();
    WaterSurface(const WaterSurface&) = delete;
    WaterSurface& operator=(const WaterSurface&) = delete;

    // Makes the surface width x height cells, all heights 0, current 0. False, with no
    // buffers left behind, if the size is not positive or too large, or the heap or a
    // buffer cannot be had; a refused size or a heap that cannot be created leaves the
    // surface as it was.
    bool init(int32_t newWidth, int32_t newHeight);

    // Whether the surface holds buffers; without them clear, addDrop and advance do nothing.
    bool ready() const { return heights[0] != nullptr; }

    void clear();

    // Adds strength to the interior cells of heights[buffer != 0] strictly inside the circle
    // of radius around column x, row y. A negative x or y is drawn from `random` (x first);
    // if the surface is too small for such a disc nothing happens.
    void addDrop(int32_t x, int32_t y, int32_t radius, int32_t strength, int32_t buffer,
                 RandomGenerator& random);

    // One frame: draws heights[0] over source into destination (width x height pixels
    // each; border pixels and pixels whose slope points off the surface are left as they
    // were), then moves the waves on into heights[current] and flips current.
    void advance(const uint32_t* source, uint32_t* destination);
    void advanceWith(AdvanceKernel kernel, const uint32_t* source, uint32_t* destination);

    // Gives the buffers back; the last surface to do so destroys the heap. width, height
    // and current keep their values.
    void release();

    int32_t width = 0;
    int32_t height = 0;
    int32_t current = 0;
    int32_t dampingShift = 5;
    // What advance runs, chosen once as the surface is made.
    AdvanceKernel chosenKernel = fastestAdvanceKernel();
    int32_t* heights[2] = {nullptr, nullptr};

  private:
    SurfaceHeap* heap_;
};
