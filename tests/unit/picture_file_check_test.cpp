#include "pictures/picture_file_check.h"

#include <gtest/gtest.h>

#include <cstdint>
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

struct BmpShape {
    std::int32_t width = 10;
    std::int32_t height = 6;
    std::uint32_t bitCount = 24;
    std::uint32_t compression = 0;
    std::uint32_t imageSize = 0;
    std::uint32_t coloursUsed = 0;
};

// A whole BMP file of the shape: headers, colour table and zeroed pixel rows.
Bytes bmpFile(const BmpShape& s) {
    const std::uint32_t colours =
        s.bitCount <= 8 ? (s.coloursUsed ? s.coloursUsed : 1u << s.bitCount) : 0;
    const std::uint32_t masks = s.compression == 3 ? 12 : 0;
    const std::uint32_t offset = 14 + 40 + masks + colours * 4;
    const std::uint32_t rows = static_cast<std::uint32_t>(s.height < 0 ? -s.height : s.height);
    const std::uint32_t stride = (static_cast<std::uint32_t>(s.width) * s.bitCount + 31) / 32 * 4;
    const std::uint32_t pixels = s.imageSize ? s.imageSize : stride * rows;
    Bytes b(offset + pixels, 0);
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 2, static_cast<std::uint32_t>(b.size()));
    put32(b, 10, offset);
    put32(b, 14, 40);
    put32(b, 18, static_cast<std::uint32_t>(s.width));
    put32(b, 22, static_cast<std::uint32_t>(s.height));
    put16(b, 26, 1);
    put16(b, 28, s.bitCount);
    put32(b, 30, s.compression);
    put32(b, 34, s.imageSize);
    put32(b, 46, s.coloursUsed);
    return b;
}

bool whole(const Bytes& b, std::uint64_t fileSize) {
    const std::size_t head = b.size() < bitmapFileHeadBytes ? b.size() : bitmapFileHeadBytes;
    return bitmapFileIsWhole(b.data(), head, fileSize);
}

bool whole(const Bytes& b) {
    return whole(b, b.size());
}

} // namespace

TEST(BitmapFileCheck, AcceptsWholeFilesOfEveryDrawableKind) {
    const BmpShape shapes[] = {{10, 6, 24, 0, 0, 0}, {7, 3, 1, 0, 0, 0},    {9, 4, 4, 0, 0, 0},
                               {5, 5, 8, 0, 0, 16},  {3, 2, 16, 0, 0, 0},   {3, 2, 16, 3, 0, 0},
                               {4, 4, 32, 3, 0, 0},  {12, -8, 32, 0, 0, 0}, {16, 16, 8, 1, 40, 0},
                               {16, 16, 4, 2, 40, 0}};
    for (const BmpShape& s : shapes)
        EXPECT_TRUE(whole(bmpFile(s)))
            << s.width << "x" << s.height << "x" << s.bitCount << " compression " << s.compression;
}

TEST(BitmapFileCheck, AcceptsTheOldCoreHeader) {
    // 12-byte header, 8 bits, three-byte colour entries.
    Bytes b(14 + 12 + 256 * 3 + 4 * 2, 0);
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 10, 14 + 12 + 256 * 3);
    put32(b, 14, 12);
    put16(b, 18, 3);
    put16(b, 20, 2);
    put16(b, 22, 1);
    put16(b, 24, 8);
    EXPECT_TRUE(whole(b));
    EXPECT_FALSE(whole(b, b.size() - 1)) << "one pixel byte short";
}

TEST(BitmapFileCheck, RefusesFilesShorterThanTheirHeadersSay) {
    const Bytes b = bmpFile({120, 90, 24, 0, 0, 0});
    EXPECT_FALSE(whole(b, b.size() - 1)) << "last byte missing";
    EXPECT_FALSE(whole(b, b.size() / 2)) << "half the rows missing";
    // Header intact, garbage instead of most rows.
    EXPECT_FALSE(whole(b, 54 + 4096));
    // Colour table cut off.
    const Bytes palette = bmpFile({4, 4, 8, 0, 0, 0});
    EXPECT_FALSE(whole(palette, 14 + 40 + 100));
    // Run-length data that the file does not hold.
    const Bytes encoded = bmpFile({16, 16, 8, 1, 400, 0});
    EXPECT_FALSE(whole(encoded, encoded.size() - 10));
}

