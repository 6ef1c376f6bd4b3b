#include "engine/water_surface.h"

#include "engine/random.h"
#include "engine/surface_heap.h"

#include "test_random.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

// A heap that counts what it hands out and can be told to fail.
struct FakeHeap {
    int created = 0;
    int destroyed = 0;
    int allocations = 0;
    bool failCreate = false;
    int failAllocation = -1; // fail the allocation with this number (0-based)
    std::set<void*> live;
};
FakeHeap fake;
char fakeHeapObject;

void* fakeCreate() {
    if (fake.failCreate)
        return nullptr;
    ++fake.created;
    return &fakeHeapObject;
}
void* fakeAllocate(void* heap, std::size_t bytes) {
    EXPECT_EQ(heap, &fakeHeapObject);
    if (fake.allocations++ == fake.failAllocation)
        return nullptr;
    void* block = std::malloc(bytes);
    fake.live.insert(block);
    return block;
}
void fakeFree(void* heap, void* block) {
    EXPECT_EQ(heap, &fakeHeapObject);
    EXPECT_EQ(fake.live.erase(block), 1u) << "freed a block the heap does not hold";
    std::free(block);
}
void fakeDestroy(void* heap) {
    EXPECT_EQ(heap, &fakeHeapObject);
    EXPECT_TRUE(fake.live.empty()) << "heap destroyed with blocks still in use";
    ++fake.destroyed;
}

class WaterSurfaceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fake = FakeHeap{};
        ASSERT_TRUE(heap.use({fakeCreate, fakeAllocate, fakeFree, fakeDestroy}));
        seedRandom(1);
    }
    void TearDown() override {
        EXPECT_EQ(heap.surfaces(), 0);
        EXPECT_EQ(heap.heap(), nullptr);
        EXPECT_TRUE(fake.live.empty());
    }
    SurfaceHeap heap;
};

std::vector<AdvanceKernel> availableKernels() {
    std::vector<AdvanceKernel> kernels;
    for (AdvanceKernel k : {AdvanceKernel::reference, AdvanceKernel::sse2, AdvanceKernel::avx2})
        if (advanceKernelAvailable(k))
            kernels.push_back(k);
    return kernels;
}

const char* kernelName(AdvanceKernel k) {
    return k == AdvanceKernel::reference ? "reference" : k == AdvanceKernel::sse2 ? "sse2" : "avx2";
}

int cell(const WaterSurface& s, int buffer, int col, int row) {
    return s.heights[buffer][row * s.width + col];
}

int changedCells(const WaterSurface& s, int buffer) {
    int n = 0;
    for (int i = 0; i < s.width * s.height; ++i)
        n += s.heights[buffer][i] != 0;
    return n;
}

std::vector<uint32_t> randomPixels(std::size_t n, unsigned seed) {
    std::vector<uint32_t> p(n);
    for (auto& v : p) {
        seed = seed * 1103515245u + 12345u;
        v = seed ^ (seed >> 13);
    }
    return p;
}

} // namespace

TEST_F(WaterSurfaceTest, FlatSurfaceCopiesInteriorPixelsWithTopByteCleared) {
    for (AdvanceKernel k : availableKernels()) {
        WaterSurface s(heap);
        ASSERT_TRUE(s.init(21, 7));
        std::vector<uint32_t> source = randomPixels(21 * 7, 5);
        std::vector<uint32_t> dest(21 * 7, 0xDEADBEEF);
        s.advanceWith(k, source.data(), dest.data());
        for (int row = 0; row < 7; ++row)
            for (int col = 0; col < 21; ++col) {
                int i = row * 21 + col;
                bool border = row == 0 || row == 6 || col == 0 || col == 20;
                uint32_t expected = border ? 0xDEADBEEF : source[i] & 0x00FFFFFF;
                ASSERT_EQ(dest[i], expected)
                    << kernelName(k) << " at column " << col << ", row " << row;
            }
        s.release();
    }
}

