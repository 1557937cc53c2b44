// Throughput of the screen interpreter for received data, in the three display modes.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/no_window_host.h"
#include "screen/screen.h"

namespace {

using namespace vellor;

enum Mode : int32_t { kText = 0, kHex = 1, kHexChar = 2 };

constexpr std::size_t kChunk = 4096;
constexpr std::size_t kStreamBytes = 1 << 20;

// Console text: 80-column lines of varying printable characters, each ended by CR LF.
std::vector<uint8_t> TextStream() {
    std::vector<uint8_t> bytes;
    bytes.reserve(kStreamBytes);
    uint32_t seed = 1;
    while (bytes.size() + 82 <= kStreamBytes) {
        for (int c = 0; c < 80; ++c) {
            seed = seed * 1103515245u + 12345u;
            bytes.push_back(uint8_t(0x20 + (seed >> 16) % 95));
        }
        bytes.push_back('\r');
        bytes.push_back('\n');
    }
    return bytes;
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

// A buffer of the given size seen through a typical window of 40 x 100 cells that follows the
// cursor, as it does while data streams in.
void PrepareScreen(AppState& state, Mode mode, uint16_t rows, uint16_t cols) {
    {
        std::lock_guard lock(state.screenMutex);
        state.numRows = rows;
        state.numCols = cols;
        state.visibleRows = 40;
        state.visibleCols = 100;
        state.cellWidth = 8;
        state.cellHeight = 17;
        state.displayMode = DisplayMode(mode);
    }
    NoWindowHost platform;
    if (AllocateScreen(state, platform) != 0) std::abort();
}

template <bool kPerByte>
void Feed(benchmark::State& bench, Mode mode, uint16_t rows, uint16_t cols) {
    AppState state;
    PrepareScreen(state, mode, rows, cols);
    const std::vector<uint8_t> stream = mode == kText ? TextStream() : BinaryStream();
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

void PutBytesBench(benchmark::State& bench, Mode mode, uint16_t rows, uint16_t cols) {
    Feed<false>(bench, mode, rows, cols);
}
void PutByteBench(benchmark::State& bench, Mode mode, uint16_t rows, uint16_t cols) {
    Feed<true>(bench, mode, rows, cols);
}

BENCHMARK_CAPTURE(PutBytesBench, Text_25x80, kText, 25, 80);
BENCHMARK_CAPTURE(PutBytesBench, Text_9999x200, kText, 9999, 200);
BENCHMARK_CAPTURE(PutBytesBench, Hex_25x80, kHex, 25, 80);
BENCHMARK_CAPTURE(PutBytesBench, Hex_9999x200, kHex, 9999, 200);
BENCHMARK_CAPTURE(PutBytesBench, HexChar_25x80, kHexChar, 25, 80);
BENCHMARK_CAPTURE(PutBytesBench, HexChar_9999x200, kHexChar, 9999, 200);

BENCHMARK_CAPTURE(PutByteBench, Text_25x80, kText, 25, 80);
BENCHMARK_CAPTURE(PutByteBench, Text_9999x200, kText, 9999, 200);
BENCHMARK_CAPTURE(PutByteBench, HexChar_25x80, kHexChar, 25, 80);
BENCHMARK_CAPTURE(PutByteBench, HexChar_9999x200, kHexChar, 9999, 200);

}  // namespace
