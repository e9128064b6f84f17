#pragma once

#include <cstddef>
#include <cstdint>

// Fields of a separator-delimited list such as the names part of a record schema. A double
// quote opens and closes a quoted stretch: quotes are dropped, and separators inside a stretch
// belong to the field.

// Room for the longest field kept (63 characters) and its terminator; longer fields are cut.
constexpr std::size_t field_name_size = 64;

// Writes field number index (from 0) into out. A negative index, or one past the last field,
// gives an empty field. Returns -1 when a positive index is asked of a text that is empty or
// holds no separator at all, 0 otherwise.
int get_field(const char* text, char separator, std::int8_t index, char (&out)[field_name_size]);

// Copies the field that starts at start into out and returns the character that ended it: a
// separator outside a quoted stretch, or the terminator of the text.
const char* copy_field(const char* start, char separator, char (&out)[field_name_size]);
