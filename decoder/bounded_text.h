#pragma once

#include <cstddef>
#include <cstdint>

// Text built in a caller's buffer of fixed capacity. The text stays NUL-terminated; what does
// not fit is cut at capacity - 1 bytes. A buffer of capacity 0 is never written.
class bounded_text
{
public:
    bounded_text(char* buffer, std::size_t capacity);

    void append(char c);
    void append(const char* text);
    // Appends the value in decimal.
    void append_number(std::uint32_t value);

    // True once something had to be cut.
    bool truncated() const { return truncated_; }

private:
    void append(const char* text, std::size_t size);

    char* buffer_;
    std::size_t capacity_;
    std::size_t length_ = 0;
    bool truncated_;
};
