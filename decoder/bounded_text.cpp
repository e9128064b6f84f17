#include "bounded_text.h"

#include <charconv>
#include <cstring>

bounded_text::bounded_text(char* buffer, std::size_t capacity)
    : buffer_(buffer), capacity_(capacity), truncated_(capacity == 0)
{
    if (capacity > 0) {
        buffer_[0] = '\0';
    }
}

void bounded_text::append(char c)
{
    append(&c, 1);
}

void bounded_text::append(const char* text)
{
    append(text, std::strlen(text));
}

void bounded_text::append_number(std::uint32_t value)
{
    char digits[10];
    const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    append(digits, static_cast<std::size_t>(end - digits));
}

void bounded_text::append(const char* text, std::size_t size)
{
    if (truncated_) {
        return;
    }
    const std::size_t room = capacity_ - 1 - length_;
    const std::size_t kept = size < room ? size : room;
    std::memcpy(buffer_ + length_, text, kept);
    length_ += kept;
    buffer_[length_] = '\0';
    truncated_ = kept < size;
}
