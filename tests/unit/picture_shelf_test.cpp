#include "engine/picture_shelf.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr std::int32_t side = 3;
constexpr std::size_t pictureBytes = side * side * 4;

// Pixels of a side x side picture in rows `pitch` bytes apart; the padding holds 0xEE.
struct Pixels {
    Pixels(std::uint32_t first, std::int32_t rowBytes)
        : pitch(rowBytes), bytes(rowBytes * side, 0xEE) {
        for (std::int32_t row = 0; row < side; ++row)
            for (std::int32_t column = 0; column < side; ++column)
                at(column, row) = first + static_cast<std::uint32_t>(row * side + column);
    }
    std::uint32_t& at(std::int32_t column, std::int32_t row) {
        return reinterpret_cast<std::uint32_t*>(bytes.data() + row * pitch)[column];
    }
    SurfaceView view() { return {bytes.data(), pitch, side, side}; }
    std::int32_t pitch;
    std::vector<std::uint8_t> bytes;
};

ShelfKey keyOf(const char* path) {
    return {path, {1000, 77}, side, side, false};
}

// The first pixel the picture kept under `key` copies out, or 0 for none.
std::uint32_t firstPixelOf(const PictureShelf& shelf, const ShelfKey& key) {
    Pixels out(0, side * 4);
    return shelf.copyTo(key, out.view()) ? out.at(0, 0) : 0;
}

} // namespace

TEST(PictureShelf, GivesBackOnlyTheSameFileFittedTheSameWay) {
    PictureShelf shelf(1 << 20);
    Pixels padded(100, side * 4 + 8); // a surface's rows may be wider than the picture
    ASSERT_TRUE(shelf.put(keyOf("C:\\p\\a.jpg"), padded.view(), 2));

    Pixels out(0, side * 4 + 4);
    ASSERT_TRUE(shelf.copyTo(keyOf("C:\\p\\a.jpg"), out.view()));
    for (std::int32_t row = 0; row < side; ++row) {
        for (std::int32_t column = 0; column < side; ++column)
            EXPECT_EQ(out.at(column, row), padded.at(column, row)) << column << "," << row;
        EXPECT_EQ(out.bytes[row * out.pitch + side * 4], 0xEE) << "padding of row " << row;
    }

    std::vector<ShelfKey> others(6, keyOf("C:\\p\\a.jpg"));
    others[0].path = "C:\\q\\a.jpg";
    others[1].stamp.size = 1001; // the file was replaced
    others[2].stamp.lastWrite = 78;
    others[3].cutBackground = true;
    others[4].width = side - 1;
    others[5].height = side + 1;
    for (const ShelfKey& other : others) {
        Pixels untouched(5, side * 4);
        EXPECT_FALSE(shelf.copyTo(other, untouched.view()))
            << other.path << " " << other.stamp.size << " " << other.stamp.lastWrite << " "
            << other.cutBackground << " " << other.width << "x" << other.height;
        EXPECT_EQ(untouched.at(0, 0), 5u);
    }
    // A target of another size than the key's gets nothing.
    Pixels small(0, side * 4);
    SurfaceView narrow = small.view();
    narrow.width = side - 1;
    EXPECT_FALSE(shelf.copyTo(keyOf("C:\\p\\a.jpg"), narrow));
}

TEST(PictureShelf, KeepsTheNewestWithinTheScreenCountAndTheByteBudget) {
    PictureShelf shelf(1 << 20);
    Pixels a(100, side * 4), b(200, side * 4), c(300, side * 4), d(400, side * 4);
    shelf.put(keyOf("a"), a.view(), 2);
    shelf.put(keyOf("b"), b.view(), 2);
    shelf.put(keyOf("c"), c.view(), 2);
    EXPECT_EQ(firstPixelOf(shelf, keyOf("a")), 0u) << "the oldest went";
    EXPECT_EQ(firstPixelOf(shelf, keyOf("b")), 200u);
    EXPECT_EQ(firstPixelOf(shelf, keyOf("c")), 300u);
    // Put again, b is the newest: d then takes c's place and b stays as it was kept.
    shelf.put(keyOf("b"), d.view(), 2);
    shelf.put(keyOf("d"), d.view(), 2);
    EXPECT_EQ(shelf.count(), 2u);
    EXPECT_EQ(firstPixelOf(shelf, keyOf("b")), 200u);
    EXPECT_EQ(firstPixelOf(shelf, keyOf("c")), 0u);
    EXPECT_EQ(firstPixelOf(shelf, keyOf("d")), 400u);

    PictureShelf twoPictures(2 * pictureBytes);
    twoPictures.put(keyOf("a"), a.view(), 8);
    twoPictures.put(keyOf("b"), b.view(), 8);
    twoPictures.put(keyOf("c"), c.view(), 8);
    EXPECT_EQ(twoPictures.count(), 2u);
    EXPECT_EQ(firstPixelOf(twoPictures, keyOf("a")), 0u) << "over the budget, the oldest went";
    EXPECT_EQ(firstPixelOf(twoPictures, keyOf("c")), 300u);

    PictureShelf tooSmall(pictureBytes - 4);
    EXPECT_FALSE(tooSmall.put(keyOf("a"), a.view(), 8));
    EXPECT_FALSE(shelf.put(keyOf("e"), a.view(), 0));
    ShelfKey wrongSize = keyOf("e");
    wrongSize.width = side + 1;
    EXPECT_FALSE(shelf.put(wrongSize, a.view(), 2)) << "pixels of another size than the key's";
    shelf.clear();
    EXPECT_EQ(firstPixelOf(shelf, keyOf("d")), 0u);
}
