#include "engine/reveal.h"

#include "engine/random.h"

#include "test_random.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

constexpr int guardBytes = 64;
constexpr std::uint8_t guardValue = 0xA5;

// A pixel buffer with guard bytes on both sides, to see writes that leave it.
struct Buffer {
    Buffer(int w, int h, int pixelBytes, int extraPitch = 0)
        : width(w), height(h), bytes(pixelBytes), pitch(w * pixelBytes + extraPitch),
          storage(static_cast<std::size_t>(pitch) * h + 2 * guardBytes, guardValue) {
        std::memset(row(0), 0, static_cast<std::size_t>(pitch) * h);
    }

    std::uint8_t* row(int y) { return storage.data() + guardBytes + std::ptrdiff_t{y} * pitch; }
    const std::uint8_t* row(int y) const {
        return storage.data() + guardBytes + std::ptrdiff_t{y} * pitch;
    }
    std::uint8_t* at(int x, int y) { return row(y) + x * bytes; }
    const std::uint8_t* at(int x, int y) const { return row(y) + x * bytes; }
    SurfaceView view() { return {row(0), pitch, width, height}; }

    bool guardsIntact() const {
        for (int i = 0; i < guardBytes; ++i) {
            if (storage[i] != guardValue || storage[storage.size() - 1 - i] != guardValue)
                return false;
        }
        return true;
    }

    int width, height, bytes, pitch;
    std::vector<std::uint8_t> storage;
};

struct Case {
    int screenWidth, screenHeight;
    int pictureWidth, pictureHeight;
    int mapWidth, mapHeight;
    TargetGeometry target;
};

int bytesFor(std::uint32_t bitCount) {
    return bitCount == 16 ? 2 : static_cast<int>(bitCount) / 8;
}

// Fills a buffer with a repeatable pattern; about one pixel in `keyEvery` repeats the
// top-left pixel's colour (the colour the background cut looks for).
void fillPattern(Buffer& buffer, std::uint32_t seed, int keyEvery = 0) {
    std::uint32_t state = seed;
    for (int y = 0; y < buffer.height; ++y) {
        for (int x = 0; x < buffer.width; ++x) {
            for (int b = 0; b < buffer.bytes; ++b) {
                state = state * 1103515245u + 12345u;
                buffer.at(x, y)[b] = static_cast<std::uint8_t>(state >> 23);
            }
            if (keyEvery > 0 && (x + y) > 0 && (x * 7 + y * 3) % keyEvery == 0)
                std::memcpy(buffer.at(x, y), buffer.at(0, 0), buffer.bytes);
        }
    }
}

void writeMapped(std::uint8_t* destination, const std::uint8_t* source, int bytes, ChannelMap map,
                 std::uint8_t level) {
    if (bytes == 2) {
        std::uint16_t value = static_cast<std::uint16_t>(source[0] | (source[1] << 8));
        if (level != 0)
            value = mapPixel16(value, map);
        destination[0] = static_cast<std::uint8_t>(value);
        destination[1] = static_cast<std::uint8_t>(value >> 8);
    } else {
        placeBytes(destination, source[0], source[1], source[2], map);
    }
}

bool sameColour(const std::uint8_t* a, const std::uint8_t* b, int bytes) {
    return std::memcmp(a, b, bytes == 2 ? 2 : 3) == 0;
}

// The reveal as plainly as it can be written, one draw at a time with the free random
// functions; draws and copies outside the buffers are dropped.
void referenceStep(Buffer& screen, const Buffer& picture, const Case& c,
                   std::vector<std::uint8_t>& cells, const RevealOptions& options,
                   int rowLimit = 1 << 30) {
    const TargetGeometry& t = c.target;
    const int s = options.scatterCount;
    int rowsDone = 0;
    for (int row = t.top; row < t.bottom && rowsDone < rowLimit; ++row, ++rowsDone) {
        for (int column = t.left; column < t.right; ++column) {
            long long px = randomUpTo(static_cast<std::uint32_t>(t.right - t.originX - 1));
            long long py = randomUpTo(static_cast<std::uint32_t>(t.bottom - t.originY - 1));
            long long sx = t.originX + px, sy = t.originY + py;
            if (px >= c.mapWidth || py >= c.mapHeight || px >= picture.width ||
                py >= picture.height || sx < 0 || sy < 0 || sx >= screen.width ||
                sy >= screen.height)
                continue;
            std::uint8_t& cell = cells[py * c.mapWidth + px];
            if (cell != 0)
                continue;
            cell = 1;
            const std::uint8_t* source = picture.at(int(px), int(py));
            bool background =
                options.cutBackground && sameColour(source, picture.at(0, 0), picture.bytes);
            if (!background)
                writeMapped(screen.at(int(sx), int(sy)), source, screen.bytes, options.channelMap,
                            options.psychedeliaLevel);
            for (int i = 0; i < s; ++i) {
                long long qx = sx - s + randomUpTo(2 * s);
                qx = std::max<long long>(t.left, std::min<long long>(qx, t.right - 1));
                long long qy = sy - s + randomUpTo(2 * s);
                qy = std::max<long long>(t.top, std::min<long long>(qy, t.bottom - 1));
                if (!background && qx >= 0 && qy >= 0 && qx < screen.width && qy < screen.height)
                    writeMapped(screen.at(int(qx), int(qy)), source, screen.bytes,
                                options.channelMap, options.psychedeliaLevel);
            }
        }
    }
}

