#include "line_assembler.h"

namespace {

constexpr char cr = '\r';
constexpr char lf = '\n';

} // namespace

line_assembler::result line_assembler::take(char byte)
{
    if (complete_) {
        line_.clear();
        length_ = 0;
        complete_ = false;
    }
    if (byte == lf) {
        return result::incomplete;
    }
    if (byte == cr) {
        complete_ = true;
        if (length_ > max_line_bytes) {
            dropped_ = length_;
            line_.clear();
            return result::too_long;
        }
        return result::line;
    }
    ++length_;
    if (length_ <= max_line_bytes) {
        line_.append(byte);
    }
    return result::incomplete;
}
