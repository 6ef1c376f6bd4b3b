// Pictures whose decode brought the saver down. The fault backstop records the one being
// decoded; later runs pass it by for as long as it is unchanged, so that one bad file does
// not end every show. A file replaced since (another size or last-write time) is tried again.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

// What tells a file from the one that faulted, as the folder's listing gives it.
struct PictureStamp {
    std::uint64_t size = 0;
    std::uint64_t lastWrite = 0; // the file system's count, compared only for equality
};

inline bool operator==(const PictureStamp& a, const PictureStamp& b) {
    return a.size == b.size && a.lastWrite == b.lastWrite;
}

// Room for a listing's file name with its NUL.
constexpr std::size_t skippedNameSize = 260;
constexpr std::size_t skippedPicturesMax = 16;

struct SkippedPicture {
    char name[skippedNameSize] = {};
    PictureStamp stamp;
};

// A small list, oldest first: kept on a fixed budget, since the backstop may not allocate.
class SkippedPictures {
  public:
    // Whether the walk passes this entry by.
    bool skips(const char* name, const PictureStamp& stamp) const;
    // Records a picture, replacing an older record of the same name; when the list is full
    // the oldest goes. A name too long for the record, or empty, is not recorded.
    void add(const char* name, const PictureStamp& stamp);
    std::size_t count() const { return count_; }
    const SkippedPicture& operator[](std::size_t index) const { return entries_[index]; }

  private:
    SkippedPicture entries_[skippedPicturesMax];
    std::size_t count_ = 0;
};

// The file: "VSKP", then per picture its size and last-write time (8 bytes each, low byte
// first) and its name with a NUL.
constexpr std::size_t skippedPicturesFileMax = 4 + skippedPicturesMax * (16 + skippedNameSize);

// Writes the file's bytes to `out` (skippedPicturesFileMax bytes); their count. No
// allocation: the fault backstop calls it.
std::size_t serializeSkippedPictures(const SkippedPictures& list, std::uint8_t* out);
// The list from a file's bytes, which may be anything: a record that breaks off or has no
// NUL in reach ends the list, keeping those before it; a foreign file gives none.
SkippedPictures parseSkippedPictures(const std::uint8_t* data, std::size_t size);

// The picture being decoded right now: the walk sets it just before the decode and clears it
// after, so that a fault meanwhile knows which picture to record.
struct PictureUnderDecode {
    SkippedPicture picture;
    std::atomic<bool> underway{false};
};
