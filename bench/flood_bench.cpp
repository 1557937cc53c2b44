// A peer floods a pseudo-terminal with console text as fast as the line takes it; Vellor's whole
// receive side (device layer, receive thread, Text-mode screen, capture) takes it in. Timed from
// the first byte until the capture file holds every byte, then checked byte for byte. picocom and
// a plain read loop take the same bytes the same way (flood_picocom.cpp, flood_raw_baseline.cpp).
//
// Each flood row reports MB, MB_per_s and cpu_s: the CPU seconds of the receiving side alone
// (here Vellor's receive thread; the benchmark's own "CPU" column is only its timing thread).
// VELLOR_FLOOD_BYTES sets the amount (default 100 MB).
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>

#include "app/app_state.h"
#include "app/no_window_host.h"
#include "flood_peer.h"
#include "screen/screen.h"
#include "serial/line_defaults.h"
#include "serial/port_connection.h"

namespace vellor {
namespace {

// No window: indicator updates are dropped, a failure is remembered.
class HeadlessHost : public NoWindowHost {
  public:
    void ShowMessage(MessageOwner, const std::string& text, const std::string&,
                     const std::string&) override {
        failure = text;
    }
    std::string failure;
};

void BM_Flood(benchmark::State& bench, uint16_t rows, uint16_t cols) {
    const std::string& text = flood::FloodText();
    const std::string capture = flood::TempPath("vellor");

    for (auto _ : bench) {
        flood::PtyPair pty;
        if (!pty.ok()) {
            bench.SkipWithError("no pseudo-terminal");
            return;
        }
        AppState state;
        DefaultPortSettings(state);
        state.portName = pty.slaveName;
        {
            std::lock_guard lock(state.screenMutex);
            state.numRows = state.visibleRows = rows;
            state.numCols = state.visibleCols = cols;
            state.cellWidth = 8;
            state.cellHeight = 16;
        }
        HeadlessHost ui;
        AllocateScreen(state, ui);
        std::filesystem::remove(capture);
        state.captureFile.Open(capture);
        if (!OpenPort(state, ui)) {
            bench.SkipWithError(ui.failure.c_str());
            return;
        }

        // The process's CPU time less the peer's and this watching thread's is the receive
        // thread's: nothing else runs in the process.
        const double processBefore = flood::ProcessCpuSeconds();
        const double watcherBefore = flood::ThreadCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        flood::FloodPeer peer(pty.master, text);
        std::string why;
        const bool complete = flood::WaitForFileSize(capture, text.size(), why);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double watcher = flood::ThreadCpuSeconds() - watcherBefore;
        complete ? peer.Join() : peer.Stop();
        const double cpu = flood::ProcessCpuSeconds() - processBefore - peer.CpuSeconds() - watcher;
        ClosePort(state, ui);
        state.captureFile.Close();

        if (complete && !flood::FileHolds(capture, text, why)) why = "capture " + why;
        std::filesystem::remove(capture);
        if (!why.empty()) {
            bench.SkipWithError(why.c_str());
            return;
        }
        flood::Report(bench, seconds, cpu);
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