RevealOptions optionsWith(std::uint8_t scatter, bool cut, std::uint8_t level) {
    return {cut, scatter, channelMapFor(level), level, nullptr, &testRandom};
}

// Runs `steps` reveal steps of the product and of the reference from the same seed and
// expects the same screen, map and generator state.
void expectSameAsReference(std::uint32_t bitCount, const Case& c, const RevealOptions& options,
                           int steps, const char* what) {
    const int bytes = bytesFor(bitCount);
    Buffer screen(c.screenWidth, c.screenHeight, bytes, 6);
    Buffer picture(c.pictureWidth, c.pictureHeight, bytes, 2);
    fillPattern(screen, 11);
    fillPattern(picture, 29, 3);
    Buffer expectedScreen = screen;
    std::vector<std::uint8_t> cells(static_cast<std::size_t>(c.mapWidth) * c.mapHeight, 0);
    std::vector<std::uint8_t> expectedCells = cells;

    seedRandom(77);
    for (int i = 0; i < steps; ++i)
        referenceStep(expectedScreen, picture, c, expectedCells, options);
    const std::uint32_t expectedState = loadRandom().state;

    seedRandom(77);
    for (int i = 0; i < steps; ++i)
        EXPECT_TRUE(revealStep(screen.view(), bitCount, picture.view(), c.target,
                               {cells.data(), c.mapWidth, c.mapHeight}, options));
    EXPECT_EQ(loadRandom().state, expectedState) << what << ": same number of draws";
    EXPECT_TRUE(screen.storage == expectedScreen.storage) << what << ": screen differs";
    EXPECT_EQ(cells, expectedCells) << what << ": reveal map differs";
    EXPECT_TRUE(screen.guardsIntact()) << what << ": wrote outside the screen";
}

const std::uint32_t depths[] = {16, 24, 32};

// A target inside a larger screen, at its own origin.
const Case offsetTarget = {24, 20, 16, 12, 16, 12, {5, 3, 21, 15, 5, 3}};

} // namespace

TEST(Reveal, MatchesThePlainReferenceAtEveryDepth) {
    for (std::uint32_t bitCount : depths) {
        for (std::uint8_t scatter : {0, 2}) {
            for (bool cut : {false, true}) {
                for (std::uint8_t level : {0, 2, 4}) {
                    std::string what = std::to_string(bitCount) + " bits, scatter " +
                                       std::to_string(scatter) + (cut ? ", cut" : "") + ", level " +
                                       std::to_string(level);
                    expectSameAsReference(bitCount, offsetTarget, optionsWith(scatter, cut, level),
                                          13, what.c_str());
                }
            }
        }
    }
}

