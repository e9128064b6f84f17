#include "type_token.h"

namespace {

bool is_type_letter(char c)
{
    return c == 'L' || c == 'S' || c == 'C' || c == 'Z';
}

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

const char* next_type_token(const char* cursor, char (&token)[type_token_size])
{
    std::size_t length = 0;
    token[0] = '\0';
    for (const char* at = cursor;; ++at) {
        const char c = *at;
        if (c == '\0' || c == '|' || (is_type_letter(c) && length > 0)) {
            return at;
        }
        if (!is_type_letter(c) && !(is_digit(c) && length > 0)) {
            return nullptr;
        }
        if (length == type_token_size - 1) {
            return nullptr;
        }
        token[length++] = c;
        token[length] = '\0';
    }
}

std::uint16_t type_token_count(const char* token)
{
    if (token[0] == '\0' || token[1] == '\0') {
        return 1;
    }
    std::uint16_t count = 0;
    for (const char* digit = token + 1; *digit != '\0'; ++digit) {
        count = static_cast<std::uint16_t>(count * 10 + (*digit - '0'));
    }
    return count;
}

std::size_t type_value_width(char letter)
{
    switch (letter) {
    case 'L':
        return 4;
    case 'S':
        return 2;
    default:
        return 1;
    }
}
