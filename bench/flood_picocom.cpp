// The same flood taken by picocom, a mainstream serial terminal, with its log file: picocom runs
// on the pseudo-terminal at 115200 (the rate means nothing to a pseudo-terminal) inside a second
// pseudo-terminal that stands for the user's terminal window and is read as fast as picocom
// writes to it. Timed from the first byte until the log holds every byte, then checked byte for
// byte; cpu_s is the picocom process's own CPU time over the flood.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "flood_peer.h"

extern char** environ;

namespace vellor {
namespace {

using Clock = std::chrono::steady_clock;

std::string FindInPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

// User plus system CPU seconds a running process has used so far.
double ChildCpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    // The command name may hold spaces: the fields counted below start after its ")".
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int index = 3; index <= 15 && fields >> field; ++index) {
        if (index == 14 || index == 15)
            ticks += std::strtod(field.c_str(), nullptr);  // utime, stime
    }
    return ticks / double(sysconf(_SC_CLK_TCK));
}

double Seconds(const timeval& t) {
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

bool HasEnded(pid_t pid) {
    siginfo_t info{};
    return waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid;
}

// picocom sets its terminal raw once the port is open and set up: only then may the flood start,
// or the set-up could discard what already arrived.
bool WaitUntilReady(int terminalMaster, pid_t pid) {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline && !HasEnded(pid)) {
        termios mode{};
        if (tcgetattr(terminalMaster, &mode) == 0 && (mode.c_lflag & ICANON) == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

// Ends picocom as a user would close its window, then collects its CPU time over its whole life.
double StopAndReap(pid_t pid) {
    kill(pid, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::seconds(3);
    while (!HasEnded(pid) && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!HasEnded(pid)) kill(pid, SIGKILL);
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

// Reads the terminal side as fast as picocom writes it and throws it away, as a terminal window
// would show it.
class TerminalReader {
  public:
    explicit TerminalReader(int master)
        : thread_([this, master] {
              std::vector<char> buffer(1 << 16);
              while (!stop_) {
                  pollfd pfd{master, POLLIN, 0};
                  if (poll(&pfd, 1, 100) <= 0) continue;
                  if (read(master, buffer.data(), buffer.size()) <= 0 && errno != EAGAIN) {
                      std::this_thread::sleep_for(std::chrono::milliseconds(10));
                  }
              }
          }) {}
    ~TerminalReader() {
        stop_ = true;
        thread_.join();
    }
    TerminalReader(const TerminalReader&) = delete;
    TerminalReader& operator=(const TerminalReader&) = delete;

  private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

void BM_FloodPicocom(benchmark::State& bench) {
    const std::string picocom = FindInPath("picocom");
    if (picocom.empty()) {
        bench.SkipWithError("picocom is not installed (apt-get install picocom): row skipped");
        return;
    }
    const std::string& text = flood::FloodText();
    const std::string log = flood::TempPath("picocom");

    for (auto _ : bench) {
        flood::PtyPair line;
        flood::PtyPair terminal(/*raw=*/false);
        if (!line.ok() || !terminal.ok()) {
            bench.SkipWithError("no pseudo-terminal");
            return;
        }
        std::filesystem::remove(log);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        for (int fd : {0, 1, 2})
            posix_spawn_file_actions_adddup2(&actions, terminal.slave, fd);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
        std::vector<std::string> args = {picocom,  "--quiet",   "--nolock", "--noreset",   "--baud",
                                         "115200", "--logfile", log,        line.slaveName};
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        pid_t pid = -1;
        const int spawned =
            posix_spawn(&pid, picocom.c_str(), &actions, &attributes, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        if (spawned != 0) {
            bench.SkipWithError("picocom could not be started");
            return;
        }

        std::string why;
        double seconds = 0;
        double cpu = 0;
        {
            TerminalReader reader(terminal.master);
            if (!WaitUntilReady(terminal.master, pid)) {
                why = "picocom did not open the port";
            } else {
                const double cpuBefore = ChildCpuSeconds(pid);
                const auto start = Clock::now();
                flood::FloodPeer peer(line.master, text);
                const bool complete = flood::WaitForFileSize(log, text.size(), why, pid);
                seconds = std::chrono::duration<double>(Clock::now() - start).count();
                complete ? peer.Join() : peer.Stop();
                cpu = -cpuBefore;
            }
            cpu += StopAndReap(pid);
        }
        if (why.empty() && !flood::FileHolds(log, text, why)) why = "picocom's log " + why;
        std::filesystem::remove(log);
        if (!why.empty()) {
            bench.SkipWithError(why.c_str());
            return;
        }
        flood::Report(bench, seconds, cpu);
    }
}

BENCHMARK(BM_FloodPicocom)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vellor
