#include "pictures/step3_decode_bitmap.h"
#include "pictures/step2_check_picture.h"
#include "pictures/step4_orient.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

void put16(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<unsigned char>(v);
    b[at + 1] = static_cast<unsigned char>(v >> 8);
}

void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    put16(b, at, v & 0xFFFF);
    put16(b, at + 2, v >> 16);
}

void putBig16(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<unsigned char>(v >> 8);
    b[at + 1] = static_cast<unsigned char>(v);
}

struct BmpShape {
    std::int32_t width = 10;
    std::int32_t height = 6;
    std::uint32_t bitCount = 24;
    std::uint32_t compression = 0;
    std::uint32_t imageSize = 0;
    std::uint32_t coloursUsed = 0;
    std::uint32_t headerSize = 40;
};

const std::uint32_t defaultMasks16[3] = {0x7C00, 0x03E0, 0x001F};
const std::uint32_t defaultMasks32[3] = {0xFF0000, 0x00FF00, 0x0000FF};

// A whole BMP file of the shape: headers, masks, colour table and zeroed pixel rows; an
// encoded file's stream is all end-of-row marks closed by the end-of-bitmap mark.
Bytes bmpFile(const BmpShape& s) {
    const std::uint32_t colours =
        s.bitCount <= 8 ? (s.coloursUsed ? s.coloursUsed : 1u << s.bitCount) : 0;
    const std::uint32_t masks = s.compression == 3 && s.headerSize == 40 ? 12 : 0;
    const std::uint32_t offset = 14 + s.headerSize + masks + colours * 4;
    const std::uint32_t rows = static_cast<std::uint32_t>(s.height < 0 ? -s.height : s.height);
    const std::uint32_t stride = (static_cast<std::uint32_t>(s.width) * s.bitCount + 31) / 32 * 4;
    const std::uint32_t pixels = s.imageSize ? s.imageSize : stride * rows;
    Bytes b(offset + pixels, 0);
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 2, static_cast<std::uint32_t>(b.size()));
    put32(b, 10, offset);
    put32(b, 14, s.headerSize);
    put32(b, 18, static_cast<std::uint32_t>(s.width));
    put32(b, 22, static_cast<std::uint32_t>(s.height));
    put16(b, 26, 1);
    put16(b, 28, s.bitCount);
    put32(b, 30, s.compression);
    put32(b, 34, s.imageSize);
    put32(b, 46, s.coloursUsed);
    if (s.compression == 3) {
        const std::uint32_t* m = s.bitCount == 16 ? defaultMasks16 : defaultMasks32;
        for (int i = 0; i < 3; ++i)
            put32(b, 54 + 4 * i, m[i]);
    }
    if ((s.compression == 1 || s.compression == 2) && pixels >= 2)
        put16(b, b.size() - 2, 0x0100); // 00 01: end of bitmap
    return b;
}

bool bmpValid(const Bytes& b) {
    return checkPicture(FormatBmp, b.data(), b.size()).valid;
}

Bytes cut(const Bytes& b, std::size_t size) {
    return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(size));
}

} // namespace

TEST(BitmapCheck, AcceptsWholeFilesOfEveryDrawableKind) {
    const BmpShape shapes[] = {
        {10, 6, 24, 0, 0, 0, 40},  {7, 3, 1, 0, 0, 0, 40},    {9, 4, 4, 0, 0, 0, 40},
        {5, 5, 8, 0, 0, 16, 40},   {3, 2, 16, 0, 0, 0, 40},   {3, 2, 16, 3, 0, 0, 40},
        {4, 4, 32, 3, 0, 0, 40},   {12, -8, 32, 0, 0, 0, 40}, {16, 16, 8, 1, 40, 0, 40},
        {16, 16, 4, 2, 40, 0, 40}, {6, 5, 24, 0, 0, 0, 52},   {6, 5, 32, 3, 0, 0, 56},
        {6, 5, 16, 3, 0, 0, 108},  {6, 5, 8, 0, 0, 0, 124},   {6, 5, 32, 3, 0, 0, 124}};
    for (const BmpShape& s : shapes) {
        const Bytes b = bmpFile(s);
        const PictureCheck check = checkPicture(FormatBmp, b.data(), b.size());
        EXPECT_TRUE(check.valid) << s.width << "x" << s.height << "x" << s.bitCount
                                 << " compression " << s.compression << " header " << s.headerSize;
        EXPECT_EQ(check.width, static_cast<std::uint32_t>(s.width));
        EXPECT_EQ(check.height, static_cast<std::uint32_t>(s.height < 0 ? -s.height : s.height));
    }
}