TEST(Reveal, TargetsThatDoNotFitTheBuffersNeverWriteOutside) {
    const Case cases[] = {
        // Target larger than the reveal map, as after a resize the map never saw.
        {24, 20, 16, 12, 10, 7, {5, 3, 21, 15, 5, 3}},
        // Picture smaller than the target.
        {24, 20, 9, 5, 16, 12, {5, 3, 21, 15, 5, 3}},
        // Target running past the screen's right and bottom edges.
        {18, 13, 16, 12, 16, 12, {5, 3, 21, 15, 5, 3}},
        // Target partly above and left of the screen.
        {24, 20, 16, 12, 16, 12, {-4, -3, 12, 9, -4, -3}},
        // Right and bottom before the origin: the bounds wrap round.
        {24, 20, 16, 12, 16, 12, {5, 3, 21, 15, 30, 25}},
    };
    for (std::uint32_t bitCount : depths) {
        for (const Case& c : cases) {
            std::string what = std::to_string(bitCount) + " bits, target " +
                               std::to_string(c.target.left) + "," + std::to_string(c.target.top) +
                               " map " + std::to_string(c.mapWidth) + "x" +
                               std::to_string(c.mapHeight);
            // Without scatter only the draws themselves can stray.
            for (std::uint8_t scatter : {0, 3})
                expectSameAsReference(bitCount, c, optionsWith(scatter, true, 2), 4,
                                      (what + ", scatter " + std::to_string(scatter)).c_str());
        }
    }
}

TEST(Reveal, WithoutScatterThirteenStepsShowTheMappedPicture) {
    for (std::uint32_t bitCount : depths) {
        for (std::uint8_t level : {0, 1, 4}) {
            const int bytes = bytesFor(bitCount);
            const Case& c = offsetTarget;
            Buffer screen(c.screenWidth, c.screenHeight, bytes);
            Buffer picture(c.pictureWidth, c.pictureHeight, bytes);
            fillPattern(screen, 3);
            fillPattern(picture, 5);
            const Buffer before = screen;
            std::vector<std::uint8_t> cells(c.mapWidth * c.mapHeight, 0);
            seedRandom(1);
            for (int step = 0; step < 13; ++step)
                revealStep(screen.view(), bitCount, picture.view(), c.target,
                           {cells.data(), c.mapWidth, c.mapHeight}, optionsWith(0, false, level));
            int revealed = 0;
            for (int y = 0; y < c.screenHeight; ++y) {
                for (int x = 0; x < c.screenWidth; ++x) {
                    int px = x - c.target.originX, py = y - c.target.originY;
                    bool inTarget = px >= 0 && py >= 0 && px < 16 && py < 12;
                    std::uint8_t expected[4];
                    std::memcpy(expected, before.at(x, y), bytes);
                    if (inTarget && cells[py * c.mapWidth + px] != 0) {
                        writeMapped(expected, picture.at(px, py), bytes, channelMapFor(level),
                                    level);
                        ++revealed;
                    }
                    ASSERT_EQ(std::memcmp(screen.at(x, y), expected, bytes), 0)
                        << bitCount << " bits, level " << int(level) << ", pixel " << x << "," << y
                        << (inTarget ? " inside" : " outside") << " the target";
                }
            }
            EXPECT_GE(revealed, 16 * 12 - 2) << "nearly every pixel is drawn in 13 steps";
            if (bitCount == 16 && level == 0) {
                bool sawBit5 = false;
                for (int y = 3; y < 15; ++y)
                    for (int x = 5; x < 21; ++x)
                        sawBit5 = sawBit5 || (screen.at(x, y)[0] & 0x20) != 0;
                EXPECT_TRUE(sawBit5) << "level 0 copies 16-bit pixels bit for bit";
            }
        }
    }
}

TEST(Reveal, ScatterCopiesStayWithinTheirSquareClampedToTheTarget) {
    // Every picture pixel has its own colour, so each screen pixel tells where it came from.
    const int s = 10;
    const Case c = {40, 36, 24, 20, 24, 20, {6, 4, 30, 24, 6, 4}};
    for (std::uint32_t bitCount : depths) {
        const int bytes = bytesFor(bitCount);
        Buffer screen(c.screenWidth, c.screenHeight, bytes);
        Buffer picture(c.pictureWidth, c.pictureHeight, bytes);
        for (int y = 0; y < c.pictureHeight; ++y)
            for (int x = 0; x < c.pictureWidth; ++x) {
                picture.at(x, y)[0] = static_cast<std::uint8_t>(x + 1);
                picture.at(x, y)[1] = static_cast<std::uint8_t>(y + 1);
            }
        std::vector<std::uint8_t> cells(c.mapWidth * c.mapHeight, 0);
        seedRandom(5);
        for (int step = 0; step < 13; ++step)
            revealStep(screen.view(), bitCount, picture.view(), c.target,
                       {cells.data(), c.mapWidth, c.mapHeight}, optionsWith(s, false, 0));
        for (int y = 0; y < c.screenHeight; ++y) {
            for (int x = 0; x < c.screenWidth; ++x) {
                const std::uint8_t* p = screen.at(x, y);
                bool inTarget = x >= 6 && x < 30 && y >= 4 && y < 24;
                if (!inTarget) {
                    EXPECT_EQ(p[0] | p[1], 0) << bitCount << " bits: pixel " << x << "," << y
                                              << " outside the target was written";
                    continue;
                }
                ASSERT_NE(p[0], 0) << "pixel " << x << "," << y << " never drawn";
                int fromX = c.target.originX + p[0] - 1, fromY = c.target.originY + p[1] - 1;
                EXPECT_LE(std::abs(fromX - x), s) << bitCount << " bits at " << x << "," << y;
                EXPECT_LE(std::abs(fromY - y), s) << bitCount << " bits at " << x << "," << y;
            }
        }
    }
}

