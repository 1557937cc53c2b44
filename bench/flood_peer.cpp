#include "flood_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <vector>

#include "app/app_state.h"
#include "app/no_window_host.h"
#include "screen/screen.h"
#include "serial/line_defaults.h"
#include "serial/port_connection.h"

namespace vellor::flood {
namespace {

// A receiver that takes nothing for this long has lost the flood.
constexpr auto kStallLimit = std::chrono::seconds(10);

double ClockSeconds(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

std::string MakeConsoleText(std::size_t size) {
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

}  // namespace

std::size_t FloodBytes() {
    const char* env = std::getenv("VELLOR_FLOOD_BYTES");
    const std::size_t size = env ? std::size_t(std::strtoull(env, nullptr, 10)) : 0;
    return size > 0 ? size : std::size_t(100) << 20;
}

const std::string& FloodText() {
    static const std::string text = MakeConsoleText(FloodBytes());
    return text;
}

PtyPair::PtyPair(bool raw) {
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        master = slave = -1;
        return;
    }
    slaveName = name;
    for (int fd : {master, slave}) {
        fcntl(fd, F_SETFD, FD_CLOEXEC);
        if (!raw) continue;
        termios mode{};
        tcgetattr(fd, &mode);
        cfmakeraw(&mode);
        tcsetattr(fd, TCSANOW, &mode);
    }
}

PtyPair::~PtyPair() {
    if (slave >= 0) close(slave);
    if (master >= 0) close(master);
}

FloodPeer::FloodPeer(int master, const std::string& text)
    : thread_([this, master, &text] {
          // Non-blocking with a short poll, so a receiver that stopped reading cannot hold the
          // peer (and the whole run) forever.
          fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
          std::size_t done = 0;
          while (done < text.size() && !stop_) {
              pollfd pfd{master, POLLOUT, 0};
              if (poll(&pfd, 1, 100) <= 0) continue;
              const ssize_t n = write(master, text.data() + done,
                                      std::min<std::size_t>(text.size() - done, 1 << 16));
              if (n > 0) done += std::size_t(n);
          }
          cpu_ = ClockSeconds(CLOCK_THREAD_CPUTIME_ID);
      }) {}

FloodPeer::~FloodPeer() {
    Stop();
}

void FloodPeer::Stop() {
    stop_ = true;
    Join();
}

void FloodPeer::Join() {
    if (thread_.joinable()) thread_.join();
}

bool WaitForFileSize(const std::string& path, std::size_t size, std::string& why, pid_t receiver) {
    using Clock = std::chrono::steady_clock;
    std::size_t last = 0;
    auto lastGrowth = Clock::now();
    for (;;) {
        struct stat st {};
        const std::size_t now = stat(path.c_str(), &st) == 0 ? std::size_t(st.st_size) : 0;
        if (now >= size) return true;
        if (now != last) {
            last = now;
            lastGrowth = Clock::now();
        } else if (Clock::now() - lastGrowth > kStallLimit) {
            why = "receiver stalled at " + std::to_string(now) + " of " + std::to_string(size) +
                  " bytes";
            return false;
        }
        if (receiver > 0) {
            // WNOWAIT leaves an ended child for the caller to reap with its resource usage.
            siginfo_t info{};
            if (waitid(P_PID, id_t(receiver), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
                info.si_pid == receiver) {
                why = "receiver ended at " + std::to_string(now) + " of " + std::to_string(size) +
                      " bytes";
                return false;
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
}

bool FileHolds(const std::string& path, const std::string& text, std::string& why) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        why = "cannot read " + path;
        return false;
    }
    std::vector<char> chunk(1 << 20);
    std::size_t offset = 0;
    while (in) {
        in.read(chunk.data(), std::streamsize(chunk.size()));
        const std::size_t got = std::size_t(in.gcount());
        if (got == 0) break;
        if (got > text.size() - offset) {
            why = "holds more than was sent";
            return false;
        }
        const auto end = chunk.begin() + std::ptrdiff_t(got);
        const auto mismatch =
            std::mismatch(chunk.begin(), end, text.begin() + std::ptrdiff_t(offset));
        if (mismatch.first != end) {
            why = "differs from what was sent at byte " +
                  std::to_string(offset + std::size_t(mismatch.first - chunk.begin()));
            return false;
        }
        offset += got;
    }
    if (offset != text.size()) {
        why = "holds " + std::to_string(offset) + " of " + std::to_string(text.size()) + " bytes";
        return false;
    }
    return true;
}

double ProcessCpuSeconds() {
    return ClockSeconds(CLOCK_PROCESS_CPUTIME_ID);
}

double ThreadCpuSeconds() {
    return ClockSeconds(CLOCK_THREAD_CPUTIME_ID);
}

std::string TempPath(const std::string& tag) {
    return (std::filesystem::temp_directory_path() /
            ("vellor-flood-" + tag + "-" + std::to_string(getpid())))
        .string();
}

namespace {

// No window: indicator updates are dropped, a failure is remembered.
class HeadlessHost : public NoWindowHost {
  public:
    void ShowMessage(MessageOwner, const std::string& text, const std::string&,
                     const std::string& detail) override {
        failure = text + ": " + detail;
    }
    std::string failure;
};

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

FloodRun FloodThroughPort(const std::string& portName, int master, uint16_t rows, uint16_t cols,
                          const std::string& capture) {
    const std::string& text = FloodText();
    FloodRun run;
    AppState state;
    DefaultPortSettings(state);
    state.portName = portName;
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
        run.why = ui.failure;
        return run;
    }
    const double processBefore = ProcessCpuSeconds();
    const double watcherBefore = ThreadCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    FloodPeer peer(master, text);
    const bool complete = WaitForFileSize(capture, text.size(), run.why);
    run.seconds = SecondsSince(start);
    const double watcher = ThreadCpuSeconds() - watcherBefore;
    complete ? peer.Join() : peer.Stop();
    run.cpuSeconds = ProcessCpuSeconds() - processBefore - peer.CpuSeconds() - watcher;
    ClosePort(state, ui);
    state.captureFile.Close();
    if (complete && !FileHolds(capture, text, run.why)) run.why = "capture " + run.why;
    std::filesystem::remove(capture);
    return run;
}

FloodRun ReadLoopIntoFile(int fd, int master, const std::string& output) {
    const std::string& text = FloodText();
    FloodRun run;
    std::FILE* out = std::fopen(output.c_str(), "wb");
    if (out == nullptr) {
        run.why = "cannot write " + output;
        return run;
    }
    const double cpuBefore = ThreadCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    FloodPeer peer(master, text);
    std::size_t got = 0;
    static char buffer[1 << 16];
    while (got < text.size()) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        std::fwrite(buffer, 1, std::size_t(n), out);
        std::fflush(out);
        got += std::size_t(n);
    }
    run.seconds = SecondsSince(start);
    run.cpuSeconds = ThreadCpuSeconds() - cpuBefore;
    got == text.size() ? peer.Join() : peer.Stop();
    std::fclose(out);
    if (!FileHolds(output, text, run.why)) run.why = "output " + run.why;
    std::filesystem::remove(output);
    return run;
}

void ReportOrSkip(benchmark::State& bench, const FloodRun& run) {
    if (run.why.empty()) {
        Report(bench, run.seconds, run.cpuSeconds);
    } else {
        bench.SkipWithError(run.why.c_str());
    }
}

void Report(benchmark::State& bench, double seconds, double cpuSeconds) {
    const double megabytes = double(FloodText().size()) / 1e6;
    bench.SetIterationTime(seconds);
    bench.counters["MB"] = megabytes;
    bench.counters["MB_per_s"] = megabytes / seconds;
    bench.counters["cpu_s"] = cpuSeconds;
}

}  // namespace vellor::flood
