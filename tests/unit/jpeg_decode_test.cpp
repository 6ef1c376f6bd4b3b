#include "pictures/step3_decode_jpeg.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

using Bytes = std::vector<unsigned char>;

enum class Kind { Baseline, Progressive, Arithmetic, Grey, Cmyk, Ycck };

// Quadrants red, green, blue and white, as RGB.
void quadrantColour(int x, int y, int width, int height, int rgb[3]) {
    static const int colours[4][3] = {{220, 30, 30}, {30, 200, 40}, {40, 40, 210}, {240, 240, 240}};
    const int* c = colours[(y >= height / 2) * 2 + (x >= width / 2)];
    for (int i = 0; i < 3; ++i)
        rgb[i] = c[i];
}

// A picture of quadrants encoded by libjpeg itself. CMYK and YCCK files are written as
// Photoshop writes them: an Adobe segment and the inks inverted.
Bytes encode(Kind kind, int width, int height) {
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    const bool inks = kind == Kind::Cmyk || kind == Kind::Ycck;
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = kind == Kind::Grey ? 1 : inks ? 4 : 3;
    info.in_color_space = kind == Kind::Grey ? JCS_GRAYSCALE : inks ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    if (inks)
        jpeg_set_colorspace(&info, kind == Kind::Cmyk ? JCS_CMYK : JCS_YCCK);
    if (kind == Kind::Progressive)
        jpeg_simple_progression(&info);
    info.arith_code = kind == Kind::Arithmetic;
    jpeg_start_compress(&info, TRUE);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(width) * info.input_components);
    while (info.next_scanline < info.image_height) {
        for (int x = 0; x < width; ++x) {
            int rgb[3];
            quadrantColour(x, static_cast<int>(info.next_scanline), width, height, rgb);
            JSAMPLE* p = &row[static_cast<std::size_t>(x) * info.input_components];
            if (kind == Kind::Grey) {
                p[0] = static_cast<JSAMPLE>((rgb[0] + rgb[1] + rgb[2]) / 3);
                continue;
            }
            for (int i = 0; i < 3; ++i)
                p[i] = static_cast<JSAMPLE>(rgb[i]); // inverted inks: 255 - (255 - value)
            if (inks)
                p[3] = 255; // no black
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    Bytes bytes(out, out + size);
    std::free(out);
    return bytes;
}

// The file with its frame declaring another size; its scan no longer matches it.
Bytes withDeclaredSize(Bytes b, std::uint32_t width, std::uint32_t height) {
    for (std::size_t i = 0; i + 8 < b.size(); ++i)
        if (b[i] == 0xFF && (b[i + 1] == 0xC0 || b[i + 1] == 0xC2)) {
            b[i + 5] = static_cast<unsigned char>(height >> 8);
            b[i + 6] = static_cast<unsigned char>(height);
            b[i + 7] = static_cast<unsigned char>(width >> 8);
            b[i + 8] = static_cast<unsigned char>(width);
            return b;
        }
    ADD_FAILURE() << "no frame marker";
    return b;
}

} // namespace

TEST(JpegScale, SmallestScaleWhoseCropStillCoversTheScreen) {
    struct Case {
        std::uint32_t width, height, orientation, screenWidth, screenHeight, eighths;
    };
    const Case cases[] = {
        {6000, 4000, 1, 1920, 1080, 3},   // 24 MP: 2250 x 1500, cropped to 2250 x 1265
        {6000, 4000, 1, 3840, 2160, 6},   // 4500 wide; 5/8 gives only 3750
        {9504, 6336, 1, 1920, 1080, 2},   // 61 MP
        {16320, 12240, 1, 1920, 1080, 1}, // 200 MP: 2040 x 1530
        {16320, 12240, 1, 3840, 2160, 2}, // 4080 wide
        {6000, 4000, 6, 1920, 1080, 4},   // turned upright: 4000 wide, so 2000 at 4/8
        {4000, 6000, 1, 1920, 1080, 4},   // the same portrait stored upright
        {1024, 768, 1, 1920, 1080, 8},    // smaller than the screen: whole
        {1921, 1081, 1, 1920, 1080, 8},   // any reduction would lose a column
        {15360, 8640, 8, 1920, 1080, 2},  // 16:9 turned to 9:16: 8640 wide shown
    };
    for (const Case& c : cases)
        EXPECT_EQ(jpegScaleEighths(c.width, c.height, c.orientation, c.screenWidth, c.screenHeight),
                  c.eighths)
            << c.width << "x" << c.height << " orientation " << c.orientation << " on "
            << c.screenWidth << "x" << c.screenHeight;
}