TEST(BitmapFileCheck, RefusesHeadersThatDescribeNoDrawableBitmap) {
    auto refused = [](Bytes b, const char* what) { EXPECT_FALSE(whole(b)) << what; };
    Bytes b = bmpFile({});
    b[0] = 'X';
    refused(b, "wrong signature");
    refused(bmpFile({0, 6, 24, 0, 0, 0}), "zero width");
    refused(bmpFile({-4, 6, 24, 0, 0, 0}), "negative width");
    refused(bmpFile({10, 0, 24, 0, 0, 0}), "zero height");
    refused(bmpFile({10, 6, 7, 0, 0, 0}), "bit count 7");
    refused(bmpFile({10, 6, 24, 3, 0, 0}), "bit fields at 24 bits");
    refused(bmpFile({10, 6, 24, 4, 0, 0}), "embedded JPEG");
    refused(bmpFile({16, 16, 8, 1, 0, 0}), "run-length data of no size");
    b = bmpFile({});
    put16(b, 26, 2);
    refused(b, "two planes");
    b = bmpFile({});
    put32(b, 14, 20);
    refused(b, "unknown header size");
}

TEST(BitmapFileCheck, HugeDimensionsDoNotWrapTheSize) {
    Bytes b = bmpFile({1, 1, 32, 0, 0, 0});
    put32(b, 18, 0x7FFFFFFF);
    put32(b, 22, 0x80000000); // the most negative height: top-down
    EXPECT_FALSE(whole(b));
    put32(b, 22, 0x7FFFFFFF);
    EXPECT_FALSE(whole(b, UINT64_C(0xFFFFFFFF)));
}

TEST(BitmapFileCheck, ShortOrMissingHeadsAreRefused) {
    const Bytes b = bmpFile({});
    EXPECT_FALSE(bitmapFileIsWhole(nullptr, 0, 100));
    EXPECT_FALSE(bitmapFileIsWhole(b.data(), 0, 0));
    EXPECT_FALSE(bitmapFileIsWhole(b.data(), 17, b.size()));
    EXPECT_FALSE(bitmapFileIsWhole(b.data(), 30, b.size())) << "info header cut short";
    EXPECT_FALSE(bitmapFileIsWhole(b.data(), b.size(), b.size() - 1)) << "head past the end";
}

namespace {

void addRecord(Bytes& b, std::uint32_t type, std::uint32_t size) {
    const std::size_t at = b.size();
    b.resize(at + size, 0);
    put32(b, at, type);
    put32(b, at + 4, size);
}

// A header record, a rectangle record and the end record; the header's total is filled in.
Bytes metafile() {
    Bytes b;
    addRecord(b, 1, 88);
    put32(b, 40, 0x464D4520);
    addRecord(b, 43, 24);
    addRecord(b, 14, 20);
    put32(b, 48, static_cast<std::uint32_t>(b.size()));
    return b;
}

} // namespace

TEST(MetafileCheck, AcceptsRecordsThatEndWithTheEndRecord) {
    const Bytes b = metafile();
    EXPECT_TRUE(metafileIsWhole(b.data(), b.size()));
    // Bytes after the declared total are not part of the metafile.
    Bytes padded = b;
    padded.resize(b.size() + 64, 0xCD);
    EXPECT_TRUE(metafileIsWhole(padded.data(), padded.size()));
}

TEST(MetafileCheck, RefusesGarbledOrTruncatedRecords) {
    const Bytes good = metafile();
    auto refused = [](const Bytes& b, const char* what) {
        EXPECT_FALSE(metafileIsWhole(b.data(), b.size())) << what;
    };
    Bytes b = good;
    put32(b, 40, 0x12345678);
    refused(b, "wrong signature");
    b = good;
    put32(b, 0, 2);
    refused(b, "first record not a header");
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
    b = good;
    b.resize(good.size() - 4);
    refused(b, "end record cut short");
    b.assign(good.begin(), good.begin() + 60);
    refused(b, "header cut short");
    EXPECT_FALSE(metafileIsWhole(nullptr, 0));
}
