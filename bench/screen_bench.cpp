// Throughput of the screen interpreter for received data, in the three display modes.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "screen/screen.h"
#include "screen_setup.h"

namespace {

using namespace vellor;

constexpr std::size_t kChunk = 4096;
constexpr std::size_t kStreamBytes = 1 << 20;

// Console text filling the stream.
std::vector<uint8_t> TextStream() {
    return ConsoleLines(kStreamBytes / 82);
}

// Every byte value, in a scrambled order.
std::vector<uint8_t> BinaryStream() {
    std::vector<uint8_t> bytes(kStreamBytes);
    uint32_t seed = 7;
    for (uint8_t& b : bytes) {
        seed = seed * 1103515245u + 12345u;
        b = uint8_t(seed >> 16);
    }
    return bytes;
}

template <bool kPerByte>
void Feed(benchmark::State& bench, DisplayMode mode, uint16_t rows, uint16_t cols) {
    AppState state;
    PrepareScreen(state, mode, rows, cols);
    const std::vector<uint8_t> stream = mode == DisplayMode::Text ? TextStream() : BinaryStream();
    for (auto _ : bench) {
        if constexpr (kPerByte) {
            for (uint8_t b : stream)
                PutByte(state, b);
        } else {
            for (std::size_t at = 0; at < stream.size(); at += kChunk) {
                PutBytes(state,
                         std::span(stream).subspan(at, std::min(kChunk, stream.size() - at)));
            }
        }
        // The view takes the damage now and then; it never grows without bound meanwhile.
        benchmark::DoNotOptimize(TakeDamage(state));
    }
    bench.SetBytesProcessed(int64_t(bench.iterations()) * int64_t(stream.size()));
}

void PutBytesBench(benchmark::State& bench, DisplayMode mode, uint16_t rows, uint16_t cols) {
    Feed<false>(bench, mode, rows, cols);
}
void PutByteBench(benchmark::State& bench, DisplayMode mode, uint16_t rows, uint16_t cols) {
    Feed<true>(bench, mode, rows, cols);
}

BENCHMARK_CAPTURE(PutBytesBench, Text_25x80, DisplayMode::Text, 25, 80);
BENCHMARK_CAPTURE(PutBytesBench, Text_9999x200, DisplayMode::Text, 9999, 200);
BENCHMARK_CAPTURE(PutBytesBench, Hex_25x80, DisplayMode::Hex, 25, 80);
BENCHMARK_CAPTURE(PutBytesBench, Hex_9999x200, DisplayMode::Hex, 9999, 200);
BENCHMARK_CAPTURE(PutBytesBench, HexChar_25x80, DisplayMode::HexChar, 25, 80);
BENCHMARK_CAPTURE(PutBytesBench, HexChar_9999x200, DisplayMode::HexChar, 9999, 200);

BENCHMARK_CAPTURE(PutByteBench, Text_25x80, DisplayMode::Text, 25, 80);
BENCHMARK_CAPTURE(PutByteBench, Text_9999x200, DisplayMode::Text, 9999, 200);
BENCHMARK_CAPTURE(PutByteBench, HexChar_25x80, DisplayMode::HexChar, 25, 80);
BENCHMARK_CAPTURE(PutByteBench, HexChar_9999x200, DisplayMode::HexChar, 9999, 200);

}  // namespace