TEST(BitmapCheck, AcceptsTheOldCoreHeaderWithThreeByteColours) {
    Bytes b(14 + 12 + 256 * 3 + 4 * 2, 0);
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 10, 14 + 12 + 256 * 3);
    put32(b, 14, 12);
    put16(b, 18, 3);
    put16(b, 20, 2);
    put16(b, 22, 1);
    put16(b, 24, 8);
    EXPECT_TRUE(bmpValid(b));
    EXPECT_FALSE(bmpValid(cut(b, b.size() - 1))) << "one pixel byte short";
}

TEST(BitmapCheck, RefusesFilesShorterThanTheirHeadersSay) {
    const Bytes b = bmpFile({120, 90, 24, 0, 0, 0, 40});
    EXPECT_FALSE(bmpValid(cut(b, b.size() - 1))) << "last byte missing";
    EXPECT_FALSE(bmpValid(cut(b, b.size() / 2))) << "half the rows missing";
    EXPECT_FALSE(bmpValid(cut(b, 54 + 4096))) << "header intact, most rows missing";
    const Bytes palette = bmpFile({4, 4, 8, 0, 0, 0, 40});
    EXPECT_FALSE(bmpValid(cut(palette, 14 + 40 + 100))) << "colour table cut off";
    const Bytes encoded = bmpFile({16, 16, 8, 1, 400, 0, 40});
    EXPECT_FALSE(bmpValid(cut(encoded, encoded.size() - 10))) << "stream cut off";
    for (std::size_t size = 0; size < 60; ++size)
        EXPECT_FALSE(bmpValid(cut(b, size))) << "head of " << size << " bytes";
}

TEST(BitmapCheck, RefusesHeadersThatDescribeNoDrawableBitmap) {
    auto refused = [](const Bytes& b, const char* what) { EXPECT_FALSE(bmpValid(b)) << what; };
    Bytes b = bmpFile({});
    b[0] = 'X';
    refused(b, "wrong signature");
    refused(bmpFile({0, 6, 24, 0, 0, 0, 40}), "zero width");
    b = bmpFile({});
    put32(b, 18, static_cast<std::uint32_t>(-4));
    refused(b, "negative width");
    refused(bmpFile({10, 0, 24, 0, 0, 0, 40}), "zero height");
    refused(bmpFile({10, 6, 7, 0, 0, 0, 40}), "bit count 7");
    refused(bmpFile({10, 6, 24, 3, 0, 0, 40}), "bit fields at 24 bits");
    refused(bmpFile({10, 6, 24, 4, 0, 0, 40}), "embedded JPEG");
    refused(bmpFile({10, 6, 8, 0, 0, 300, 40}), "more colours than 8 bits index");
    refused(bmpFile({16, -16, 8, 1, 40, 0, 40}), "encoded rows top-down");
    b = bmpFile({});
    put16(b, 26, 2);
    refused(b, "two planes");
    b = bmpFile({});
    put32(b, 14, 20);
    refused(b, "unknown header size");
    b = bmpFile({});
    put32(b, 10, 20);
    refused(b, "pixels inside the headers");
}

TEST(BitmapCheck, ColourTableBeforePixelsAtEveryBitCount) {
    // The saver's first fault: 24 and 32 bits, 256 colours named, pixel offset 0, in 4 KB.
    for (std::uint32_t bits : {16u, 24u, 32u}) {
        Bytes b = bmpFile({30, 30, bits, 0, 0, 0, 40});
        b.resize(4096, 0);
        put32(b, 10, 0);
        put32(b, 46, 256);
        const std::uint32_t stride = (30 * bits + 31) / 32 * 4;
        EXPECT_EQ(bmpValid(b), 54 + 1024 + stride * 30 <= 4096) << bits << " bits";
        b.resize(54 + 1024 + stride * 30, 0);
        EXPECT_TRUE(bmpValid(b)) << bits << " bits, table and rows all in the file";
        const PictureCheck check = checkBitmapFile(b.data(), b.size());
        EXPECT_EQ(check.dib.pixelOffset, 54u + 1024u) << "pixels come after the table";
    }
}

TEST(BitmapCheck, BitFieldMasksMustBeSeparateRunsInsideThePixel) {
    auto withMasks = [](std::uint32_t bits, std::uint32_t r, std::uint32_t g, std::uint32_t bl) {
        Bytes b = bmpFile({4, 4, bits, 3, 0, 0, 40});
        put32(b, 54, r);
        put32(b, 58, g);
        put32(b, 62, bl);
        return bmpValid(b);
    };
    EXPECT_TRUE(withMasks(16, 0xF800, 0x07E0, 0x001F)) << "565";
    EXPECT_TRUE(withMasks(32, 0xFF, 0xFF00, 0xFF0000)) << "blue-green-red order";
    EXPECT_FALSE(withMasks(16, 0, 0x07E0, 0x001F)) << "empty red";
    EXPECT_FALSE(withMasks(16, 0xF800, 0x0FE0, 0x001F)) << "overlap";
    EXPECT_FALSE(withMasks(16, 0xF0000, 0x07E0, 0x001F)) << "above 16 bits";
    EXPECT_FALSE(withMasks(32, 0xFF00FF, 0x00FF00, 0x0)) << "split run";
}

