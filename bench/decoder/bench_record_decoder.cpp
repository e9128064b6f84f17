// Decoding speed for schemas of 8, 32 and 128 mixed fields. The cost of a field should not
// grow with its position: time_per_field at 128 fields should stay within 1.5 times that at 8.
//
// Build and run in a separate Release tree:
//   cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTC_BENCH=ON -DTC_TESTS=OFF
//   cmake --build build/bench --target decoder_bench
//   build/bench/bench/decoder/decoder_bench

#include "record_decoder.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

// One cycle of tokens with the bytes they read: a 32-bit value, two 16-bit values, a byte and
// a padded string.
const char* const cycle_tokens[] = {"L", "S2", "C", "Z8"};
const std::vector<unsigned char> cycle_bytes = {
    0x78, 0x56, 0x34, 0x12, 0x01, 0x02, 0x03, 0x04, 0x2a, 'S', 'T', 'A', 'T', 'E', 0, 0, 0};

std::string mixed_schema(int fields)
{
    std::string types;
    std::string names;
    for (int field = 0; field < fields; ++field) {
        types += cycle_tokens[field % 4];
        names += (field > 0 ? ",field_" : "field_") + std::to_string(field);
    }
    return types + '|' + names;
}

std::vector<unsigned char> mixed_record(int fields)
{
    std::vector<unsigned char> record;
    for (int cycle = 0; cycle < (fields + 3) / 4; ++cycle) {
        record.insert(record.end(), cycle_bytes.begin(), cycle_bytes.end());
    }
    return record;
}

void decode_mixed_fields(benchmark::State& state)
{
    const int fields = static_cast<int>(state.range(0));
    const std::string schema = mixed_schema(fields);
    const std::vector<unsigned char> record = mixed_record(fields);
    std::vector<char> out(1 << 16);
    for (auto _ : state) {
        benchmark::DoNotOptimize(decode_record(schema.c_str(), record.data(), out.data(),
                                               out.size(),
                                               static_cast<std::uint16_t>(record.size())));
        benchmark::ClobberMemory();
    }
    const double records = static_cast<double>(state.iterations());
    state.counters["records_per_s"] = benchmark::Counter(records, benchmark::Counter::kIsRate);
    // The inverted rate of fields: time per field, printed with its unit (for example 60ns).
    state.counters["time_per_field"] = benchmark::Counter(
        records * fields, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

} // namespace

BENCHMARK(decode_mixed_fields)->Arg(8)->Arg(32)->Arg(128);

BENCHMARK_MAIN();