TEST_F(WaterSurfaceTest, DiscOfRadiusCoversCellsStrictlyInsideCircle) {
    const int expectedCells[] = {0, 1, 9, 25, 45};
    for (int radius = 1; radius <= 4; ++radius) {
        WaterSurface s(heap);
        ASSERT_TRUE(s.init(20, 20));
        s.addDrop(10, 10, radius, 7, 0, testRandom);
        EXPECT_EQ(changedCells(s, 0), expectedCells[radius]) << "radius " << radius;
        EXPECT_EQ(changedCells(s, 1), 0);
        if (radius > 3)
            continue;
        // Up to radius 3 the disc is the whole square around the centre.
        for (int j = 1 - radius; j <= radius - 1; ++j)
            for (int k = 1 - radius; k <= radius - 1; ++k)
                EXPECT_EQ(cell(s, 0, 10 + k, 10 + j), 7) << "radius " << radius;
    }
}

TEST_F(WaterSurfaceTest, DropAddsToTheChosenBufferAndAccumulates) {
    WaterSurface s(heap);
    ASSERT_TRUE(s.init(10, 10));
    s.addDrop(5, 5, 1, 30, 1, testRandom);
    s.addDrop(5, 5, 1, 12, 7, testRandom); // any non-zero buffer index means heights[1]
    EXPECT_EQ(changedCells(s, 0), 0);
    EXPECT_EQ(cell(s, 1, 5, 5), 42);
    s.clear();
    EXPECT_EQ(changedCells(s, 1), 0);
}

TEST_F(WaterSurfaceTest, DropsAtTheEdgeAreClippedToInteriorCells) {
    WaterSurface s(heap);
    ASSERT_TRUE(s.init(30, 30));
    s.addDrop(0, 15, 3, 5, 0, testRandom);
    for (int row = 0; row < 30; ++row)
        EXPECT_EQ(cell(s, 0, 0, row), 0) << "column 0 is border, row " << row;
    // Of the 5 x 5 disc only the columns 1 and 2 remain.
    EXPECT_EQ(changedCells(s, 0), 10);

    s.clear();
    s.addDrop(29 + 6, 15, 3, 5, 0, testRandom);
    s.addDrop(15, 29 + 6, 3, 5, 0, testRandom);
    EXPECT_EQ(changedCells(s, 0), 0);
}

TEST_F(WaterSurfaceTest, HugeRadiusOrFarCentreFinishesAndTouchesOnlyInteriorCells) {
    WaterSurface s(heap);
    ASSERT_TRUE(s.init(12, 9));
    s.addDrop(2000000000, 2000000000, 2000000000, 1, 0, testRandom);
    EXPECT_EQ(changedCells(s, 0), 0);
    s.addDrop(5, 4, 2147483647, 1, 0, testRandom);
    EXPECT_EQ(changedCells(s, 0), 10 * 7) << "every interior cell, no border cell";
}

TEST_F(WaterSurfaceTest, FirstFrameShowsTheDropThenHeightsDamp) {
    for (AdvanceKernel k : availableKernels()) {
        WaterSurface s(heap);
        ASSERT_TRUE(s.init(40, 40));
        s.addDrop(20, 20, 3, 200, s.current, testRandom);
        std::vector<uint32_t> source(40 * 40, 0x00808080);
        std::vector<uint32_t> dest(40 * 40, 0);
        s.advanceWith(k, source.data(), dest.data());
        EXPECT_EQ(s.current, 1);
        EXPECT_EQ(changedCells(s, 1), 0) << kernelName(k);
        for (int j = -2; j <= 2; ++j)
            for (int i = -2; i <= 2; ++i)
                EXPECT_EQ(cell(s, 0, 20 + i, 20 + j), -193) << kernelName(k);
        EXPECT_EQ(changedCells(s, 0), 25) << kernelName(k);
        // The disc's right edge slopes down by 200: that pixel is darkened by 200 and taken
        // 25 cells to the right; inside the disc the picture is unchanged.
        EXPECT_EQ(dest[20 * 40 + 22], 0x00000000u) << kernelName(k);
        EXPECT_EQ(dest[20 * 40 + 20], 0x00808080u) << kernelName(k);
        // Left of the disc the slope rises by 200: lightened to white.
        EXPECT_EQ(dest[20 * 40 + 17], 0x00FFFFFFu) << kernelName(k);
    }
}

