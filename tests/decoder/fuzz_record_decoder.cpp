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

void require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

// The decoded text, checked for its result, its guard and its terminator.
std::vector<char> decode_guarded(const std::string& schema,
                                 const std::vector<unsigned char>& record, std::size_t out_size,
                                 int& result)
{
    std::vector<char> out(out_size + guard_size, guard_byte);
    result = decode_record(schema.c_str(), record.data(), out.data(), out_size,
                           static_cast<std::uint16_t>(record.size()));
    require(result == 0 || result == -1);
    require(std::all_of(out.begin() + out_size, out.end(), [](char c) { return c == guard_byte; }));
    require(out_size == 0 || std::memchr(out.data(), 0, out_size) != nullptr);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const std::size_t small_size = data[0] % 64;
    const std::uint8_t* end = data + size;
    const std::uint8_t* schema_end = std::find(data + 1, end, 0);
    const std::string schema(data + 1, schema_end);
    const std::uint8_t* record_start = schema_end == end ? end : schema_end + 1;
    const std::vector<unsigned char> record(
        record_start, record_start + std::min<std::size_t>(end - record_start, 65535));

    int small_result = 0;
    int large_result = 0;
    const std::vector<char> small = decode_guarded(schema, record, small_size, small_result);
    const std::vector<char> large = decode_guarded(schema, record, 1 << 15, large_result);
    require(small_result == large_result);
    // A cut text is the start of the whole text, as long as the buffer allows.
    if (small_size > 0) {
        const std::size_t kept = std::strlen(small.data());
        require(kept == std::min(std::strlen(large.data()), small_size - 1));
        require(std::memcmp(small.data(), large.data(), kept) == 0);
    }

    char field[field_name_size];
    std::memset(field, 'x', sizeof field);
    const int result =
        get_field(schema.c_str(), data[0] & 0x80 ? '"' : ',', std::int8_t(data[0]), field);
    require((result == 0 || result == -1) && std::memchr(field, 0, sizeof field) != nullptr);
    return 0;
}
