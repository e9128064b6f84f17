#pragma once

#include "field_list.h"
#include "type_token.h"

#include <cstddef>
#include <cstdint>

// Decoding of the packed binary records that the tracker sends, following a schema text:
// type tokens, then optionally "|" and a comma-separated list of field names, one per token.
// Every token gives one entry  name "," token ":" values ";"  where numbers (L: 32-bit,
// S: 16-bit, C: 8-bit) are printed in decimal and separated by "," and a Z field is printed as
// its characters up to the first zero byte.
//
// Only fields 0 to 127 can be named: the name index is a signed 8-bit number, so fields 128
// to 255 get empty names and field 256 takes name 0 again.

// Decodes the length bytes at record into out, a buffer of out_size bytes, and returns 0 when
// the schema's types part was used up, -1 when one of its tokens is malformed (see
// next_type_token). The text decoded up to that point stays in out.
//
// The text is cut at out_size - 1 bytes and always NUL-terminated; nothing more is decoded
// after a cut, so a cut text lacks the ";" of its last entry or whole entries. With out_size 0
// nothing is written and out may be null. The result depends on the schema alone: the types
// part is still checked to its end after a cut, so small buffers report the same result as
// large ones. record may be null when length is 0.
int decode_record(const char* schema, const unsigned char* record, char* out, std::size_t out_size,
                  std::uint16_t length);