TEST(Reveal, CornerCopiesAreClampedOntoTheTargetEdges) {
    // Only the corner pixel is still hidden, so its copies are the only writes.
    const int s = 10;
    const Case c = {40, 36, 24, 20, 24, 20, {6, 4, 30, 24, 6, 4}};
    for (std::uint32_t bitCount : depths) {
        const int bytes = bytesFor(bitCount);
        Buffer picture(c.pictureWidth, c.pictureHeight, bytes);
        std::memset(picture.at(0, 0), 0x7E, bytes);
        int onEdges = 0;
        for (std::uint32_t seed = 1; seed <= 20; ++seed) {
            Buffer screen(c.screenWidth, c.screenHeight, bytes);
            std::vector<std::uint8_t> cells(c.mapWidth * c.mapHeight, 1);
            cells[0] = 0;
            seedRandom(seed);
            for (int step = 0; step < 13 && cells[0] == 0; ++step)
                revealStep(screen.view(), bitCount, picture.view(), c.target,
                           {cells.data(), c.mapWidth, c.mapHeight}, optionsWith(s, false, 0));
            ASSERT_EQ(cells[0], 1) << "seed " << seed << ": corner never drawn";
            ASSERT_EQ(screen.at(6, 4)[0], 0x7E) << "the corner is written at its own place";
            for (int y = 0; y < c.screenHeight; ++y)
                for (int x = 0; x < c.screenWidth; ++x) {
                    if (screen.at(x, y)[0] == 0)
                        continue;
                    EXPECT_TRUE(x >= 6 && x <= 6 + s && y >= 4 && y <= 4 + s)
                        << bitCount << " bits, seed " << seed << ": copy at " << x << "," << y;
                    onEdges += (x == 6) != (y == 4);
                }
        }
        EXPECT_GT(onEdges, 0) << bitCount << " bits: copies drawn past the edge land on it";
    }
}

TEST(Reveal, CutBackgroundLeavesThePreviousPictureButMarksTheCells) {
    for (std::uint32_t bitCount : depths) {
        for (std::uint8_t scatter : {0, 4}) {
            const int bytes = bytesFor(bitCount);
            const Case& c = offsetTarget;
            Buffer screen(c.screenWidth, c.screenHeight, bytes);
            Buffer picture(c.pictureWidth, c.pictureHeight, bytes);
            fillPattern(picture, 8, 4);
            std::memset(picture.at(0, 0), 0xFF, bytes == 2 ? 2 : 3); // white background
            for (int y = 0; y < c.pictureHeight; ++y)
                for (int x = 0; x < c.pictureWidth; ++x)
                    if ((x * 7 + y * 3) % 4 == 0) {
                        std::memset(picture.at(x, y), 0xFF, bytes == 2 ? 2 : 3);
                        if (bytes == 4)
                            picture.at(x, y)[3] = static_cast<std::uint8_t>(x); // plays no part
                    }
            std::vector<std::uint8_t> cells(c.mapWidth * c.mapHeight, 0);
            seedRandom(9);
            for (int step = 0; step < 13; ++step)
                revealStep(screen.view(), bitCount, picture.view(), c.target,
                           {cells.data(), c.mapWidth, c.mapHeight}, optionsWith(scatter, true, 0));
            int marked = 0;
            for (std::uint8_t cell : cells)
                marked += cell;
            EXPECT_GE(marked, 16 * 12 - 2) << "background cells are marked revealed too";
            int leftAlone = 0;
            for (int y = 3; y < 15; ++y)
                for (int x = 5; x < 21; ++x) {
                    const std::uint8_t* p = screen.at(x, y);
                    EXPECT_FALSE(p[0] == 0xFF && p[1] == 0xFF && (bytes == 2 || p[2] == 0xFF))
                        << bitCount << " bits, scatter " << int(scatter) << ": white written at "
                        << x << "," << y;
                    leftAlone += (p[0] | p[1]) == 0;
                }
            if (scatter == 0) {
                EXPECT_GT(leftAlone, 20) << "the previous picture shows where the new is white";
            }
        }
    }
}