TEST(JpegDecoding, EveryKindDecodesToScaleWithItsColours) {
    const struct {
        Kind kind;
        const char* name;
    } kinds[] = {{Kind::Baseline, "baseline"},
                 {Kind::Progressive, "progressive"},
                 {Kind::Arithmetic, "arithmetic"},
                 {Kind::Grey, "grey"},
                 {Kind::Cmyk, "CMYK"},
                 {Kind::Ycck, "YCCK"}};
    for (const auto& k : kinds) {
        const Bytes file = encode(k.kind, 96, 64);
        JpegDecoder decoder(file.data(), file.size());
        // 48 x 32 covers a 45 x 30 screen; 3/8 (36 x 24) would not.
        ASSERT_TRUE(decoder.plan(1, 45, 30)) << k.name << ": " << decoder.failure();
        EXPECT_EQ(decoder.scaleEighths(), 4u) << k.name;
        ASSERT_EQ(decoder.width(), 48u) << k.name;
        ASSERT_EQ(decoder.height(), 32u) << k.name;
        const std::uint64_t pixelBytes = 48 * 32 * 4;
        if (k.kind == Kind::Progressive)
            EXPECT_EQ(decoder.bytesHeld(), pixelBytes + 96 * 64 * 2 + 2 * (48 * 32 * 2))
                << "coefficients at full size: luminance, and chroma at half, 2 bytes each";
        else
            EXPECT_EQ(decoder.bytesHeld(), pixelBytes) << k.name;
        std::vector<std::uint32_t> pixels(48 * 32, 0xDEADBEEF);
        ASSERT_TRUE(decoder.decode(pixels.data())) << k.name << ": " << decoder.failure();
        for (int y : {6, 24})
            for (int x : {8, 36}) {
                int rgb[3];
                quadrantColour(x, y, 48, 32, rgb);
                if (k.kind == Kind::Grey)
                    rgb[0] = rgb[1] = rgb[2] = (rgb[0] + rgb[1] + rgb[2]) / 3;
                const std::uint32_t seen = pixels[static_cast<std::size_t>(y) * 48 + x];
                const int got[3] = {static_cast<int>(seen >> 16 & 0xFF),
                                    static_cast<int>(seen >> 8 & 0xFF),
                                    static_cast<int>(seen & 0xFF)};
                for (int i = 0; i < 3; ++i)
                    EXPECT_NEAR(got[i], rgb[i], 12)
                        << k.name << " at " << x << "," << y << " channel " << i;
            }
    }
}

TEST(JpegDecoding, BudgetHoldsWhatIsDecodedAtTheChosenScale) {
    const Bytes baseline = encode(Kind::Baseline, 16, 16);
    const Bytes progressive = encode(Kind::Progressive, 16, 16);
    // 200 MP decoded at 1/8 for a 1920 x 1080 screen: 12 MB.
    const Bytes phone = withDeclaredSize(baseline, 16320, 12240);
    JpegDecoder phoneDecoder(phone.data(), phone.size());
    EXPECT_TRUE(phoneDecoder.plan(1, 1920, 1080));
    EXPECT_EQ(phoneDecoder.bytesHeld(), 2040ull * 1530 * 4);
    // Whole, for a screen as large as the picture: far over.
    JpegDecoder wholeDecoder(phone.data(), phone.size());
    EXPECT_FALSE(wholeDecoder.plan(1, 16320, 12240));
    // Progressive: the full-size coefficients alone are over, however small the scale.
    const Bytes progressivePhone = withDeclaredSize(progressive, 16320, 12240);
    JpegDecoder progressiveDecoder(progressivePhone.data(), progressivePhone.size());
    EXPECT_FALSE(progressiveDecoder.plan(1, 1920, 1080));
    const Bytes progressiveCamera = withDeclaredSize(progressive, 6000, 4000);
    JpegDecoder cameraDecoder(progressiveCamera.data(), progressiveCamera.size());
    EXPECT_TRUE(cameraDecoder.plan(1, 1920, 1080));
}

TEST(JpegDecoding, BrokenDataEndsThePictureWithTheLibrarysReason) {
    const Bytes whole = encode(Kind::Baseline, 64, 64);
    std::size_t scan = 0;
    while (scan + 1 < whole.size() && !(whole[scan] == 0xFF && whole[scan + 1] == 0xDA))
        ++scan;
    const Bytes cut(whole.begin(), whole.begin() + static_cast<long>((scan + whole.size()) / 2));
    JpegDecoder cutDecoder(cut.data(), cut.size());
    ASSERT_TRUE(cutDecoder.plan(1, 64, 64));
    std::vector<std::uint32_t> pixels(64 * 64);
    EXPECT_FALSE(cutDecoder.decode(pixels.data())) << "a file cut short is not shown";
    EXPECT_NE(std::string(cutDecoder.failure()), "");

    Bytes noFrame = whole;
    for (std::size_t i = 0; i + 1 < noFrame.size(); ++i)
        if (noFrame[i] == 0xFF && noFrame[i + 1] == 0xC0)
            noFrame[i + 1] = 0xC3; // lossless: the library refuses it in the header
    JpegDecoder refused(noFrame.data(), noFrame.size());
    EXPECT_FALSE(refused.plan(1, 64, 64));
    EXPECT_FALSE(refused.decode(pixels.data())) << "nothing to decode after a failed plan";
    JpegDecoder empty(nullptr, 0);
    EXPECT_FALSE(empty.plan(1, 64, 64));
}
