#include "record_decoder.h"

#include "bounded_text.h"
#include "name_list.h"
#include "record_reader.h"

#include <cstring>

namespace {

const char* names_part(const char* schema)
{
    const char* bar = std::strchr(schema, '|');
    return bar == nullptr ? "" : bar + 1;
}

// Names follow the field counter taken as a signed 8-bit number: a negative index names
// nothing, and the list starts over every 256 fields.
void name_of_field(name_list& names, unsigned field, char (&out)[field_name_size])
{
    const unsigned slot = field % 256;
    if (slot == 0) {
        names.rewind();
    }
    if (slot < 128) {
        names.read_next(out);
    } else {
        out[0] = '\0';
    }
}

// A record that ends early cuts the list after the last value that fitted, "," included.
void append_numbers(char letter, std::uint16_t count, record_reader& record, bounded_text& text)
{
    const std::size_t width = type_value_width(letter);
    std::uint32_t value = 0;
    for (unsigned i = 0; i < count && record.read(width, value); ++i) {
        text.append_number(value);
        if (i + 1 < count) {
            text.append(',');
        }
    }
}

// The field is count bytes wide whatever the length of its string, so a zero byte skips the
// padding after it.
void append_string(std::uint16_t count, record_reader& record, bounded_text& text)
{
    for (unsigned i = 0; i < count && !record.at_end(); ++i) {
        const unsigned char c = record.peek();
        if (c == 0) {
            record.skip(count - i);
            return;
        }
        text.append(static_cast<char>(c));
        record.skip(1);
    }
}

void append_entry(const char* name, const char* token, record_reader& record, bounded_text& text)
{
    text.append(name);
    text.append(',');
    text.append(token);
    text.append(':');
    const std::uint16_t count = type_token_count(token);
    if (token[0] == 'Z') {
        append_string(count, record, text);
    } else {
        append_numbers(token[0], count, record, text);
    }
    text.append(';');
}

} // namespace

int decode_record(const char* schema, const unsigned char* record, char* out, std::size_t out_size,
                  std::uint16_t length)
{
    bounded_text text(out, out_size);
    record_reader reader(record, length);
    name_list names(names_part(schema));
    const char* cursor = schema;
    for (unsigned field = 0;; ++field) {
        char token[type_token_size];
        cursor = next_type_token(cursor, token);
        if (token[0] == '\0') {
            return 0;
        }
        if (cursor == nullptr) {
            return -1;
        }
        if (!text.truncated()) {
            char name[field_name_size];
            name_of_field(names, field, name);
            append_entry(name, token, reader, text);
        }
    }
}