TEST(Reveal, FourthByteOfThirtyTwoBitPixelsIsNeverWritten) {
    const Case& c = offsetTarget;
    Buffer screen(c.screenWidth, c.screenHeight, 4);
    Buffer picture(c.pictureWidth, c.pictureHeight, 4);
    fillPattern(screen, 21);
    fillPattern(picture, 22);
    const Buffer before = screen;
    std::vector<std::uint8_t> cells(c.mapWidth * c.mapHeight, 0);
    for (int step = 0; step < 13; ++step)
        revealStep(screen.view(), 32, picture.view(), c.target,
                   {cells.data(), c.mapWidth, c.mapHeight}, optionsWith(6, false, 5));
    int changed = 0;
    for (int y = 0; y < c.screenHeight; ++y)
        for (int x = 0; x < c.screenWidth; ++x) {
            EXPECT_EQ(screen.at(x, y)[3], before.at(x, y)[3]) << "pixel " << x << "," << y;
            changed += std::memcmp(screen.at(x, y), before.at(x, y), 3) != 0;
        }
    EXPECT_GT(changed, 100);
}

TEST(Reveal, OtherDepthsDrawNothingAndDrawNoNumbers) {
    for (std::uint32_t bitCount : {0u, 8u, 15u, 64u}) {
        const Case& c = offsetTarget;
        Buffer screen(c.screenWidth, c.screenHeight, 4);
        Buffer picture(c.pictureWidth, c.pictureHeight, 4);
        fillPattern(picture, 4);
        const Buffer before = screen;
        std::vector<std::uint8_t> cells(c.mapWidth * c.mapHeight, 0);
        seedRandom(3);
        EXPECT_TRUE(revealStep(screen.view(), bitCount, picture.view(), c.target,
                               {cells.data(), c.mapWidth, c.mapHeight}, optionsWith(2, false, 0)));
        EXPECT_TRUE(screen.storage == before.storage) << bitCount << " bits changed the screen";
        EXPECT_EQ(cells, std::vector<std::uint8_t>(cells.size(), 0));
        EXPECT_EQ(loadRandom().state, 3u);
    }
}

namespace {
int rowsAllowed = 0;
struct StopAfterAllowedRows : RevealStop {
    bool requested() const override { return rowsAllowed-- <= 0; }
};
const StopAfterAllowedRows stopAfterAllowedRows{};
} // namespace

TEST(Reveal, StopRequestEndsTheStepBetweenRows) {
    for (int rows : {0, 1, 5}) {
        const Case& c = offsetTarget;
        Buffer screen(c.screenWidth, c.screenHeight, 4);
        Buffer picture(c.pictureWidth, c.pictureHeight, 4);
        fillPattern(picture, 12);
        Buffer expected = screen;
        std::vector<std::uint8_t> cells(c.mapWidth * c.mapHeight, 0), expectedCells = cells;
        RevealOptions options = optionsWith(1, false, 3);

        seedRandom(40);
        referenceStep(expected, picture, c, expectedCells, options, rows);
        const std::uint32_t expectedState = loadRandom().state;

        seedRandom(40);
        rowsAllowed = rows;
        options.stopRequested = &stopAfterAllowedRows;
        EXPECT_FALSE(revealStep(screen.view(), 32, picture.view(), c.target,
                                {cells.data(), c.mapWidth, c.mapHeight}, options))
            << "a stopped step says so";
        EXPECT_TRUE(screen.storage == expected.storage) << "after " << rows << " rows";
        EXPECT_EQ(cells, expectedCells) << "after " << rows << " rows";
        EXPECT_EQ(loadRandom().state, expectedState) << "the generator keeps its draws";
    }
}

