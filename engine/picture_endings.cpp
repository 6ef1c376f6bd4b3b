#include "engine/picture_endings.h"

#include <cstring>

namespace {
struct Ending {
    const char* letters;
    PictureFormat format;
};

constexpr Ending endings[] = {
    {"bmp", FormatBmp}, {"jpeg", FormatJpeg}, {"jpg", FormatJpeg},
    {"gif", FormatGif}, {"emf", FormatEmf},
};

// ASCII only: the endings are plain letters, and the ANSI code page must not bend them.
char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool endsWith(const char* name, std::size_t length, const char* letters) {
    std::size_t count = std::strlen(letters);
    if (length < count)
        return false;
    const char* tail = name + (length - count);
    for (std::size_t i = 0; i < count; ++i) {
        if (lowerAscii(tail[i]) != letters[i])
            return false;
    }
    return true;
}
} // namespace

std::optional<PictureFormat> pictureFormatOf(const char* name) {
    if (name == nullptr)
        return std::nullopt;
    std::size_t length = std::strlen(name);
    for (const Ending& ending : endings) {
        if (endsWith(name, length, ending.letters))
            return ending.format;
    }
    return std::nullopt;
}
