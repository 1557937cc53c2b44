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

#include <filesystem>
#include <memory>
#include <string>

#include "flood_peer.h"
#include "support/ser2net_server.h"

namespace vellor {
namespace {

using testing::Ser2NetServer;

enum class Path : uint8_t { LocalPty, Ser2NetRaw, Ser2NetRfc2217 };

// A folder of this run's own for ser2net's configuration and log.
std::string MakeFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vellor-netbench-XXXXXX");
    return mkdtemp(pattern.data()) ? pattern : std::string();
}

void BM_NetworkFlood(benchmark::State& bench, Path path) {
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
        const std::string name = server ? server->Name() : pty.slaveName;
        const flood::FloodRun run =
            flood::FloodThroughPort(name, pty.master, 25, 80, flood::TempPath("network"));
        server.reset();
        std::filesystem::remove_all(folder);
        flood::ReportOrSkip(bench, run);
    }
}

// The flood through ser2net's raw TCP accepter, read by a plain loop that writes it to a file.
void BM_Ser2NetPlainReader(benchmark::State& bench) {
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
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            close(fd);
            bench.SkipWithError("cannot connect to ser2net");
            return;
        }
        const flood::FloodRun run =
            flood::ReadLoopIntoFile(fd, pty.master, flood::TempPath("plain"));
        close(fd);
        server.Stop();
        std::filesystem::remove_all(folder);
        flood::ReportOrSkip(bench, run);
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
