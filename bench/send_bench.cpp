// Sending into a pseudo-terminal whose far end drains it. Throughput: Vellor's unpaced Send from
// File against `cat FILE` writing into the same kind of line, alternately in one run; each row
// reports both rates (the median of several rounds) and Vellor's as a share of cat's. Pacing: a
// paced send with a character delay (and a line delay) as the far end sees it: how far the gaps
// between arriving bytes stray from the ones asked for.
//
// VELLOR_SEND_BYTES sets the file's size for the throughput row (default 16 MB).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/app_state.h"
#include "app/no_window_host.h"
#include "flood_peer.h"
#include "serial/line_defaults.h"
#include "serial/port_connection.h"
#include "transfer/send_command.h"

extern char** environ;

namespace vellor {
namespace {

using Clock = std::chrono::steady_clock;

// No window: the chooser answers with the bench's file, a failure is remembered.
class BenchHost : public NoWindowHost {
  public:
    explicit BenchHost(std::string path) : path_(std::move(path)) {}
    std::optional<std::string> ChooseFile(const FileRequest&) override { return path_; }
    void ShowMessage(MessageOwner, const std::string& text, const std::string&,
                     const std::string& detail) override {
        failure = text + ": " + detail;
    }
    std::string failure;

  private:
    std::string path_;
};

std::size_t SendBytes() {
    const char* env = std::getenv("VELLOR_SEND_BYTES");
    const std::size_t size = env ? std::size_t(std::strtoull(env, nullptr, 10)) : 0;
    return size > 0 ? size : std::size_t(16) << 20;
}

// Lines of printable text ending in CR LF.
std::string MakeText(std::size_t size) {
    std::mt19937 random(7);
    std::string text;
    text.reserve(size);
    while (text.size() < size) {
        const int length = int(random() % 79);
        for (int i = 0; i < length; ++i)
            text += char(' ' + random() % 95);
        text += "\r\n";
    }
    text.resize(size);
    return text;
}

// Reads the master until `expected` has come whole (false with the reason when it differs or
// stalls), noting when each read returned and how much it brought.
struct Arrival {
    Clock::time_point at;
    std::size_t bytes;
};
bool Drain(int master, const std::string& expected, std::vector<Arrival>* arrivals,
           std::string& why) {
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) & ~O_NONBLOCK);
    std::vector<char> buffer(1 << 16);
    std::size_t got = 0;
    while (got < expected.size()) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 10'000) <= 0) {
            why = "stalled at " + std::to_string(got) + " of " + std::to_string(expected.size());
            return false;
        }
        const ssize_t n = read(master, buffer.data(), buffer.size());
        if (n <= 0) continue;
        if (arrivals) arrivals->push_back({Clock::now(), std::size_t(n)});
        if (got + std::size_t(n) > expected.size() ||
            std::memcmp(buffer.data(), expected.data() + got, std::size_t(n)) != 0) {
            why = "differs from what was sent near byte " + std::to_string(got);
            return false;
        }
        got += std::size_t(n);
    }
    return true;
}

// One Vellor send of `path` (holding `text`) into a fresh line; seconds until the far end has it.
double VellorSend(const std::string& path, const std::string& text, const SendPacing& pacing,
                  std::vector<Arrival>* arrivals, std::string& why) {
    flood::PtyPair pty;
    if (!pty.ok()) {
        why = "no pseudo-terminal";
        return 0;
    }
    AppState state;
    DefaultPortSettings(state);
    state.portName = pty.slaveName;
    state.preferences.pacing = pacing;
    BenchHost host(path);
    if (!OpenPort(state, host)) {
        why = host.failure;
        return 0;
    }
    const auto start = Clock::now();
    ToggleSend(state, host);
    const bool whole = Drain(pty.master, text, arrivals, why);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    StopSendingAtShutdown(state);
    ClosePort(state, host);
    if (!host.failure.empty()) why = host.failure;
    return whole && why.empty() ? seconds : 0;
}

