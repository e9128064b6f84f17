// Feeds arbitrary schemas and records to the decoder. Input: one byte choosing the small
// buffer size and a field index, the schema up to the first zero byte, then the record.
// Every run decodes into a small and a large buffer, each followed by a guard region.

#include "record_decoder.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::size_t guard_size = 64;
constexpr char guard_byte = '\xa5';
constexpr std::size_t large_size = 1 << 15;

void require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

struct decoding
{
    std::vector<char> out;
    int result;
};

decoding decode_guarded(const std::string& schema, const std::vector<unsigned char>& record,
                        std::size_t out_size)
{
    decoding got{std::vector<char>(out_size + guard_size, guard_byte), 0};
    got.result = decode_record(schema.c_str(), record.data(), got.out.data(), out_size,
                               static_cast<std::uint16_t>(record.size()));
    require(got.result == 0 || got.result == -1);
    require(std::all_of(got.out.begin() + out_size, got.out.end(),
                        [](char c) { return c == guard_byte; }));
    require(out_size == 0 || std::memchr(got.out.data(), 0, out_size) != nullptr);
    return got;
}

// A cut text is the start of the whole text, as long as the buffer allows.
void require_prefix(const decoding& small, std::size_t small_size, const decoding& large)
{
    if (small_size == 0) {
        return;
    }
    const std::size_t kept = std::strlen(small.out.data());
    require(kept == std::min(std::strlen(large.out.data()), small_size - 1));
    require(std::memcmp(small.out.data(), large.out.data(), kept) == 0);
}

void check_get_field(const std::string& text, std::uint8_t choice)
{
    char field[field_name_size];
    std::memset(field, 'x', sizeof field);
    const int result =
        get_field(text.c_str(), choice & 0x80 ? '"' : ',', static_cast<std::int8_t>(choice), field);
    require(result == 0 || result == -1);
    require(std::memchr(field, 0, sizeof field) != nullptr);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const std::size_t small_size = data[0] % 64;
    const std::uint8_t* rest = data + 1;
    const std::uint8_t* rest_end = data + size;
    const std::uint8_t* schema_end = std::find(rest, rest_end, 0);
    const std::string schema(rest, schema_end);
    const std::uint8_t* record_start = schema_end == rest_end ? rest_end : schema_end + 1;
    const std::vector<unsigned char> record(
        record_start, record_start + std::min<std::size_t>(rest_end - record_start, 65535));

    const decoding small = decode_guarded(schema, record, small_size);
    const decoding large = decode_guarded(schema, record, large_size);
    require(small.result == large.result);
    require_prefix(small, small_size, large);
    check_get_field(schema, data[0]);
    return 0;
}