TEST(BitmapCheck, DeclaredSizeAboveTheBudgetIsSkipped) {
    // 65535 x 65535 declared by a small run-length file.
    Bytes b = bmpFile({16, 16, 8, 1, 40, 0, 40});
    put32(b, 18, 65535);
    put32(b, 22, 65535);
    EXPECT_FALSE(bmpValid(b));
    EXPECT_TRUE(withinDecodeBudget(8192, 8192)) << "64 megapixels";
    EXPECT_FALSE(withinDecodeBudget(8192, 8193));
    EXPECT_TRUE(withinDecodeBudget(8064, 6048)) << "48 MP camera";
    EXPECT_FALSE(withinDecodeBudget(11648, 8736)) << "100 MP camera";
    EXPECT_FALSE(withinDecodeBudget(0, 10));
    EXPECT_FALSE(withinDecodeBudget(65535, 65535));
}

TEST(RunLength, DecodesRunsAbsoluteRunsDeltasAndRowEnds) {
    // 8 bits, 6 x 3: run of 3 x 7, absolute 1 2 3, end of row; delta (2,1), run 2 x 9.
    const unsigned char stream[] = {3, 7, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 2, 1, 2, 9, 0, 1};
    unsigned char out[8 * 3];
    std::memset(out, 0xEE, sizeof(out));
    ASSERT_TRUE(decodeRunLength(stream, sizeof(stream), false, 6, 3, 8, out));
    const unsigned char row0[6] = {7, 7, 7, 1, 2, 3};
    EXPECT_EQ(0, std::memcmp(out, row0, 6));
    EXPECT_EQ(out[2 * 8 + 2], 9);
    EXPECT_EQ(out[2 * 8 + 3], 9);
    EXPECT_EQ(out[2 * 8 + 4], 0xEE) << "pixels the stream skips stay as they were";

    // 4 bits: run of 3 alternating nibbles, absolute 3 nibbles.
    const unsigned char four[] = {3, 0x12, 0, 3, 0x45, 0x60, 0, 1};
    unsigned char small[8] = {};
    ASSERT_TRUE(decodeRunLength(four, sizeof(four), true, 8, 1, 8, small));
    const unsigned char expect[6] = {1, 2, 1, 4, 5, 6};
    EXPECT_EQ(0, std::memcmp(small, expect, 6));
}

TEST(RunLength, OverrunsStayInsideThePictureAndTruncationsFail) {
    unsigned char out[4 * 2];
    std::memset(out, 0, sizeof(out));
    const unsigned char longRun[] = {255, 5, 0, 0, 255, 6, 0, 2, 200, 200, 9, 9, 0, 1};
    ASSERT_TRUE(decodeRunLength(longRun, sizeof(longRun), false, 3, 2, 4, out));
    const unsigned char expect[8] = {5, 5, 5, 0, 6, 6, 6, 0};
    EXPECT_EQ(0, std::memcmp(out, expect, 8)) << "runs cut at the row's end, padding untouched";

    const unsigned char noEnd[] = {2, 1, 0, 0};
    EXPECT_FALSE(decodeRunLength(noEnd, sizeof(noEnd), false, 3, 2, 4, out)) << "no end mark";
    const unsigned char absolutePast[] = {0, 10, 1, 2};
    EXPECT_FALSE(decodeRunLength(absolutePast, sizeof(absolutePast), false, 3, 2, 4, out));
    const unsigned char deltaPast[] = {0, 2, 1};
    EXPECT_FALSE(decodeRunLength(deltaPast, sizeof(deltaPast), false, 3, 2, 4, out));
}

TEST(PlainDib, GivesTheSystemAFullColourTableAndDecodedPixels) {
    Bytes b = bmpFile({4, 2, 8, 0, 0, 2, 40});
    put32(b, 54, 0x00112233);
    put32(b, 58, 0x00445566);
    const PictureCheck check = checkBitmapFile(b.data(), b.size());
    ASSERT_TRUE(check.valid);
    PlainDib dib;
    ASSERT_TRUE(makePlainDib(b.data(), b.size(), check.dib, dib));
    ASSERT_EQ(dib.info.size(), 40u + 256 * 4) << "every index has an entry";
    EXPECT_EQ(dib.info[40], 0x33);
    EXPECT_EQ(dib.info[44 + 2], 0x44);
    EXPECT_EQ(dib.info[48], 0) << "entries past the file's table are black";
    EXPECT_EQ(dib.pixels, b.data() + check.dib.pixelOffset);

    // Run-length 4 bits becomes 8-bit indices, bottom-up, with a positive height.
    Bytes rle = bmpFile({5, 2, 4, 2, 8, 0, 40});
    const std::size_t at = rle.size() - 8;
    const unsigned char stream[] = {5, 0x9A, 0, 0, 2, 0x33, 0, 1};
    std::memcpy(&rle[at], stream, sizeof(stream));
    const PictureCheck encoded = checkBitmapFile(rle.data(), rle.size());
    ASSERT_TRUE(encoded.valid);
    ASSERT_TRUE(makePlainDib(rle.data(), rle.size(), encoded.dib, dib));
    EXPECT_EQ(dib.info[14], 8);
    EXPECT_EQ(dib.info[16], 0) << "no compression left";
    const unsigned char row0[5] = {9, 10, 9, 10, 9};
    EXPECT_EQ(0, std::memcmp(dib.pixels, row0, 5));
    EXPECT_EQ(dib.pixels[8], 3);
    EXPECT_EQ(dib.pixels[9], 3);
    EXPECT_EQ(dib.pixels[10], 0);
}

