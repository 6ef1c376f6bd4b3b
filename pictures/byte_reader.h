// Little- and big-endian reads at checked offsets of an untrusted byte block. Every read
// outside the block yields false and leaves the value untouched, so callers never index
// past what was read from the file.
#pragma once

#include <cstddef>
#include <cstdint>

class ByteReader {
  public:
    ByteReader(const unsigned char* data, std::size_t size) : data_(data), size_(data ? size : 0) {}

    std::size_t size() const { return size_; }
    const unsigned char* data() const { return data_; }

    // True when `count` bytes from `at` lie inside the block (no wrap for any values).
    bool holds(std::uint64_t at, std::uint64_t count) const {
        return at <= size_ && count <= size_ - at;
    }
    bool u8(std::uint64_t at, std::uint32_t& v) const {
        if (!holds(at, 1))
            return false;
        v = data_[at];
        return true;
    }
    bool le16(std::uint64_t at, std::uint32_t& v) const {
        if (!holds(at, 2))
            return false;
        v = static_cast<std::uint32_t>(data_[at]) | static_cast<std::uint32_t>(data_[at + 1]) << 8;
        return true;
    }
    bool le32(std::uint64_t at, std::uint32_t& v) const {
        std::uint32_t low = 0, high = 0;
        if (!le16(at, low) || !le16(at + 2, high))
            return false;
        v = low | high << 16;
        return true;
    }
    bool be16(std::uint64_t at, std::uint32_t& v) const {
        if (!holds(at, 2))
            return false;
        v = static_cast<std::uint32_t>(data_[at]) << 8 | static_cast<std::uint32_t>(data_[at + 1]);
        return true;
    }
    bool be32(std::uint64_t at, std::uint32_t& v) const {
        std::uint32_t high = 0, low = 0;
        if (!be16(at, high) || !be16(at + 2, low))
            return false;
        v = high << 16 | low;
        return true;
    }
    // A part of the block; empty when it does not lie inside.
    ByteReader part(std::uint64_t at, std::uint64_t count) const {
        if (!holds(at, count))
            return ByteReader(nullptr, 0);
        return ByteReader(data_ + at, static_cast<std::size_t>(count));
    }

  private:
    const unsigned char* data_;
    std::size_t size_;
};