TEST(Reveal, BrokenViewsDrawNothing) {
    const Case& c = offsetTarget;
    Buffer screen(c.screenWidth, c.screenHeight, 4);
    Buffer picture(c.pictureWidth, c.pictureHeight, 4);
    fillPattern(picture, 12);
    const Buffer before = screen;
    std::vector<std::uint8_t> cells(c.mapWidth * c.mapHeight, 0);
    SurfaceView narrowPitch = screen.view();
    narrowPitch.pitch = 8; // rows would overlap and the last would run past the buffer
    SurfaceView noBits = picture.view();
    noBits.bits = nullptr;
    const RevealMapView map{cells.data(), c.mapWidth, c.mapHeight};
    revealStep(narrowPitch, 32, picture.view(), c.target, map, optionsWith(2, false, 0));
    revealStep(screen.view(), 32, noBits, c.target, map, optionsWith(2, false, 0));
    revealStep(screen.view(), 32, picture.view(), c.target, {nullptr, 16, 12},
               optionsWith(2, false, 0));
    EXPECT_TRUE(screen.storage == before.storage);
}

// Without scatter the step plans its draws ahead of making them; what it leaves behind must
// still be exactly the plain reveal's, whether the step has fewer draws than it plans ahead
// or many rows of them, in a map wider than the target, and when it is stopped midway.
TEST(Reveal, DrawsPlannedAheadLeaveTheSameScreenMapAndGenerator) {
    const Case cases[] = {
        // Fewer draws in the whole step than are planned ahead.
        {24, 20, 16, 12, 16, 12, {5, 3, 8, 5, 5, 3}},
        {24, 20, 16, 12, 16, 12, {5, 3, 6, 4, 5, 3}},
        // Long rows in a wider map and picture, at an origin inside the screen.
        {340, 30, 320, 24, 330, 26, {7, 2, 307, 22, 7, 2}},
        // Rows wider than the positions worked out four at a time can scale exactly.
        {50011, 3, 50001, 2, 50001, 2, {0, 0, 50001, 2, 0, 0}},
    };
    for (std::uint32_t bitCount : depths) {
        for (const Case& c : cases) {
            for (bool cut : {false, true}) {
                std::string what = std::to_string(bitCount) + " bits, target " +
                                   std::to_string(c.target.right - c.target.left) + "x" +
                                   std::to_string(c.target.bottom - c.target.top) +
                                   (cut ? ", cut" : "");
                expectSameAsReference(bitCount, c, optionsWith(0, cut, 3), 13, what.c_str());
            }
        }
    }
}

TEST(Reveal, StopRequestWithoutScatterKeepsTheGeneratorAtTheLastDrawMade) {
    const Case c = {340, 30, 320, 24, 330, 26, {7, 2, 307, 22, 7, 2}};
    for (int rows : {0, 1, 7, 19}) {
        Buffer screen(c.screenWidth, c.screenHeight, 3);
        Buffer picture(c.pictureWidth, c.pictureHeight, 3);
        fillPattern(picture, 8);
        Buffer expected = screen;
        std::vector<std::uint8_t> cells(c.mapWidth * c.mapHeight, 0), expectedCells = cells;
        RevealOptions options = optionsWith(0, false, 0);

        seedRandom(91);
        referenceStep(expected, picture, c, expectedCells, options, rows);
        const std::uint32_t expectedState = loadRandom().state;

        seedRandom(91);
        rowsAllowed = rows;
        options.stopRequested = &stopAfterAllowedRows;
        EXPECT_FALSE(revealStep(screen.view(), 24, picture.view(), c.target,
                                {cells.data(), c.mapWidth, c.mapHeight}, options));
        EXPECT_TRUE(screen.storage == expected.storage) << "after " << rows << " rows";
        EXPECT_EQ(cells, expectedCells) << "after " << rows << " rows";
        EXPECT_EQ(loadRandom().state, expectedState)
            << "after " << rows << " rows: the draws planned but not made are given back";
    }
}

