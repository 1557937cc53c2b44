// What selecting costs: copying and searching a full buffer, and a flood scrolling under a
// selection (the same flood with nothing selected is in screen_bench).

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "screen/find.h"
#include "screen/screen.h"
#include "screen/selection.h"
#include "screen_setup.h"

namespace {

using namespace vellor;

// A rows x cols screen filled with console text.
void FillScreen(AppState& state, uint16_t rows, uint16_t cols) {
    PrepareScreen(state, DisplayMode::Text, rows, cols);
    PutBytes(state, ConsoleLines(rows));
}

void CopyAll(benchmark::State& bench, uint16_t rows, uint16_t cols) {
    AppState state;
    FillScreen(state, rows, cols);
    SelectAll(state);
    std::size_t bytes = 0;
    for (auto _ : bench) {
        const std::string text = SelectedText(state);
        bytes = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    bench.SetBytesProcessed(int64_t(bench.iterations()) * int64_t(bytes));
}

// A needle found nowhere: every row is read once.
void FindMiss(benchmark::State& bench, uint16_t rows, uint16_t cols, bool matchCase) {
    AppState state;
    FillScreen(state, rows, cols);
    const FindRequest request{"\x7e\x7e\x7e\x7e not here", FindDirection::Previous, matchCase};
    for (auto _ : bench)
        benchmark::DoNotOptimize(FindMatch(state, request));
    bench.SetItemsProcessed(int64_t(bench.iterations()) * rows * cols);
}

void FloodUnderSelection(benchmark::State& bench, uint16_t rows, uint16_t cols) {
    AppState state;
    FillScreen(state, rows, cols);
    std::vector<uint8_t> chunk(1 << 18);  // fewer lines than rows: the selection stays
    for (std::size_t i = 0; i < chunk.size(); ++i)
        chunk[i] = i % 82 == 80 ? '\r' : i % 82 == 81 ? '\n' : uint8_t(0x21 + i % 90);
    for (auto _ : bench) {
        bench.PauseTiming();
        SelectCells(state, {{uint16_t(rows - 2), 0}, {uint16_t(rows - 1), 10}});
        bench.ResumeTiming();
        PutBytes(state, chunk);
        benchmark::DoNotOptimize(TakeDamage(state));
    }
    bench.SetBytesProcessed(int64_t(bench.iterations()) * int64_t(chunk.size()));
}

BENCHMARK_CAPTURE(CopyAll, 25x80, 25, 80);
BENCHMARK_CAPTURE(CopyAll, 9999x200, 9999, 200);
BENCHMARK_CAPTURE(FindMiss, 9999x200_AnyCase, 9999, 200, false);
BENCHMARK_CAPTURE(FindMiss, 9999x200_MatchCase, 9999, 200, true);
BENCHMARK_CAPTURE(FloodUnderSelection, Text_9999x200, 9999, 200);

}  // namespace
