// The receive flood across the network: the same console text as flood_bench.cpp, written into a
// pseudo-terminal that ser2net serves on loopback, taken in by Vellor through a network port
// (raw TCP, then RFC 2217, where every 0xFF in the text travels doubled), and for comparison
// straight from the pseudo-terminal in the same run. Timed from the first byte until the capture
// file holds every byte, then checked byte for byte. Each row reports MB, MB_per_s and cpu_s (the
// CPU seconds of Vellor's side: its receive thread and, for a network port, its I/O thread; the
// ser2net process is not counted). A plain blocking read loop through the same ser2net (as `socat`
// to a file would) shows the server's own ceiling on this machine.
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

#include "app/app_state.h"
#include "app/no_window_host.h"
#include "flood_peer.h"
#include "screen/screen.h"
#include "serial/line_defaults.h"
#include "serial/port_connection.h"
#include "support/ser2net_server.h"

namespace vellor {
namespace {

using testing::Ser2NetServer;

enum class Path : uint8_t { LocalPty, Ser2NetRaw, Ser2NetRfc2217 };

class HeadlessHost : public NoWindowHost {
  public:
    void ShowMessage(MessageOwner, const std::string& text, const std::string&,
                     const std::string& detail) override {
        failure = text + ": " + detail;
    }
    std::string failure;
};

// A folder of this run's own for ser2net's configuration and log.
std::string MakeFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vellor-netbench-XXXXXX");
    return mkdtemp(pattern.data()) ? pattern : std::string();
}

void BM_NetworkFlood(benchmark::State& bench, Path path) {
    const std::string& text = flood::FloodText();
    const std::string capture = flood::TempPath("network");

    for (auto _ : bench) {
        flood::PtyPair pty;
        if (!pty.ok()) {
            bench.SkipWithError("no pseudo-terminal");
            return;
        }
        const std::string folder = MakeFolder();
        std::unique_ptr<Ser2NetServer> server;
        if (path != Path::LocalPty) {
            server = std::make_unique<Ser2NetServer>(pty.slaveName,
                                                     path == Path::Ser2NetRaw
                                                         ? Ser2NetServer::Accepter::RawTcp
                                                         : Ser2NetServer::Accepter::Rfc2217,
                                                     folder);
            if (!server->ok()) {
                bench.SkipWithError(server->Why().c_str());
                return;
            }
        }
        AppState state;
        DefaultPortSettings(state);
        state.portName = server ? server->Name() : pty.slaveName;
        {
            std::lock_guard lock(state.screenMutex);
            state.numRows = state.visibleRows = 25;
            state.numCols = state.visibleCols = 80;
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
        server.reset();
        std::filesystem::remove_all(folder);

        if (complete && !flood::FileHolds(capture, text, why)) why = "capture " + why;
        std::filesystem::remove(capture);
        if (!why.empty()) {
            bench.SkipWithError(why.c_str());
            return;
        }
        flood::Report(bench, seconds, cpu);
    }
}

// The flood through ser2net's raw TCP accepter, read by a plain loop that writes it to a file.
void BM_Ser2NetPlainReader(benchmark::State& bench) {
    const std::string& text = flood::FloodText();
    const std::string output = flood::TempPath("plain");
    for (auto _ : bench) {
        flood::PtyPair pty;
        const std::string folder = MakeFolder();
        Ser2NetServer server(pty.slaveName, Ser2NetServer::Accepter::RawTcp, folder);
        if (!pty.ok() || !server.ok()) {
            bench.SkipWithError(server.Why().c_str());
            return;
        }
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(server.port());
        std::FILE* out = std::fopen(output.c_str(), "wb");
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || !out) {
            if (out) std::fclose(out);
            close(fd);
            bench.SkipWithError("cannot connect to ser2net");
            return;
        }
        const double cpuBefore = flood::ThreadCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        flood::FloodPeer peer(pty.master, text);
        std::size_t got = 0;
        static char buffer[1 << 16];
        while (got < text.size()) {
            const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
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
        close(fd);
        server.Stop();
        std::filesystem::remove_all(folder);

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

BENCHMARK_CAPTURE(BM_NetworkFlood, local_pty, Path::LocalPty)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_NetworkFlood, ser2net_raw_tcp, Path::Ser2NetRaw)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_NetworkFlood, ser2net_rfc2217, Path::Ser2NetRfc2217)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_Ser2NetPlainReader)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vellor
