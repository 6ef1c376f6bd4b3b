#include "engine/skipped_pictures.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr char fileMagic[4] = {'V', 'S', 'K', 'P'};

void putLittleEndian(std::uint8_t* at, std::uint64_t value) {
    for (int i = 0; i < 8; ++i)
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The name's length, or `limit` when no NUL comes before it.
std::size_t lengthWithin(const char* name, std::size_t limit) {
    const void* nul = std::memchr(name, '\0', limit);
    return nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - name) : limit;
}

std::uint64_t getLittleEndian(const std::uint8_t* at) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | at[i];
    return value;
}
} // namespace

bool SkippedPictures::skips(const char* name, const PictureStamp& stamp) const {
    for (std::size_t i = 0; i < count_; ++i)
        if (entries_[i].stamp == stamp && std::strcmp(entries_[i].name, name) == 0)
            return true;
    return false;
}

void SkippedPictures::add(const char* name, const PictureStamp& stamp) {
    const std::size_t length = lengthWithin(name, skippedNameSize);
    if (length == 0 || length == skippedNameSize)
        return;
    // Shifting down also drops an older record of the name, so the newest comes last.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < count_; ++i)
        if (std::strcmp(entries_[i].name, name) != 0)
            entries_[kept++] = entries_[i];
    if (kept == skippedPicturesMax) {
        for (std::size_t i = 1; i < kept; ++i)
            entries_[i - 1] = entries_[i];
        --kept;
    }
    SkippedPicture& added = entries_[kept];
    std::memset(added.name, 0, sizeof added.name);
    std::memcpy(added.name, name, length);
    added.stamp = stamp;
    count_ = kept + 1;
}

std::size_t serializeSkippedPictures(const SkippedPictures& list, std::uint8_t* out) {
    std::memcpy(out, fileMagic, sizeof fileMagic);
    std::size_t at = sizeof fileMagic;
    for (std::size_t i = 0; i < list.count(); ++i) {
        putLittleEndian(out + at, list[i].stamp.size);
        putLittleEndian(out + at + 8, list[i].stamp.lastWrite);
        at += 16;
        const std::size_t length = lengthWithin(list[i].name, skippedNameSize - 1);
        std::memcpy(out + at, list[i].name, length);
        out[at + length] = 0;
        at += length + 1;
    }
    return at;
}

SkippedPictures parseSkippedPictures(const std::uint8_t* data, std::size_t size) {
    SkippedPictures list;
    if (size < sizeof fileMagic || std::memcmp(data, fileMagic, sizeof fileMagic) != 0)
        return list;
    std::size_t at = sizeof fileMagic;
    for (std::size_t records = 0; records < skippedPicturesMax && size - at > 16; ++records) {
        PictureStamp stamp;
        stamp.size = getLittleEndian(data + at);
        stamp.lastWrite = getLittleEndian(data + at + 8);
        const char* name = reinterpret_cast<const char*>(data + at + 16);
        const std::size_t reach = std::min(size - at - 16, skippedNameSize);
        const std::size_t length = lengthWithin(name, reach);
        if (length == 0 || length == reach)
            break;
        list.add(name, stamp);
        at += 16 + length + 1;
    }
    return list;
}
