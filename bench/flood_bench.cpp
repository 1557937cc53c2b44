// A peer floods a pseudo-terminal with console text as fast as the line takes it; Vellor's whole
// receive side (device layer, receive thread, Text-mode screen, capture) takes it in. Timed from
// the first byte until the capture file holds every byte, then checked byte for byte. picocom and
// a plain read loop take the same bytes the same way (flood_picocom.cpp, flood_raw_baseline.cpp).
//
// Each flood row reports MB, MB_per_s and cpu_s: the CPU seconds of the receiving side alone
// (here Vellor's receive thread; the benchmark's own "CPU" column is only its timing thread).
// VELLOR_FLOOD_BYTES sets the amount (default 100 MB).
#include <benchmark/benchmark.h>

#include "flood_peer.h"

namespace vellor {
namespace {

void BM_Flood(benchmark::State& bench, uint16_t rows, uint16_t cols) {
    for (auto _ : bench) {
        flood::PtyPair pty;
        if (!pty.ok()) {
            bench.SkipWithError("no pseudo-terminal");
            return;
        }
        flood::ReportOrSkip(bench, flood::FloodThroughPort(pty.slaveName, pty.master, rows, cols,
                                                           flood::TempPath("vellor")));
    }
}

BENCHMARK_CAPTURE(BM_Flood, vellor_25x80, 25, 80)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Flood, vellor_9999x200, 9999, 200)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vellor
