// The same flood read by a plain loop that writes everything to a file, as `cat` would: the
// pseudo-terminal's own ceiling on this machine under the same load. cpu_s is the reading
// thread's CPU time.
#include <benchmark/benchmark.h>

#include "flood_peer.h"

namespace vellor {
namespace {

void BM_FloodRawBaseline(benchmark::State& bench) {
    for (auto _ : bench) {
        flood::PtyPair pty;
        if (!pty.ok()) {
            bench.SkipWithError("no pseudo-terminal");
            return;
        }
        flood::ReportOrSkip(bench,
                            flood::ReadLoopIntoFile(pty.slave, pty.master, flood::TempPath("raw")));
    }
}

BENCHMARK(BM_FloodRawBaseline)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vellor
