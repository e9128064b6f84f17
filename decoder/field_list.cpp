#include "field_list.h"

namespace {

constexpr char quote = '"';

// Follows the quoted stretches of a list character by character.
class field_scanner
{
public:
    explicit field_scanner(char separator) : separator_(separator) {}

    // True when c ends a field. A closing quote ends one only when the quote is the separator.
    bool ends_field(char c)
    {
        if (c == quote) {
            quoted_ = !quoted_;
            return !quoted_ && separator_ == quote;
        }
        return c == separator_ && !quoted_;
    }

private:
    char separator_;
    bool quoted_ = false;
};

// The character after separator number count, or nullptr when the text ends first; a negative
// count is never reached. found_any tells whether the text held a separator at all.
const char* after_separators(const char* text, char separator, int count, bool& found_any)
{
    field_scanner scanner(separator);
    int seen = 0;
    found_any = false;
    for (const char* at = text; *at != '\0'; ++at) {
        if (scanner.ends_field(*at)) {
            found_any = true;
            if (++seen == count) {
                return at + 1;
            }
        }
    }
    return nullptr;
}

} // namespace

const char* copy_field(const char* start, char separator, char (&out)[field_name_size])
{
    field_scanner scanner(separator);
    std::size_t length = 0;
    const char* at = start;
    for (; *at != '\0' && !scanner.ends_field(*at); ++at) {
        if (*at != quote && length < field_name_size - 1) {
            out[length++] = *at;
        }
    }
    out[length] = '\0';
    return at;
}

int get_field(const char* text, char separator, std::int8_t index, char (&out)[field_name_size])
{
    out[0] = '\0';
    if (*text == '\0') {
        return index > 0 ? -1 : 0;
    }
    const char* start = text;
    if (index != 0) {
        bool found_any = false;
        start = after_separators(text, separator, index, found_any);
        if (start == nullptr) {
            return !found_any && index > 0 ? -1 : 0;
        }
    }
    // A quote as separator would otherwise open a stretch here.
    if (*start != separator) {
        copy_field(start, separator, out);
    }
    return 0;
}
