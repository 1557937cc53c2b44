// The same flood read by a plain loop that writes everything to a file, as `cat` would: the
// pseudo-terminal's own ceiling on this machine under the same load. cpu_s is the reading
// thread's CPU time.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "flood_peer.h"

namespace vellor {
namespace {

void BM_FloodRawBaseline(benchmark::State& bench) {
    const std::string& text = flood::FloodText();
    const std::string output = flood::TempPath("raw");
    for (auto _ : bench) {
        flood::PtyPair pty;
        std::FILE* out = std::fopen(output.c_str(), "wb");
        if (!pty.ok() || out == nullptr) {
            if (out != nullptr) std::fclose(out);
            bench.SkipWithError("no pseudo-terminal or no file");
            return;
        }
        const double cpuBefore = flood::ThreadCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        flood::FloodPeer peer(pty.master, text);
        std::size_t got = 0;
        static char buffer[1 << 16];
        while (got < text.size()) {
            const ssize_t n = read(pty.slave, buffer, sizeof buffer);
            if (n <= 0) break;
            std::fwrite(buffer, 1, std::size_t(n), out);
            std::fflush(out);
            got += std::size_t(n);
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double cpu = flood::ThreadCpuSeconds() - cpuBefore;
        got == text.size() ? peer.Join() : peer.Stop();
        std::fclose(out);

        std::string why;
        const bool same = flood::FileHolds(output, text, why);
        std::filesystem::remove(output);
        if (!same) {
            why = "output " + why;
            bench.SkipWithError(why.c_str());
            return;
        }
        flood::Report(bench, seconds, cpu);
    }
}

BENCHMARK(BM_FloodRawBaseline)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vellor