// A hold ends a step between rows; the step must then go on where it stopped, so that the
// picture shows exactly as if the hold had never come. Stops at several rows of one step,
// with and without scatter, and a target that does not fit the buffers.
TEST(Reveal, StepsStoppedAndResumedLeaveWhatWholeStepsLeave) {
    const Case fitting = {340, 30, 320, 24, 330, 26, {7, 2, 307, 22, 7, 2}};
    const Case overhanging = {24, 20, 16, 12, 16, 12, {5, 3, 30, 25, 5, 3}};
    for (const Case* c : {&fitting, &overhanging}) {
        for (std::uint8_t scatter : {0, 2}) {
            const std::string what = std::string(c == &fitting ? "fitting" : "overhanging") +
                                     ", scatter " + std::to_string(scatter);
            Buffer whole(c->screenWidth, c->screenHeight, 4);
            Buffer picture(c->pictureWidth, c->pictureHeight, 4);
            fillPattern(picture, 17);
            Buffer resumed = whole;
            std::vector<std::uint8_t> wholeCells(c->mapWidth * c->mapHeight, 0);
            std::vector<std::uint8_t> resumedCells = wholeCells;
            const RevealMapView wholeMap{wholeCells.data(), c->mapWidth, c->mapHeight};
            const RevealMapView resumedMap{resumedCells.data(), c->mapWidth, c->mapHeight};
            RevealOptions options = optionsWith(scatter, false, 2);

            seedRandom(63);
            for (int step = 0; step < 3; ++step)
                revealStep(whole.view(), 32, picture.view(), c->target, wholeMap, options);
            const std::uint32_t expectedState = loadRandom().state;

            seedRandom(63);
            RevealProgress progress;
            int calls = 0, stops = 0;
            for (int step = 0; step < 3; ++calls) {
                const int allowed = calls % 3; // stops after 0, 1 and 2 rows in turn
                rowsAllowed = allowed;
                options.stopRequested = calls < 12 ? &stopAfterAllowedRows : nullptr;
                const std::uint32_t before = progress.nextRow;
                if (revealStep(resumed.view(), 32, picture.view(), c->target, resumedMap, options,
                               progress)) {
                    EXPECT_EQ(progress.nextRow, 0u) << what << ": a finished step starts anew";
                    ++step;
                } else {
                    ++stops;
                    EXPECT_EQ(progress.nextRow, before + static_cast<std::uint32_t>(allowed))
                        << what << ": the step stopped after the rows it was allowed";
                }
            }
            EXPECT_GT(stops, 3) << what;
            EXPECT_EQ(loadRandom().state, expectedState) << what << ": same draws in all";
            EXPECT_TRUE(resumed.storage == whole.storage) << what << ": screens differ";
            EXPECT_EQ(resumedCells, wholeCells) << what << ": reveal maps differ";
        }
    }
}

// With scatter the writes of a step are noted first and made in batches; the screen, map and
// generator must still be exactly the plain reveal's when a batch fills in the middle of a
// row (large scatter, long rows), when background pixels are skipped, when the map already
// holds marks (any non-zero byte) and its size is no multiple of 32, and when a stop request
// ends the step with writes still noted.
TEST(Reveal, BatchedScatterWritesLeaveWhatThePlainRevealLeaves) {
    const Case c = {340, 30, 320, 24, 330, 26, {7, 2, 307, 22, 7, 2}};
    for (std::uint32_t bitCount : depths) {
        for (std::uint8_t scatter : {1, 10, 255}) {
            for (int rows : {0, 3, 1 << 20}) {
                const int bytes = bytesFor(bitCount);
                const std::string what = std::to_string(bitCount) + " bits, scatter " +
                                         std::to_string(scatter) + ", rows " + std::to_string(rows);
                Buffer screen(c.screenWidth, c.screenHeight, bytes, 4);
                Buffer picture(c.pictureWidth, c.pictureHeight, bytes);
                fillPattern(screen, 5);
                fillPattern(picture, 23, 4);
                Buffer expected = screen;
                std::vector<std::uint8_t> cells(c.mapWidth * c.mapHeight, 0);
                for (std::size_t i = 0; i < cells.size(); i += 7)
                    cells[i] = static_cast<std::uint8_t>(1 + i % 3);
                std::vector<std::uint8_t> expectedCells = cells;
                RevealOptions options = optionsWith(scatter, true, 1);

                seedRandom(321);
                referenceStep(expected, picture, c, expectedCells, options, rows);
                const std::uint32_t expectedState = loadRandom().state;

                seedRandom(321);
                rowsAllowed = rows;
                options.stopRequested = &stopAfterAllowedRows;
                revealStep(screen.view(), bitCount, picture.view(), c.target,
                           {cells.data(), c.mapWidth, c.mapHeight}, options);
                EXPECT_EQ(loadRandom().state, expectedState) << what << ": same draws";
                EXPECT_TRUE(screen.storage == expected.storage) << what << ": screens differ";
                EXPECT_EQ(cells, expectedCells) << what << ": reveal maps differ";
                EXPECT_TRUE(screen.guardsIntact()) << what << ": wrote outside the screen";
            }
        }
    }
}