TEST_F(WaterSurfaceTest, PropagationDampsByAThirtySecondRoundedDown) {
    // v is made from the cell's own old height with flat neighbours: v = -old.
    const int cases[][2] = {{31, 31}, {32, 31}, {64, 62}, {-1, 0}, {-32, -31}, {0, 0}};
    for (AdvanceKernel k : availableKernels())
        for (const auto& c : cases) {
            WaterSurface s(heap);
            ASSERT_TRUE(s.init(20, 6));
            s.heights[0][2 * 20 + 5] = -c[0];
            std::vector<uint32_t> source(20 * 6), dest(20 * 6);
            s.advanceWith(k, source.data(), dest.data());
            EXPECT_EQ(cell(s, 0, 5, 2), c[1]) << kernelName(k) << ": v = " << c[0];
        }
}

TEST_F(WaterSurfaceTest, PropagationSumsTheEightNeighboursOfTheNewerGeneration) {
    for (AdvanceKernel k : availableKernels()) {
        WaterSurface s(heap);
        ASSERT_TRUE(s.init(20, 6));
        s.current = 1; // heights[0] is the newer generation, heights[1] receives the next
        const int offsets[] = {-21, -20, -19, -1, 1, 19, 20, 21};
        const int at = 2 * 20 + 9;
        for (int o : offsets)
            s.heights[0][at + o] = 16 + o;
        s.heights[1][at] = 3;
        std::vector<uint32_t> source(20 * 6), dest(20 * 6);
        s.advanceWith(k, source.data(), dest.data());
        // Sum 128, so v = 32 - 3 = 29, below 32: no damping.
        EXPECT_EQ(s.heights[1][at], 29) << kernelName(k);
        EXPECT_EQ(s.current, 0);
    }
}

// Aims cell `at` of a fresh surface at source index `target` and reports whether the
// destination pixel was written.
static bool writesPixelWhenAimedAt(SurfaceHeap& heap, AdvanceKernel k, int width, int height,
                                   int at, int target) {
    WaterSurface s(heap);
    if (!s.init(width, height))
        return false;
    int offset = target - at;
    int rows = offset >= 0 ? (offset + width / 2) / width : -((-offset + width / 2) / width);
    int cols = offset - rows * width;
    // dx = -right and dy = -below, so these give steps of cols and rows.
    s.heights[0][at + 1] = -8 * cols;
    s.heights[0][at + width] = -8 * rows;
    std::vector<uint32_t> source(width * height, 0x00112233);
    std::vector<uint32_t> dest(width * height, 0xABCDEF01);
    s.advanceWith(k, source.data(), dest.data());
    return dest[at] != 0xABCDEF01;
}

TEST_F(WaterSurfaceTest, SlopesPointingAtOrBeyondTheEndsLeaveThePixel) {
    const int w = 18, h = 10, cells = w * h;
    for (AdvanceKernel k : availableKernels()) {
        for (int at : {w + 1, w + 3, (h - 2) * w + 5, (h - 2) * w + w - 2}) {
            EXPECT_FALSE(writesPixelWhenAimedAt(heap, k, w, h, at, 0))
                << kernelName(k) << " cell " << at;
            EXPECT_TRUE(writesPixelWhenAimedAt(heap, k, w, h, at, 1))
                << kernelName(k) << " cell " << at;
            EXPECT_TRUE(writesPixelWhenAimedAt(heap, k, w, h, at, cells - 1))
                << kernelName(k) << " cell " << at;
            EXPECT_FALSE(writesPixelWhenAimedAt(heap, k, w, h, at, cells))
                << kernelName(k) << " cell " << at;
            EXPECT_FALSE(writesPixelWhenAimedAt(heap, k, w, h, at, -w))
                << kernelName(k) << " cell " << at;
        }
    }
}

