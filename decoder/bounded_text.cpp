#include "bounded_text.h"

#include <charconv>

bounded_text::bounded_text(char* buffer, std::size_t capacity)
    : buffer_(buffer), capacity_(capacity), truncated_(capacity == 0)
{
    if (capacity > 0) {
        buffer_[0] = '\0';
    }
}

void bounded_text::append(char c)
{
    if (truncated_ || length_ + 1 >= capacity_) {
        truncated_ = true;
        return;
    }
    buffer_[length_++] = c;
    buffer_[length_] = '\0';
}

void bounded_text::append(const char* text)
{
    for (; *text != '\0'; ++text) {
        append(*text);
    }
}

void bounded_text::append_number(std::uint32_t value)
{
    char digits[10];
    const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    for (const char* digit = digits; digit != end; ++digit) {
        append(*digit);
    }
}