// `cat path` writing into a fresh line of the same kind.
double CatSend(const std::string& path, const std::string& text, std::string& why) {
    flood::PtyPair pty;
    if (!pty.ok()) {
        why = "no pseudo-terminal";
        return 0;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, pty.slaveName.c_str(), O_WRONLY | O_NOCTTY, 0);
    const std::string cat = "cat";
    char* argv[] = {const_cast<char*>(cat.c_str()), const_cast<char*>(path.c_str()), nullptr};
    pid_t pid = 0;
    const auto start = Clock::now();
    const int failed = posix_spawnp(&pid, "cat", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        why = "cannot run cat";
        return 0;
    }
    const bool whole = Drain(pty.master, text, nullptr, why);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    int status = 0;
    waitpid(pid, &status, 0);
    return whole ? seconds : 0;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void BM_SendThroughput(benchmark::State& bench) {
    const std::string text = MakeText(SendBytes());
    const std::string path = flood::TempPath("send");
    std::ofstream(path, std::ios::binary) << text;
    constexpr int kRounds = 5;
    for (auto _ : bench) {
        std::vector<double> vellor, cat;
        std::string why;
        for (int round = 0; round < kRounds && why.empty(); ++round) {
            cat.push_back(CatSend(path, text, why));
            if (why.empty()) vellor.push_back(VellorSend(path, text, SendPacing{}, nullptr, why));
        }
        if (!why.empty()) {
            std::filesystem::remove(path);
            bench.SkipWithError(why.c_str());
            return;
        }
        const double megabytes = double(text.size()) / 1e6;
        bench.SetIterationTime(Median(vellor));
        bench.counters["MB"] = megabytes;
        bench.counters["vellor_MB_per_s"] = megabytes / Median(vellor);
        bench.counters["cat_MB_per_s"] = megabytes / Median(cat);
        bench.counters["vellor_over_cat"] = Median(cat) / Median(vellor);
    }
    std::filesystem::remove(path);
}

// Gaps between arriving bytes against the pauses asked for: mean (signed), mean absolute and
// largest absolute error, in microseconds. Bytes that came in one read count as one arrival
// (their gaps are 0), so a late reader shows as error too.
void BM_PacingAccuracy(benchmark::State& bench, uint32_t charMs, uint32_t lineMs) {
    std::string text;
    for (int line = 10; line < 30; ++line)
        text += "paced line " + std::to_string(line) + " of twenty....\r\n";
    const std::string path = flood::TempPath("paced");
    std::ofstream(path, std::ios::binary) << text;
    const SendPacing pacing{charMs, lineMs, false, 0};
    for (auto _ : bench) {
        std::vector<Arrival> arrivals;
        std::string why;
        const double seconds = VellorSend(path, text, pacing, &arrivals, why);
        if (!why.empty()) {
            std::filesystem::remove(path);
            bench.SkipWithError(why.c_str());
            return;
        }
        // The time of each byte: its read's.
        std::vector<Clock::time_point> times;
        for (const Arrival& a : arrivals)
            times.insert(times.end(), a.bytes, a.at);
        double sum = 0, sumAbs = 0, worst = 0;
        for (std::size_t i = 1; i < text.size(); ++i) {
            const double asked =
                double(PauseBetween(uint8_t(text[i - 1]), uint8_t(text[i]), pacing).delay.count()) *
                1000;
            const double gap =
                std::chrono::duration<double, std::micro>(times[i] - times[i - 1]).count();
            sum += gap - asked;
            sumAbs += std::abs(gap - asked);
            worst = std::max(worst, std::abs(gap - asked));
        }
        const double gaps = double(text.size() - 1);
        bench.SetIterationTime(seconds);
        bench.counters["bytes"] = double(text.size());
        bench.counters["mean_err_us"] = sum / gaps;
        bench.counters["mean_abs_err_us"] = sumAbs / gaps;
        bench.counters["max_abs_err_us"] = worst;
    }
    std::filesystem::remove(path);
}

BENCHMARK(BM_SendThroughput)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PacingAccuracy, char_1ms, 1, 0)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PacingAccuracy, char_1ms_line_5ms, 1, 5)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vellor