// --- Content must match the name's format ---

namespace {

Bytes gifFile(std::uint32_t width, std::uint32_t height, bool trailer = true) {
    Bytes b = {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0x80, 0, 0};
    put16(b, 6, width);
    put16(b, 8, height);
    for (int i = 0; i < 6; ++i)
        b.push_back(static_cast<unsigned char>(i * 40)); // two colours
    const unsigned char control[] = {0x21, 0xF9, 4, 0, 0, 0, 0, 0};
    b.insert(b.end(), control, control + sizeof(control));
    Bytes image = {0x2C, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 2, 0x4C, 0x01, 0};
    put16(image, 5, width);
    put16(image, 7, height);
    b.insert(b.end(), image.begin(), image.end());
    if (trailer)
        b.push_back(0x3B);
    return b;
}

struct JpegParts {
    std::uint32_t width = 32;
    std::uint32_t height = 16;
    Bytes app1;
};

Bytes segment(unsigned char marker, const Bytes& body) {
    Bytes s = {0xFF, marker, 0, 0};
    putBig16(s, 2, static_cast<std::uint32_t>(body.size() + 2));
    s.insert(s.end(), body.begin(), body.end());
    return s;
}

Bytes jpegFile(const JpegParts& p) {
    Bytes b = {0xFF, 0xD8};
    if (!p.app1.empty()) {
        const Bytes s = segment(0xE1, p.app1);
        b.insert(b.end(), s.begin(), s.end());
    }
    Bytes quant(65, 1);
    quant[0] = 0;
    Bytes frame = {8, 0, 0, 0, 0, 1, 1, 0x11, 0};
    putBig16(frame, 1, p.height);
    putBig16(frame, 3, p.width);
    Bytes huffman(17, 0);
    huffman[1] = 1;
    huffman.push_back(0);
    const Bytes scan = {1, 1, 0, 0, 63, 0};
    for (const Bytes& s :
         {segment(0xDB, quant), segment(0xC0, frame), segment(0xC4, huffman), segment(0xDA, scan)})
        b.insert(b.end(), s.begin(), s.end());
    const unsigned char tail[] = {0x12, 0x34, 0xFF, 0xD9};
    b.insert(b.end(), tail, tail + sizeof(tail));
    return b;
}

Bytes exif(bool little, std::uint32_t type, std::uint32_t value) {
    Bytes e = {'E', 'x', 'i', 'f', 0, 0};
    Bytes t(8 + 2 + 12 + 4, 0);
    auto w16 = [&](std::size_t at, std::uint32_t v) {
        little ? put16(t, at, v) : putBig16(t, at, v);
    };
    t[0] = t[1] = little ? 'I' : 'M';
    w16(2, 42);
    w16(4, little ? 8 : 0);
    w16(6, little ? 0 : 8);
    w16(8, 1);
    w16(10, 0x0112);
    w16(12, type);
    w16(little ? 14 : 16, 1);
    w16(18, value);
    e.insert(e.end(), t.begin(), t.end());
    return e;
}

Bytes metafile(std::uint32_t handles = 1) {
    Bytes b(88, 0);
    put32(b, 0, 1);
    put32(b, 4, 88);
    put32(b, 40, 0x464D4520);
    put16(b, 56, handles);
    return b;
}

void addRecord(Bytes& b, std::uint32_t type, const Bytes& body) {
    const std::size_t at = b.size();
    b.resize(at + 8, 0);
    put32(b, at, type);
    put32(b, at + 4, static_cast<std::uint32_t>(8 + body.size()));
    b.insert(b.end(), body.begin(), body.end());
}

void finish(Bytes& b) {
    addRecord(b, 14, Bytes(12, 0));
    put32(b, 48, static_cast<std::uint32_t>(b.size()));
}

bool emfValid(const Bytes& b) {
    return checkPicture(FormatEmf, b.data(), b.size()).valid;
}

Bytes words(std::initializer_list<std::uint32_t> values) {
    Bytes b(values.size() * 4, 0);
    std::size_t at = 0;
    for (std::uint32_t v : values) {
        put32(b, at, v);
        at += 4;
    }
    return b;
}

} // namespace

