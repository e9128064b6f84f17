#pragma once

#include <cstddef>
#include <cstdint>

// Reads a binary record front to back, never past its length. Values are little-endian and
// may start at any byte.
class record_reader
{
public:
    record_reader(const unsigned char* record, std::size_t length);

    // Reads an unsigned value of width bytes (1 to 4); false, without moving, when fewer remain.
    bool read(std::size_t width, std::uint32_t& value);

    bool at_end() const { return position_ >= length_; }
    // The byte at the current position; only when not at_end().
    unsigned char peek() const { return record_[position_]; }
    // Moves on by count bytes; the position may pass the end, after which nothing is read.
    void skip(std::size_t count) { position_ += count; }

private:
    const unsigned char* record_;
    std::size_t length_;
    std::size_t position_ = 0;
};
