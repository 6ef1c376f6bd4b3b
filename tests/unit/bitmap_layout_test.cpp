#include "pictures/bitmap_layout.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

BitmapLayout layoutOf(std::int32_t width, std::int32_t height, std::uint32_t bitCount) {
    BitmapLayout layout;
    EXPECT_TRUE(computeBitmapLayout(width, height, bitCount, layout))
        << width << " x " << height << " at " << bitCount << " bits";
    return layout;
}

} // namespace

TEST(BitmapLayout, FullScreenFrameAt24BitsHasTheSaverFileSizes) {
    BitmapLayout layout = layoutOf(640, 480, 24);
    EXPECT_EQ(layout.rowBytes, 1920u);
    EXPECT_EQ(layout.imageSize, 921600u);
    EXPECT_EQ(layout.headerSize, 40u);
    EXPECT_EQ(layout.pixelOffset, 54u);
    EXPECT_EQ(layout.fileSize, 921654u);
    EXPECT_EQ(layout.packedSize(), 40u + 921600u);
}

TEST(BitmapLayout, RowsArePaddedToWholeDoubleWords) {
    struct Case {
        std::int32_t width;
        std::uint32_t bitCount;
        std::uint32_t expected;
    };
    const std::vector<Case> cases = {
        {1, 24, 4},  // 3 bytes of pixel and 1 filler
        {2, 24, 8},  // 6 bytes and 2 fillers
        {4, 24, 12}, // exactly 12, no filler
        {1, 1, 4},   {32, 1, 4}, {33, 1, 8}, {7, 4, 4},  {9, 4, 8},   {3, 8, 4},
        {5, 8, 8},   {1, 16, 4}, {3, 16, 8}, {1, 32, 4}, {3, 32, 12},
    };
    for (const Case& c : cases)
        EXPECT_EQ(layoutOf(c.width, 1, c.bitCount).rowBytes, c.expected)
            << c.width << " pixels at " << c.bitCount << " bits";
    // Planes multiply the bits of a row.
    EXPECT_EQ(rowBytes(8, 3, 1), 4u);
    EXPECT_EQ(rowBytes(8, 3, 2), 8u);
}

TEST(BitmapLayout, PalettedBitCountsCarryAFullColourTable) {
    struct Case {
        std::uint32_t bitCount;
        std::uint32_t colours;
    };
    for (Case c : {Case{1, 2}, Case{4, 16}, Case{8, 256}, Case{16, 0}, Case{24, 0}, Case{32, 0}}) {
        BitmapLayout layout = layoutOf(10, 10, c.bitCount);
        EXPECT_EQ(layout.colours, c.colours) << c.bitCount << " bits";
        EXPECT_EQ(layout.headerSize, 40 + 4 * c.colours) << c.bitCount << " bits";
        EXPECT_EQ(layout.pixelOffset, 14 + 40 + 4 * c.colours) << c.bitCount << " bits";
        EXPECT_EQ(layout.fileSize, layout.pixelOffset + layout.imageSize) << c.bitCount << " bits";
    }
}

TEST(BitmapLayout, RefusesWhatNoBitmapFileCanHold) {
    BitmapLayout layout = layoutOf(3, 3, 24);
    const BitmapLayout before = layout;
    EXPECT_FALSE(computeBitmapLayout(0, 480, 24, layout));
    EXPECT_FALSE(computeBitmapLayout(640, 0, 24, layout));
    EXPECT_FALSE(computeBitmapLayout(-640, 480, 24, layout));
    EXPECT_FALSE(computeBitmapLayout(640, -480, 24, layout));
    for (std::uint32_t bitCount : {0u, 2u, 7u, 12u, 48u})
        EXPECT_FALSE(computeBitmapLayout(640, 480, bitCount, layout)) << bitCount << " bits";
    EXPECT_EQ(layout.fileSize, before.fileSize) << "a refused layout must leave the old one";
}

TEST(BitmapLayout, FramesWhoseSizeWouldWrapThirtyTwoBitsAreRefused) {
    BitmapLayout layout;
    // 40000 x 40000 at 32 bits is 6.4 GB: a 32-bit product would wrap to a small block.
    EXPECT_FALSE(computeBitmapLayout(40000, 40000, 32, layout));
    // So is a row alone that no longer fits.
    EXPECT_FALSE(computeBitmapLayout(0x7FFFFFFF, 1, 32, layout));
    EXPECT_EQ(rowBytes(32, 1, 0x7FFFFFFF), 0x1FFFFFFFCull);
    // The largest file that still fits is accepted: 30000 x 30000 at 32 bits is 3.6 GB.
    ASSERT_TRUE(computeBitmapLayout(30000, 30000, 32, layout));
    EXPECT_EQ(layout.imageSize, 3600000000u);
    EXPECT_EQ(layout.fileSize, 3600000054u);
}

TEST(BitmapLayout, HeadersAreLittleEndianBytes) {
    BitmapLayout layout = layoutOf(640, 480, 24);
    const BitmapFileHeaderBytes file = bitmapFileHeader(layout);
    const BitmapFileHeaderBytes expectedFile = {'B', 'M', 0x36, 0x10, 0x0E, 0x00, 0,
                                                0,   0,   0,    0x36, 0x00, 0x00, 0x00};
    EXPECT_EQ(file, expectedFile);

    const BitmapInfoHeaderBytes info = bitmapInfoHeader(layout);
    const BitmapInfoHeaderBytes expectedInfo = {
        40,   0,    0,    0,                // size
        0x80, 0x02, 0,    0,                // width 640
        0xE0, 0x01, 0,    0,                // height 480, bottom-up
        1,    0,    24,   0,                // planes, bit count
        0,    0,    0,    0,                // uncompressed
        0x00, 0x10, 0x0E, 0x00,             // image size 921600
        0,    0,    0,    0,    0, 0, 0, 0, // resolutions
        0,    0,    0,    0,                // colours used
        0,    0,    0,    0,                // important colours
    };
    EXPECT_EQ(info, expectedInfo);
}

TEST(BitmapLayout, PalettedHeaderCountsItsColoursAndPointsPastTheTable) {
    BitmapLayout layout = layoutOf(3, 2, 8);
    const BitmapFileHeaderBytes file = bitmapFileHeader(layout);
    // Pixel offset 14 + 40 + 1024 = 1078 = 0x436; file size 1078 + 2 rows of 4 bytes.
    EXPECT_EQ(file[10], 0x36);
    EXPECT_EQ(file[11], 0x04);
    EXPECT_EQ(file[2], 0x3E);
    EXPECT_EQ(file[3], 0x04);
    const BitmapInfoHeaderBytes info = bitmapInfoHeader(layout);
    EXPECT_EQ(info[32], 0x00); // 256 colours used
    EXPECT_EQ(info[33], 0x01);
    EXPECT_EQ(info[20], 8); // image size
}