TEST(PictureContent, EachNameFormatAcceptsOnlyItsOwnContent) {
    Bytes emf = metafile();
    finish(emf);
    const Bytes files[] = {bmpFile({}), gifFile(4, 4), jpegFile({}), emf};
    const PictureFormat formats[] = {FormatBmp, FormatGif, FormatJpeg, FormatEmf};
    for (int name = 0; name < 4; ++name)
        for (int content = 0; content < 4; ++content)
            EXPECT_EQ(
                checkPicture(formats[name], files[content].data(), files[content].size()).valid,
                name == content)
                << "name format " << name << ", content format " << content;

    // The saver's second fault: a BMP claiming 512 x 512 x 32 in 4 KB under a .gif name.
    Bytes lying = bmpFile({512, 512, 32, 0, 0, 0, 40});
    lying.resize(4096);
    EXPECT_FALSE(checkPicture(FormatGif, lying.data(), lying.size()).valid);
    EXPECT_FALSE(checkPicture(FormatJpeg, lying.data(), lying.size()).valid);
    EXPECT_FALSE(checkPicture(FormatBmp, lying.data(), lying.size()).valid);
}

TEST(GifCheck, BlocksMustLieInsideTheFile) {
    const Bytes good = gifFile(20, 10);
    const PictureCheck check = checkGif(good.data(), good.size());
    ASSERT_TRUE(check.valid);
    EXPECT_EQ(check.width, 20u);
    EXPECT_EQ(check.height, 10u);
    EXPECT_TRUE(checkGif(good.data(), good.size() - 1).valid) << "trailer left out";
    for (std::size_t size = 0; size + 1 < good.size(); ++size)
        EXPECT_FALSE(checkGif(good.data(), size).valid) << "cut to " << size;

    Bytes b = good;
    b[10] = 0x87; // a global table of 256 colours that the file does not hold
    EXPECT_FALSE(checkGif(b.data(), b.size()).valid);
    b = good;
    b[19 + 8] = 0x55; // an unknown block
    EXPECT_FALSE(checkGif(b.data(), b.size()).valid);
    b = good;
    b[19 + 8 + 10] = 12; // a code size no decoder knows
    EXPECT_FALSE(checkGif(b.data(), b.size()).valid);
    const Bytes noImage = {'G', 'I', 'F', '8', '7', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B};
    EXPECT_FALSE(checkGif(noImage.data(), noImage.size()).valid);
}

TEST(GifCheck, ImagesPlacedOutsideTheScreenCountTowardsTheBudget) {
    Bytes b = gifFile(10, 10);
    put16(b, 19 + 8 + 1, 65000); // left
    put16(b, 19 + 8 + 5, 60000); // width
    b[19 + 8 + 7] = 0xFF;
    b[19 + 8 + 8] = 0xFF; // height 65535
    EXPECT_TRUE(checkGif(b.data(), b.size()).valid);
    EXPECT_FALSE(checkPicture(FormatGif, b.data(), b.size()).valid);
}

TEST(JpegCheck, MarkersUpToTheScanMustLieInsideTheFile) {
    const Bytes good = jpegFile({});
    const PictureCheck check = checkJpeg(good.data(), good.size());
    ASSERT_TRUE(check.valid);
    EXPECT_EQ(check.width, 32u);
    EXPECT_EQ(check.height, 16u);
    for (std::size_t size = 0; size < good.size() - 4; ++size)
        EXPECT_FALSE(checkJpeg(good.data(), size).valid) << "cut to " << size;

    Bytes b = good;
    b[2 + 3] = 0xFF; // the quantisation segment runs past the file
    EXPECT_FALSE(checkJpeg(b.data(), b.size()).valid);
    const Bytes noHeight = jpegFile({32, 0, {}});
    EXPECT_FALSE(checkJpeg(noHeight.data(), noHeight.size()).valid) << "height from a later mark";
    const Bytes huge = jpegFile({65535, 65535, {}});
    EXPECT_TRUE(checkJpeg(huge.data(), huge.size()).valid);
    // Decoded at a reduced scale: the decoding step holds it against the budget.
    EXPECT_TRUE(checkPicture(FormatJpeg, huge.data(), huge.size()).valid);
    // Arithmetic-coded, the same huge frame would be decoded from zeros for seconds: a frame
    // must bring a byte per 16384 pixels once it is over 16 M pixels.
    auto arithmetic = [](Bytes file) {
        for (std::size_t at = 0; at + 1 < file.size(); ++at)
            if (file[at] == 0xFF && file[at + 1] == 0xC0) {
                file[at + 1] = 0xC9;
                break;
            }
        return file;
    };
    EXPECT_FALSE(checkJpeg(arithmetic(huge).data(), huge.size()).valid);
    const Bytes sixteenMillion = arithmetic(jpegFile({4096, 4096, {}}));
    EXPECT_TRUE(checkJpeg(sixteenMillion.data(), sixteenMillion.size()).valid);
    Bytes padded = arithmetic(jpegFile({4096, 4097, {}}));
    EXPECT_FALSE(checkJpeg(padded.data(), padded.size()).valid);
    padded.insert(padded.end() - 2, 1023 - padded.size(), 0); // more data in the scan
    EXPECT_FALSE(checkJpeg(padded.data(), padded.size()).valid) << padded.size() << " bytes";
    padded.insert(padded.end() - 2, 0); // 4096 * 4097 / 16384 = 1024 bytes
    EXPECT_TRUE(checkJpeg(padded.data(), padded.size()).valid) << padded.size() << " bytes";
    // A Huffman table that counts more symbols than it holds.
    b = good;
    const std::size_t huffmanAt = 2 + 69 + 13 + 4;
    b[huffmanAt + 2] = 9;
    EXPECT_FALSE(checkJpeg(b.data(), b.size()).valid);
}

