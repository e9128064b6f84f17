#include "record_reader.h"

record_reader::record_reader(const unsigned char* record, std::size_t length)
    : record_(record), length_(length)
{
}

bool record_reader::read(std::size_t width, std::uint32_t& value)
{
    if (at_end() || length_ - position_ < width) {
        return false;
    }
    value = 0;
    for (std::size_t byte = width; byte-- > 0;) {
        value = value << 8 | record_[position_ + byte];
    }
    position_ += width;
    return true;
}
