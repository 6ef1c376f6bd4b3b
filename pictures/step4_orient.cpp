#include "pictures/step4_orient.h"

#include <cstddef>

void orientedSize(std::uint32_t orientation, std::uint32_t width, std::uint32_t height,
                  std::uint32_t& outWidth, std::uint32_t& outHeight) {
    const bool swapped = orientation >= 5 && orientation <= 8;
    outWidth = swapped ? height : width;
    outHeight = swapped ? width : height;
}

void orientPixels(const std::uint32_t* in, std::uint32_t width, std::uint32_t height,
                  std::uint32_t orientation, std::uint32_t* out) {
    std::uint32_t outWidth = 0, outHeight = 0;
    orientedSize(orientation, width, height, outWidth, outHeight);
    for (std::uint32_t oy = 0; oy < outHeight; ++oy) {
        std::uint32_t* row = out + static_cast<std::size_t>(oy) * outWidth;
        for (std::uint32_t ox = 0; ox < outWidth; ++ox) {
            std::uint32_t x = ox, y = oy;
            switch (orientation) {
            case 2:
                x = width - 1 - ox;
                break;
            case 3:
                x = width - 1 - ox;
                y = height - 1 - oy;
                break;
            case 4:
                y = height - 1 - oy;
                break;
            case 5:
                x = oy;
                y = ox;
                break;
            case 6:
                x = oy;
                y = height - 1 - ox;
                break;
            case 7:
                x = width - 1 - oy;
                y = height - 1 - ox;
                break;
            case 8:
                x = width - 1 - oy;
                y = ox;
                break;
            default:
                break;
            }
            row[ox] = in[static_cast<std::size_t>(y) * width + x];
        }
    }
}