TEST(JpegOrientation, ReadsTheExifTagInEitherByteOrder) {
    for (bool little : {true, false})
        for (std::uint32_t value = 1; value <= 8; ++value) {
            const Bytes b = jpegFile({32, 16, exif(little, 3, value)});
            EXPECT_EQ(jpegOrientation(b.data(), b.size()), value) << (little ? "II" : "MM");
        }
    const Bytes none = jpegFile({});
    EXPECT_EQ(jpegOrientation(none.data(), none.size()), 1u);
    const Bytes wrongType = jpegFile({32, 16, exif(true, 4, 6)});
    EXPECT_EQ(jpegOrientation(wrongType.data(), wrongType.size()), 1u);
    const Bytes outOfRange = jpegFile({32, 16, exif(true, 3, 9)});
    EXPECT_EQ(jpegOrientation(outOfRange.data(), outOfRange.size()), 1u);
    Bytes farDirectory = exif(true, 3, 6);
    put32(farDirectory, 6 + 4, 0x7FFFFFF0);
    const Bytes lost = jpegFile({32, 16, farDirectory});
    EXPECT_TRUE(checkJpeg(lost.data(), lost.size()).valid) << "a bad tag leaves the photo as is";
    EXPECT_EQ(jpegOrientation(lost.data(), lost.size()), 1u);
}

TEST(JpegOrientation, TurnsAndMirrorsPixelsAsEachValueSays) {
    // 3 x 2:  1 2 3
    //         4 5 6
    const std::uint32_t in[6] = {1, 2, 3, 4, 5, 6};
    const std::vector<std::vector<std::uint32_t>> expected = {
        {1, 2, 3, 4, 5, 6}, {3, 2, 1, 6, 5, 4}, {6, 5, 4, 3, 2, 1}, {4, 5, 6, 1, 2, 3},
        {1, 4, 2, 5, 3, 6}, {4, 1, 5, 2, 6, 3}, {6, 3, 5, 2, 4, 1}, {3, 6, 2, 5, 1, 4}};
    for (std::uint32_t o = 1; o <= 8; ++o) {
        std::uint32_t w = 0, h = 0;
        orientedSize(o, 3, 2, w, h);
        EXPECT_EQ(w * h, 6u);
        EXPECT_EQ(w, o >= 5 ? 2u : 3u) << "orientation " << o;
        std::vector<std::uint32_t> out(6, 0);
        orientPixels(in, 3, 2, o, out.data());
        EXPECT_EQ(out, expected[o - 1]) << "orientation " << o;
    }
}

TEST(MetafileCheck, FramingHeaderAndHandleCount) {
    Bytes good = metafile();
    addRecord(good, 43, Bytes(16, 0)); // a rectangle
    finish(good);
    EXPECT_TRUE(emfValid(good));
    Bytes padded = good;
    padded.resize(good.size() + 64, 0xCD);
    EXPECT_TRUE(emfValid(padded)) << "bytes after the declared total are not part of it";

    auto refused = [](const Bytes& b, const char* what) { EXPECT_FALSE(emfValid(b)) << what; };
    Bytes b = good;
    put32(b, 40, 0x12345678);
    refused(b, "wrong signature");
    b = good;
    put32(b, 88 + 4, 0);
    refused(b, "record of size zero, which would never advance");
    b = good;
    put32(b, 88 + 4, 26);
    refused(b, "record size not a multiple of four");
    b = good;
    put32(b, 88 + 4, 4000);
    refused(b, "record running past the total");
    b = good;
    put32(b, 88 + 24, 42);
    refused(b, "no end record");
    b = good;
    put32(b, 48, 4000);
    refused(b, "total larger than the file");
    refused(cut(good, good.size() - 4), "end record cut short");
    refused(cut(good, 60), "header cut short");
    b = good;
    put16(b, 56, 0);
    refused(b, "no handle table");
    b = good;
    put16(b, 56, 40000);
    refused(b, "handle table above the bound");
    b = good;
    put32(b, 60, 100);
    put32(b, 64, 80);
    refused(b, "description past the header");
}

