// Pictures that one screen's show has fitted, kept for the shows of the other screens of the
// same size: those come to the same pictures a cycle or more later (each starts further on in
// the listing), and copying a fitted picture costs a small part of reading, decoding and
// fitting it again. The caller serializes every call.
#pragma once

#include "engine/reveal.h"
#include "engine/skipped_pictures.h"
#include "pictures/picture_format.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// What makes two fitted pictures the same: the file as the listing gave it, and the fit.
struct ShelfKey {
    std::string path; // full path
    PictureStamp stamp;
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool cutBackground = false;
};

// A metafile plays over what the canvas held before, so what it leaves is not the file's alone.
inline bool shelvable(PictureFormat format) {
    return format != FormatEmf;
}

// Pixels are 32 bits, rows `width` apart.
class PictureShelf {
  public:
    // At most `byteBudget` bytes of pixels are kept, whatever the number of screens asks.
    explicit PictureShelf(std::size_t byteBudget) : byteBudget_(byteBudget) {}

    // Keeps a copy of `pixels` (of the key's size) under `key`, dropping the oldest pictures
    // beyond `keepAtMost` or the budget. A key already kept is only made the newest. False,
    // with nothing kept, when the pixels do not match the key or no memory is left.
    bool put(const ShelfKey& key, const SurfaceView& pixels, std::size_t keepAtMost);
    // Copies the picture kept under `key` into `to`, which must be of the key's size; false
    // when there is none.
    bool copyTo(const ShelfKey& key, const SurfaceView& to) const;
    void clear() { entries_.clear(); }
    std::size_t count() const { return entries_.size(); }

  private:
    struct Entry {
        ShelfKey key;
        std::unique_ptr<std::uint32_t[]> pixels;
    };
    const Entry* find(const ShelfKey& key) const;
    std::unique_ptr<std::uint32_t[]> makeRoom(std::size_t keep, std::size_t pixelCount);

    std::size_t byteBudget_;
    std::vector<Entry> entries_; // oldest first
};
