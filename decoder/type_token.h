#pragma once

#include <cstddef>
#include <cstdint>

// Type tokens of a record schema: one of the letters L, S, C, Z and an optional decimal count,
// written one after another up to the first "|" or the end of the schema.

// Room for the longest token accepted (15 characters) and its terminator.
constexpr std::size_t type_token_size = 16;

// Reads the token that starts at cursor into token and returns where the next one starts.
// The token is empty when the types part is used up. Returns nullptr when the token is
// malformed: digits before any letter (token then empty), a character that is neither a
// letter nor a digit after the letter, or more than 15 characters.
const char* next_type_token(const char* cursor, char (&token)[type_token_size]);

// The count written after the letter, 1 when there is none. Kept modulo 65536, the width of
// the count in the record format.
std::uint16_t type_token_count(const char* token);

// Bytes of one value of the type letter: 4 for L, 2 for S, 1 for C (and for each byte of Z).
std::size_t type_value_width(char letter);