TEST(MetafileCheck, ObjectIndicesMustNameTheHandleTableOrAStockObject) {
    auto with = [](std::uint32_t type, const Bytes& body) {
        Bytes b = metafile(4);
        addRecord(b, type, body);
        finish(b);
        return emfValid(b);
    };
    EXPECT_TRUE(with(37, words({3}))) << "select object 3 of 4";
    EXPECT_TRUE(with(37, words({0x80000000u + 4}))) << "select a stock brush";
    EXPECT_FALSE(with(37, words({4}))) << "index past the table";
    EXPECT_FALSE(with(37, words({0}))) << "index of the metafile itself";
    EXPECT_FALSE(with(37, words({0x80000000u + 200}))) << "no such stock object";
    EXPECT_FALSE(with(40, words({0xFFFFFFFFu})));
    EXPECT_TRUE(with(38, words({1, 0, 1, 0, 0})));
    EXPECT_FALSE(with(38, words({9, 0, 1, 0, 0}))) << "pen created past the table";
    EXPECT_FALSE(with(38, words({1}))) << "pen record too short for its pen";
    EXPECT_FALSE(with(39, words({5, 0, 0, 0})));
}

TEST(MetafileCheck, CountsAndOffsetsMustStayInsideTheirRecord) {
    auto with = [](std::uint32_t type, const Bytes& body) {
        Bytes b = metafile(4);
        addRecord(b, type, body);
        finish(b);
        return emfValid(b);
    };
    EXPECT_TRUE(with(4, words({0, 0, 0, 0, 2, 1, 1, 2, 2}))) << "polyline of two points";
    EXPECT_FALSE(with(4, words({0, 0, 0, 0, 3, 1, 1, 2, 2}))) << "three points claimed";
    EXPECT_FALSE(with(4, words({0, 0, 0, 0, 0x20000000, 1, 1})));
    EXPECT_TRUE(with(87, words({0, 0, 0, 0, 2, 0x00010001, 0x00020002})));
    EXPECT_TRUE(with(8, words({0, 0, 0, 0, 1, 2, 2, 1, 1, 2, 2})));
    EXPECT_FALSE(with(8, words({0, 0, 0, 0, 1, 2, 3, 1, 1, 2, 2}))) << "polygon counts exceed";
    EXPECT_FALSE(with(8, words({0, 0, 0, 0, 1000, 2, 2, 1, 1, 2, 2}))) << "polygon number";
    EXPECT_TRUE(with(70, words({4, 0})));
    EXPECT_FALSE(with(70, words({400, 0}))) << "comment longer than its record";
    EXPECT_FALSE(with(75, words({64, 1, 32, 1, 5, 0, 0, 0, 0, 0}))) << "region of 5 rectangles";

    // ExtTextOutW: text and spacing inside the record.
    Bytes text = words({0, 0, 0, 0, 1, 0, 0, 0, 0, 2, 76, 0, 0, 0, 0, 0, 80, 0x00410041, 7, 7});
    EXPECT_TRUE(with(84, text));
    put32(text, 36, 3000); // nChars, relative to the body: record offset 44
    EXPECT_FALSE(with(84, text)) << "more characters than the record holds";
    put32(text, 36, 2);
    put32(text, 64, 4000); // offDx
    EXPECT_FALSE(with(84, text)) << "spacing past the record";
}

TEST(MetafileCheck, BitmapRecordsCarryWholeBitmaps) {
    // StretchDIBits of a 2 x 2 24-bit bitmap: header at 80, pixels at 120.
    auto stretch = [](std::uint32_t width, std::uint32_t bitsBytes, std::uint32_t bitsOffset) {
        Bytes body =
            words({0, 0, 0, 0, 0, 0, 0, 0, 2, 2, 80, 40, bitsOffset, bitsBytes, 0, 0xCC0020, 2, 2});
        Bytes info(40, 0);
        put32(info, 0, 40);
        put32(info, 4, width);
        put32(info, 8, 2);
        put16(info, 12, 1);
        put16(info, 14, 24);
        body.insert(body.end(), info.begin(), info.end());
        body.resize(body.size() + 16, 0);
        Bytes b = metafile(1);
        addRecord(b, 81, body);
        finish(b);
        return emfValid(b);
    };
    EXPECT_TRUE(stretch(2, 16, 120));
    EXPECT_FALSE(stretch(3, 16, 120)) << "rows wider than the bits";
    EXPECT_FALSE(stretch(2, 16, 124)) << "bits past the record";
    EXPECT_FALSE(stretch(2, 0, 120)) << "no bits";
    EXPECT_FALSE(stretch(0x40000000, 16, 120)) << "width that wraps";
}

