// What every flood case shares: the text, the pseudo-terminal, the peer that floods it, the wait
// for the receiver's file, the byte-for-byte check and the figures each row reports.
#pragma once

#include <benchmark/benchmark.h>
#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>

namespace vellor::flood {

// VELLOR_FLOOD_BYTES, or 100 MB.
std::size_t FloodBytes();

// FloodBytes() of console text: 80-column lines ending in CR LF, now and then an 8-bit byte. Made
// once per run and shared by every case, so all of them receive exactly the same bytes.
const std::string& FloodText();

// A pseudo-terminal, both ends raw unless asked otherwise; both descriptors closed on
// destruction, and neither inherited by a child program.
struct PtyPair {
    explicit PtyPair(bool raw = true);
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;
    bool ok() const { return master >= 0; }

    int master = -1;
    int slave = -1;
    std::string slaveName;
};

// Writes the text into a master descriptor as fast as the line takes it, on a thread of its own.
// The thread's CPU time is kept so the receiver's share of the process can be told apart.
class FloodPeer {
  public:
    FloodPeer(int master, const std::string& text);
    ~FloodPeer();  // stops early when the receiver gave up
    FloodPeer(const FloodPeer&) = delete;
    FloodPeer& operator=(const FloodPeer&) = delete;

    // Waits until everything is written.
    void Join();
    // Stops writing and waits for the thread: the receiver has given up.
    void Stop();
    double CpuSeconds() const { return cpu_.load(); }

  private:
    std::atomic<bool> stop_{false};
    std::atomic<double> cpu_{0};
    std::thread thread_;
};

// Waits until the file holds `size` bytes. Gives up (false, with the reason) when it stops growing
// for several seconds, or when the receiving child process `receiver` (if any) has ended.
bool WaitForFileSize(const std::string& path, std::size_t size, std::string& why,
                     pid_t receiver = 0);

// Whether the file holds exactly `text`; otherwise why not (the first differing offset).
bool FileHolds(const std::string& path, const std::string& text, std::string& why);

// CPU seconds (user + system) of this process, and of the calling thread.
double ProcessCpuSeconds();
double ThreadCpuSeconds();

// A temporary file name for this process and case.
std::string TempPath(const std::string& tag);

// The row's figures: MB, MB/s and the receiver's CPU seconds.
void Report(benchmark::State& bench, double seconds, double cpuSeconds);

// How one flood went: its time, the receiving side's CPU seconds, and why it failed (empty when
// every byte arrived intact).
struct FloodRun {
    double seconds = 0;
    double cpuSeconds = 0;
    std::string why;
};

// Vellor's receive side takes the flood written into `master`: the port `portName` opened with a
// rows x cols Text-mode screen and a capture into `capture`, checked byte for byte. The CPU
// seconds are the process's less the peer's and the watching thread's.
FloodRun FloodThroughPort(const std::string& portName, int master, uint16_t rows, uint16_t cols,
                          const std::string& capture);

// A plain loop reads the flood written into `master` from `fd` (a terminal or a socket) into
// `output`, as `cat` would, checked byte for byte. The CPU seconds are the reading thread's.
FloodRun ReadLoopIntoFile(int fd, int master, const std::string& output);

// Reports the run, or skips the row with its reason.
void ReportOrSkip(benchmark::State& bench, const FloodRun& run);

}  // namespace vellor::flood