TEST_F(WaterSurfaceTest, RandomDropPositionsFollowTheSharedGeneratorXFirst) {
    WaterSurface s(heap);
    ASSERT_TRUE(s.init(40, 25));
    const int radius = 4;
    for (uint32_t seed = 1; seed < 200; ++seed) {
        seedRandom(seed);
        RandomGenerator expected{seed};
        int x = int(expected.next() % (40 - 2 * radius - 1)) + radius + 1;
        int y = int(expected.next() % (25 - 2 * radius - 1)) + radius + 1;
        s.clear();
        s.addDrop(-1, -1, radius, 1, 0, testRandom);
        ASSERT_EQ(cell(s, 0, x, y), 1) << "seed " << seed;
        ASSERT_EQ(changedCells(s, 0), 45) << "the whole disc lies inside, seed " << seed;
        ASSERT_GE(x, radius + 1);
        ASSERT_LE(x, 40 - radius - 1);
        ASSERT_EQ(loadRandom().state, expected.state);
    }
    // Only the negative coordinate is drawn.
    seedRandom(9);
    RandomGenerator expected{9};
    int y = int(expected.next() % (25 - 2 * radius - 1)) + radius + 1;
    s.clear();
    s.addDrop(7, -5, radius, 1, 0, testRandom);
    EXPECT_EQ(cell(s, 0, 7, y), 1);
    EXPECT_EQ(loadRandom().state, expected.state);
}

TEST_F(WaterSurfaceTest, RandomDropOnASurfaceTooSmallForTheDiscDoesNothing) {
    WaterSurface s(heap);
    ASSERT_TRUE(s.init(9, 40));
    seedRandom(5);
    s.addDrop(-1, 20, 4, 1, 0, testRandom); // needs a width above 9
    s.addDrop(3, -1, 4, 1, 0, testRandom);  // room in height: y is drawn
    EXPECT_EQ(changedCells(s, 0), 45 - 5) << "one disc, clipped at column 0";
    RandomGenerator expected{5};
    expected.next();
    EXPECT_EQ(loadRandom().state, expected.state) << "the refused drop drew nothing";
}

TEST_F(WaterSurfaceTest, HeapLivesFromTheFirstInitToTheLastRelease) {
    {
        WaterSurface a(heap);
        WaterSurface b(heap);
        ASSERT_TRUE(a.init(10, 10));
        ASSERT_TRUE(b.init(12, 8));
        EXPECT_EQ(fake.created, 1);
        EXPECT_EQ(heap.surfaces(), 2);
        a.release();
        EXPECT_EQ(fake.destroyed, 0);
        EXPECT_NE(heap.heap(), nullptr);
        a.release(); // a second release of the same surface must not count
        EXPECT_EQ(heap.surfaces(), 1);
        EXPECT_EQ(fake.destroyed, 0);
        EXPECT_EQ(b.width, 12);
        b.release();
        EXPECT_EQ(fake.destroyed, 1);
        EXPECT_EQ(heap.heap(), nullptr);
        EXPECT_EQ(b.width, 12) << "size survives release";

        ASSERT_TRUE(a.init(6, 6)); // a released surface can be used again, on a new heap
        EXPECT_EQ(fake.created, 2);
        ASSERT_TRUE(a.init(8, 8)); // sizing again is not another surface
        EXPECT_EQ(heap.surfaces(), 1);
    } // destructors release
    EXPECT_EQ(fake.destroyed, 2);
}

TEST_F(WaterSurfaceTest, FailedHeapCreationLeavesTheSurfaceAsItWas) {
    fake.failCreate = true;
    WaterSurface s(heap);
    EXPECT_FALSE(s.init(10, 10));
    EXPECT_FALSE(s.ready());
    EXPECT_EQ(s.width, 0);
    EXPECT_EQ(heap.surfaces(), 0);
    EXPECT_EQ(heap.heap(), nullptr);
}

TEST_F(WaterSurfaceTest, FailedAllocationLeavesNoHalfMadeSurface) {
    for (int failing : {0, 1}) {
        fake = FakeHeap{};
        fake.failAllocation = failing;
        WaterSurface s(heap);
        EXPECT_FALSE(s.init(10, 10)) << "allocation " << failing;
        EXPECT_FALSE(s.ready());
        EXPECT_TRUE(fake.live.empty()) << "the first buffer went back";
        EXPECT_EQ(heap.surfaces(), 0);
        EXPECT_EQ(fake.destroyed, 1) << "the heap made for it went too";
        EXPECT_EQ(heap.heap(), nullptr);
    }
}

TEST_F(WaterSurfaceTest, FailedResizeDropsTheOldBuffersButNotAnotherSurfacesHeap) {
    WaterSurface other(heap);
    WaterSurface s(heap);
    ASSERT_TRUE(other.init(10, 10));
    ASSERT_TRUE(s.init(10, 10));
    fake.failAllocation = fake.allocations + 1;
    EXPECT_FALSE(s.init(20, 20));
    EXPECT_FALSE(s.ready());
    EXPECT_EQ(heap.surfaces(), 1);
    EXPECT_EQ(fake.destroyed, 0);
    EXPECT_TRUE(other.ready());
    other.release();
    EXPECT_EQ(fake.destroyed, 1);
}