TEST(MetafileCheck, UncheckedRareRecordsAreRefused) {
    // PolyTextOut: Windows itself no longer plays it.
    Bytes b = metafile();
    addRecord(b, 97, Bytes(64, 0)); // PolyTextOutW
    finish(b);
    EXPECT_FALSE(emfValid(b));
}

TEST(DeviceNames, ReservedNamesAreRecognisedWithAnyEnding) {
    for (const char* name : {"con.jpg", "NUL.gif", "com1.bmp", "Lpt9.emf", "aux", "prn .jpeg",
                             "C:\\pics\\con.jpg", "conout$.gif"})
        EXPECT_TRUE(isReservedDeviceName(name)) << name;
    for (const char* name :
         {"console.jpg", "com0.bmp", "com10.bmp", "icon.gif", "", "x.jpg", "C:\\con\\a.jpg"})
        EXPECT_FALSE(isReservedDeviceName(name)) << name;
    EXPECT_FALSE(isReservedDeviceName(nullptr));
}

TEST(PlainDib, OldCoreHeadersAndBitFieldsBecomeTheCommonHeader) {
    // 12-byte header, 4 bits, three-byte colours; 3 x 1 pixels.
    Bytes core(14 + 12 + 16 * 3 + 4, 0);
    core[0] = 'B';
    core[1] = 'M';
    put32(core, 10, 14 + 12 + 16 * 3);
    put32(core, 14, 12);
    put16(core, 18, 3);
    put16(core, 20, 1);
    put16(core, 22, 1);
    put16(core, 24, 4);
    core[26 + 3] = 0xAA; // blue, green, red of entry 1
    core[26 + 4] = 0xBB;
    core[26 + 5] = 0xCC;
    const PictureCheck check = checkBitmapFile(core.data(), core.size());
    ASSERT_TRUE(check.valid);
    PlainDib dib;
    ASSERT_TRUE(makePlainDib(core.data(), core.size(), check.dib, dib));
    ASSERT_EQ(dib.info.size(), 40u + 16 * 4);
    EXPECT_EQ(dib.info[0], 40) << "common header";
    EXPECT_EQ(dib.info[14], 4) << "bit count kept";
    const unsigned char entry1[4] = {0xAA, 0xBB, 0xCC, 0};
    EXPECT_EQ(0, std::memcmp(&dib.info[44], entry1, 4)) << "three-byte colour widened";

    // A 124-byte header keeps its masks inside it; the system gets them after 40 bytes.
    const Bytes v5 = bmpFile({4, 2, 16, 3, 0, 0, 124});
    const PictureCheck masked = checkBitmapFile(v5.data(), v5.size());
    ASSERT_TRUE(masked.valid);
    ASSERT_TRUE(makePlainDib(v5.data(), v5.size(), masked.dib, dib));
    ASSERT_EQ(dib.info.size(), 40u + 12);
    EXPECT_EQ(dib.info[16], 3) << "bit fields";
    EXPECT_EQ(dib.info[40] | dib.info[41] << 8, 0x7C00);
    EXPECT_EQ(dib.info[48] | dib.info[49] << 8, 0x001F);
}

TEST(PictureContent, CheckedJpegCarriesItsOrientationAndSize) {
    const Bytes b = jpegFile({40, 30, exif(false, 3, 6)});
    const PictureCheck check = checkPicture(FormatJpeg, b.data(), b.size());
    ASSERT_TRUE(check.valid);
    EXPECT_EQ(check.orientation, 6u);
    EXPECT_EQ(check.width, 40u) << "the stored size; the loader turns it";
    EXPECT_EQ(check.height, 30u);
}

TEST(MetafileCheck, GradientVerticesAndTheirIndicesStayInsideTheRecord) {
    auto gradient = [](std::uint32_t mode, std::uint32_t index) {
        Bytes body = words({0, 0, 10, 10, 2, 1, mode});
        body.resize(body.size() + 2 * 16, 0); // two vertices
        const Bytes shape = mode == 2 ? words({0, 1, index}) : words({0, index});
        body.insert(body.end(), shape.begin(), shape.end());
        Bytes b = metafile(1);
        addRecord(b, 118, body);
        finish(b);
        return emfValid(b);
    };
    EXPECT_TRUE(gradient(0, 1)) << "a rectangle between the two vertices";
    EXPECT_FALSE(gradient(0, 2)) << "a rectangle naming a third vertex";
    EXPECT_TRUE(gradient(2, 1)) << "a triangle";
    EXPECT_FALSE(gradient(2, 70000)) << "a triangle naming a far vertex";
}
