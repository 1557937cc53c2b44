// A peer floods a pseudo-terminal with console text as fast as the line takes it; Vellor's whole
// receive side (device layer, receive thread, Text-mode screen, capture) takes it in. Timed from
// the first byte until the capture file holds every byte, then checked byte for byte.
//
// VELLOR_FLOOD_BYTES sets the amount (default 100 MB).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>

#include "app/app_state.h"
#include "app/platform.h"
#include "screen/screen.h"
#include "serial/line_defaults.h"
#include "serial/port_connection.h"
#include "serial/port_ui.h"

namespace vellor {
namespace {

class NoPlatform : public Platform {
  public:
    void ShowMessage(MessageOwner, const std::string&, const std::string&,
                     const std::string&) override {}
};

// No window: indicator updates are dropped, a failure is remembered.
class HeadlessUi : public PortUi {
  public:
    void SetTitle(const std::string&) override {}
    void SetOpenPortCheck(bool) override {}
    void SetBoxCheck(ModemBox, bool) override {}
    bool BoxChecked(ModemBox) const override { return false; }
    void ShowMessage(const std::string& text, const std::string&, const std::string&) override {
        failure = text;
    }
    void Post(std::function<void()>) override {}
    std::string failure;
};

std::size_t FloodBytes() {
    const char* env = std::getenv("VELLOR_FLOOD_BYTES");
    return env ? std::size_t(std::strtoull(env, nullptr, 10)) : std::size_t(100) << 20;
}

// 80-column lines ending in CR LF, mostly printable text with now and then an 8-bit byte.
std::string ConsoleText(std::size_t size) {
    std::mt19937 random(42);
    std::string text;
    text.reserve(size);
    static const char kWords[] = "abcdefghijklmnopqrstuvwxyz0123456789 ABCDEFGHIJ.,:;-=[]()";
    while (text.size() < size) {
        const int length = int(random() % 79);
        for (int i = 0; i < length; ++i) {
            text += random() % 97 == 0 ? char(0x80 + random() % 128)
                                       : kWords[random() % (sizeof kWords - 1)];
        }
        text += "\r\n";
    }
    text.resize(size);
    return text;
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void BM_Flood(benchmark::State& bench, uint16_t rows, uint16_t cols) {
    const std::size_t size = FloodBytes();
    const std::string text = ConsoleText(size);
    const std::filesystem::path capture =
        std::filesystem::temp_directory_path() / ("vellor-flood-" + std::to_string(getpid()));

    for (auto _ : bench) {
        int master = -1, slave = -1;
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
            bench.SkipWithError("no pseudo-terminal");
            return;
        }
        termios raw{};
        tcgetattr(master, &raw);
        cfmakeraw(&raw);
        tcsetattr(master, TCSANOW, &raw);

        AppState state;
        DefaultPortSettings(state);
        state.portName = name;
        {
            std::lock_guard lock(state.screenMutex);
            state.numRows = state.visibleRows = rows;
            state.numCols = state.visibleCols = cols;
            state.cellWidth = 8;
            state.cellHeight = 16;
        }
        NoPlatform platform;
        AllocateScreen(state, platform);
        std::filesystem::remove(capture);
        state.captureFile.Open(capture.string());
        HeadlessUi ui;
        if (!OpenPort(state, ui)) {
            bench.SkipWithError(ui.failure.c_str());
            return;
        }

        const double cpuBefore = CpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        std::thread peer([&] {
            std::size_t done = 0;
            while (done < size) {
                const ssize_t n =
                    write(master, text.data() + done, std::min<std::size_t>(size - done, 1 << 16));
                if (n > 0) done += std::size_t(n);
            }
        });
        struct stat st {};
        do {
            std::this_thread::sleep_for(std::chrono::microseconds(500));
            stat(capture.c_str(), &st);
        } while (std::size_t(st.st_size) < size);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double cpu = CpuSeconds() - cpuBefore;
        peer.join();
        ClosePort(state, ui);
        state.captureFile.Close();
        close(slave);
        close(master);

        std::ifstream in(capture, std::ios::binary);
        const std::string got{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::filesystem::remove(capture);
        if (got != text) bench.SkipWithError("capture differs from what was sent");

        bench.SetIterationTime(seconds);
        bench.counters["MB_per_s"] = double(size) / 1e6 / seconds;
        bench.counters["cpu_s"] = cpu;
        bench.counters["MB"] = double(size) / 1e6;
    }
}

BENCHMARK_CAPTURE(BM_Flood, screen_25x80, 25, 80)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Flood, screen_9999x200, 9999, 200)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// The same flood read by a plain loop that writes everything to the file, as `cat` would: the
// pseudo-terminal's own ceiling on this machine under the same load.
void BM_FloodRawBaseline(benchmark::State& bench) {
    const std::size_t size = FloodBytes();
    const std::string text = ConsoleText(size);
    for (auto _ : bench) {
        int master = -1, slave = -1;
        if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
            bench.SkipWithError("no pseudo-terminal");
            return;
        }
        termios raw{};
        for (int fd : {master, slave}) {
            tcgetattr(fd, &raw);
            cfmakeraw(&raw);
            tcsetattr(fd, TCSANOW, &raw);
        }
        const auto start = std::chrono::steady_clock::now();
        std::thread peer([&] {
            std::size_t done = 0;
            while (done < size) {
                const ssize_t n =
                    write(master, text.data() + done, std::min<std::size_t>(size - done, 1 << 16));
                if (n > 0) done += std::size_t(n);
            }
        });
        std::FILE* out = std::tmpfile();
        std::size_t got = 0;
        char buffer[1 << 16];
        while (got < size) {
            const ssize_t n = read(slave, buffer, sizeof buffer);
            if (n <= 0) break;
            std::fwrite(buffer, 1, std::size_t(n), out);
            std::fflush(out);
            got += std::size_t(n);
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        peer.join();
        std::fclose(out);
        close(slave);
        close(master);
        bench.SetIterationTime(seconds);
        bench.counters["MB_per_s"] = double(size) / 1e6 / seconds;
        bench.counters["MB"] = double(size) / 1e6;
    }
}

BENCHMARK(BM_FloodRawBaseline)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vellor
