#include "engine/picture_shelf.h"

#include <cstring>
#include <new>

namespace {

bool sameKey(const ShelfKey& a, const ShelfKey& b) {
    return a.stamp == b.stamp && a.width == b.width && a.height == b.height &&
           a.cutBackground == b.cutBackground && a.path == b.path;
}

std::size_t pixelCountOf(const ShelfKey& key) {
    return static_cast<std::size_t>(key.width) * static_cast<std::size_t>(key.height);
}

bool fits(const ShelfKey& key, const SurfaceView& view) {
    return key.width > 0 && key.height > 0 && view.bits && view.width == key.width &&
           view.height == key.height && view.pitch >= key.width * 4;
}

} // namespace

const PictureShelf::Entry* PictureShelf::find(const ShelfKey& key) const {
    for (const Entry& entry : entries_)
        if (sameKey(entry.key, key))
            return &entry;
    return nullptr;
}

// Drops the oldest pictures until one more of `pixelCount` pixels is within both limits; the
// memory of a dropped one of that size is handed back, so that the pages are not made anew.
std::unique_ptr<std::uint32_t[]> PictureShelf::makeRoom(std::size_t keep, std::size_t pixelCount) {
    std::unique_ptr<std::uint32_t[]> reused;
    auto bytesKept = [this] {
        std::size_t bytes = 0;
        for (const Entry& entry : entries_)
            bytes += pixelCountOf(entry.key) * 4;
        return bytes;
    };
    while (!entries_.empty() &&
           (entries_.size() >= keep || bytesKept() + pixelCount * 4 > byteBudget_)) {
        if (pixelCountOf(entries_.front().key) == pixelCount)
            reused = std::move(entries_.front().pixels);
        entries_.erase(entries_.begin());
    }
    return reused;
}

bool PictureShelf::put(const ShelfKey& key, const SurfaceView& pixels, std::size_t keepAtMost) {
    if (!fits(key, pixels) || keepAtMost == 0)
        return false;
    const std::size_t count = pixelCountOf(key);
    if (count > byteBudget_ / 4)
        return false;
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (sameKey(it->key, key)) {
            Entry kept = std::move(*it);
            entries_.erase(it);
            entries_.push_back(std::move(kept));
            return true;
        }
    }
    std::unique_ptr<std::uint32_t[]> block = makeRoom(keepAtMost, count);
    if (!block)
        block.reset(new (std::nothrow) std::uint32_t[count]);
    if (!block)
        return false;
    const std::size_t rowBytes = static_cast<std::size_t>(key.width) * 4;
    for (std::int32_t row = 0; row < key.height; ++row)
        std::memcpy(block.get() + static_cast<std::size_t>(row) * key.width,
                    pixels.bits + static_cast<std::size_t>(row) * pixels.pitch, rowBytes);
    entries_.push_back({key, std::move(block)});
    return true;
}

bool PictureShelf::copyTo(const ShelfKey& key, const SurfaceView& to) const {
    const Entry* entry = find(key);
    if (!entry || !fits(key, to))
        return false;
    const std::size_t rowBytes = static_cast<std::size_t>(key.width) * 4;
    for (std::int32_t row = 0; row < key.height; ++row)
        std::memcpy(to.bits + static_cast<std::size_t>(row) * to.pitch,
                    entry->pixels.get() + static_cast<std::size_t>(row) * key.width, rowBytes);
    return true;
}