TEST_F(WaterSurfaceTest, UnusableSizesAreRefusedAndChangeNothing) {
    WaterSurface s(heap);
    for (auto size : {std::pair<int, int>{0, 10}, {10, 0}, {-4, 10}, {10, -1}, {65536, 65536}})
        EXPECT_FALSE(s.init(size.first, size.second)) << size.first << " x " << size.second;
    EXPECT_EQ(fake.created, 0);
    ASSERT_TRUE(s.init(5, 5));
    s.heights[0][12] = 9;
    EXPECT_FALSE(s.init(0, 5));
    ASSERT_TRUE(s.ready());
    EXPECT_EQ(s.width, 5);
    EXPECT_EQ(s.heights[0][12], 9);
}

TEST_F(WaterSurfaceTest, SurfaceWithoutBuffersChangesNothing) {
    WaterSurface never(heap);
    WaterSurface released(heap);
    ASSERT_TRUE(released.init(10, 10));
    released.release();
    std::vector<uint32_t> source(100, 0x123456), dest(100, 7);
    for (WaterSurface* s : {&never, &released}) {
        seedRandom(3);
        s->clear();
        s->addDrop(-1, -1, 2, 100, 0, testRandom);
        s->advance(source.data(), dest.data());
        EXPECT_EQ(loadRandom().state, 3u) << "no random draw";
        EXPECT_EQ(s->current, 0) << "no frame";
    }
    EXPECT_EQ(dest, std::vector<uint32_t>(100, 7));
}

TEST_F(WaterSurfaceTest, FastKernelsMatchTheReferenceFrameByFrame) {
    const int sizes[][2] = {{3, 3},   {4, 7},  {5, 5},    {6, 9},     {9, 9},
                            {10, 13}, {11, 4}, {17, 11},  {18, 18},   {19, 6},
                            {33, 21}, {64, 3}, {101, 57}, {100, 100}, {130, 37}};
    for (AdvanceKernel k : availableKernels()) {
        if (k == AdvanceKernel::reference)
            continue;
        for (const auto& size : sizes) {
            const int w = size[0], h = size[1], n = w * h;
            for (int extreme = 0; extreme < 2; ++extreme) {
                WaterSurface ref(heap), fast(heap);
                ASSERT_TRUE(ref.init(w, h));
                ASSERT_TRUE(fast.init(w, h));
                // Moderate heights as ripples make them, or any 32-bit value to press on
                // wrapping and on slopes that point off the surface.
                std::vector<uint32_t> noise = randomPixels(2 * n, unsigned(w * 31 + h + extreme));
                for (int b = 0; b < 2; ++b)
                    for (int i = 0; i < n; ++i) {
                        uint32_t r = noise[b * n + i];
                        int32_t v = extreme ? int32_t(r) : int32_t(r % 4001) - 2000;
                        ref.heights[b][i] = fast.heights[b][i] = v;
                    }
                ref.current = fast.current = (w + h) & 1;
                std::vector<uint32_t> source = randomPixels(n, unsigned(n));
                std::vector<uint32_t> refDest = randomPixels(n, 77), fastDest = refDest;
                for (int frame = 0; frame < 24; ++frame) {
                    ref.advanceWith(AdvanceKernel::reference, source.data(), refDest.data());
                    fast.advanceWith(k, source.data(), fastDest.data());
                    std::string where = std::string(kernelName(k)) + " " + std::to_string(w) +
                                        " x " + std::to_string(h) + " frame " +
                                        std::to_string(frame) + (extreme ? " extreme" : "");
                    ASSERT_EQ(fast.current, ref.current) << where;
                    ASSERT_EQ(fastDest, refDest) << where;
                    for (int b = 0; b < 2; ++b)
                        ASSERT_TRUE(std::equal(ref.heights[b], ref.heights[b] + n, fast.heights[b]))
                            << where << " heights[" << b << "]";
                }
            }
        }
    }
}

TEST_F(WaterSurfaceTest, FastKernelsMatchTheReferenceOverAWholeRipple) {
    for (AdvanceKernel k : availableKernels()) {
        if (k == AdvanceKernel::reference)
            continue;
        // The largest patch and drop, over every frame of one drop.
        const int side = 400, n = side * side;
        WaterSurface ref(heap), fast(heap);
        ASSERT_TRUE(ref.init(side, side));
        ASSERT_TRUE(fast.init(side, side));
        ref.addDrop(260, 130, 80, 500, 0, testRandom);
        fast.addDrop(260, 130, 80, 500, 0, testRandom);
        std::vector<uint32_t> source = randomPixels(n, 3);
        std::vector<uint32_t> refDest(n), fastDest(n);
        for (int frame = 0; frame < 560; ++frame) {
            ref.advanceWith(AdvanceKernel::reference, source.data(), refDest.data());
            fast.advanceWith(k, source.data(), fastDest.data());
            ASSERT_EQ(fastDest, refDest) << kernelName(k) << " frame " << frame;
        }
        EXPECT_TRUE(std::equal(ref.heights[0], ref.heights[0] + n, fast.heights[0]));
        EXPECT_TRUE(std::equal(ref.heights[1], ref.heights[1] + n, fast.heights[1]));
        EXPECT_EQ(fast.current, 0);
    }
}

TEST_F(WaterSurfaceTest, FastKernelsMatchTheReferenceOnGentleSlopes) {
    // Heights a few units apart give slopes whose eighths are mostly 0 or -1, the common case
    // in a ripple, with now and then a steeper lane among them; widths around whole vectors
    // press on the last cells of each row.
    const int widths[] = {10, 11, 16, 17, 18, 19, 25, 26, 27, 40, 41, 97};
    for (AdvanceKernel k : availableKernels()) {
        if (k == AdvanceKernel::reference)
            continue;
        for (int w : widths)
            for (int spread : {9, 17, 40}) {
                const int h = 12, n = w * h;
                WaterSurface ref(heap), fast(heap);
                ASSERT_TRUE(ref.init(w, h));
                ASSERT_TRUE(fast.init(w, h));
                std::vector<uint32_t> noise = randomPixels(2 * n, unsigned(w * 7 + spread));
                for (int b = 0; b < 2; ++b)
                    for (int i = 0; i < n; ++i) {
                        int32_t v = int32_t(noise[b * n + i] % unsigned(spread)) - spread / 2;
                        ref.heights[b][i] = fast.heights[b][i] = v;
                    }
                std::vector<uint32_t> source = randomPixels(n, unsigned(n + spread));
                std::vector<uint32_t> refDest = randomPixels(n, 5), fastDest = refDest;
                for (int frame = 0; frame < 6; ++frame) {
                    ref.advanceWith(AdvanceKernel::reference, source.data(), refDest.data());
                    fast.advanceWith(k, source.data(), fastDest.data());
                    std::string where = std::string(kernelName(k)) + " width " + std::to_string(w) +
                                        " spread " + std::to_string(spread) + " frame " +
                                        std::to_string(frame);
                    ASSERT_EQ(fastDest, refDest) << where;
                    for (int b = 0; b < 2; ++b)
                        ASSERT_TRUE(std::equal(ref.heights[b], ref.heights[b] + n, fast.heights[b]))
                            << where << " heights[" << b << "]";
                }
            }
    }
}

TEST_F(WaterSurfaceTest, SurfacesOfAnotherOwnersHeapLeaveThisOneAlone) {
    SurfaceHeap other; // the C++ allocator
    WaterSurface mine(heap);
    WaterSurface theirs(other);
    ASSERT_TRUE(mine.init(8, 8));
    ASSERT_TRUE(theirs.init(8, 8));
    EXPECT_EQ(heap.surfaces(), 1);
    EXPECT_EQ(other.surfaces(), 1);
    EXPECT_EQ(fake.allocations, 2) << "only this heap's surface took this heap's blocks";
    EXPECT_FALSE(heap.use(standardSurfaceHeap)) << "blocks must go back where they came from";
    mine.release();
    EXPECT_EQ(heap.heap(), nullptr);
    EXPECT_NE(other.heap(), nullptr) << "the other owner's surface still holds buffers";
    EXPECT_TRUE(theirs.ready());
}
