#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "app/host.h"
#include "transfer/send_pacing.h"
#include "transfer/send_writer.h"

namespace vellor {

struct AppState;

// Starts a thread running `body`; throws std::system_error when no thread can be made.
using ThreadLauncher = std::function<std::thread(std::function<void()> body)>;

// Where a send is, for the status bar.
struct SendProgress {
    uint64_t sent = 0;   // bytes of the file or paste handed to the port so far
    uint64_t total = 0;  // bytes of the file or paste
    double bytesPerSecond = 0;
    bool heldOff = false;  // the line has taken nothing for over a second: the send waits
    bool paste = false;    // a paste rather than Send from File
};

// One send: Send from File, or a paste too long to type. Each run owns its file or text, its own
// go-ahead flag and its thread, so the tail of a stopped run can never read, close or clear
// anything of the run started after it; a run's thread first waits for the run before it to end,
// so their bytes never interleave.
//
// The thread reads the file in blocks and gives them to a SendWriter (the port, the echo, and
// for a paste the capture; pacing; a held-off line waited for) until the file ends, the run is
// stopped, or a read or a write fails. Messages it raises are shown on the UI thread while it
// waits for their dismissal; Cancel() ends such a wait, so the UI thread may then Join() without
// ever waiting for itself.
class SendJob final : public std::enable_shared_from_this<SendJob>, private SendControl {
  public:
    // Send from File: takes ownership of `file`, open for reading. `previous` is the run before
    // this one, if any.
    SendJob(AppState& state, Host& host, std::FILE* file, const SendPacing& pacing,
            std::shared_ptr<SendJob> previous);
    // A paste: `typed` are the bytes as typing gives them (a line break is CR, no LF added).
    SendJob(AppState& state, Host& host, std::vector<uint8_t> typed, const SendPacing& pacing,
            std::shared_ptr<SendJob> previous);
    ~SendJob();
    SendJob(const SendJob&) = delete;
    SendJob& operator=(const SendJob&) = delete;

    // Runs the thread. Throws std::system_error when it cannot be created; the file is then
    // closed by the destructor. UI thread, once.
    void Start(const ThreadLauncher& launch);

    // Stops the run within kSendWaitMs; what the line took stays sent. Any thread.
    void Stop();

    // Stops this run and every run before it and gives up any message they wait on: nothing more
    // is shown or posted for them. UI thread.
    void Cancel();

    // Waits for the thread to end. UI thread, only after Cancel(): a thread waiting for a message
    // to be dismissed would otherwise wait for the UI thread that waits for it.
    void Join();

    // Where the run is. Any thread.
    SendProgress Progress() const;

  private:
    void Run();
    void AwaitPreviousRun();
    int64_t MeasureSize();
    std::size_t ReadBlock(std::span<uint8_t> block, std::string& failure);
    bool KeepSending() const override;
    bool RestUntil(SendClock::time_point due) override;
    void CloseFile();
    void ShowAndWait(MessageOwner owner, const char* text, const char* caption, std::string detail);
    void Dismissed();
    bool Cancelled() const;
    void Complete();

    AppState& state_;
    Host& host_;
    std::FILE* file_ = nullptr;   // the send thread's alone once started
    std::vector<uint8_t> typed_;  // a paste's bytes, the send thread's alone once started
    std::size_t typedTaken_ = 0;
    const bool paste_;
    const SendPacing pacing_;
    SendCounters counters_;
    std::atomic<bool> active_{true};
    std::thread thread_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool cancelled_ = false;             // guarded by mutex_
    bool dismissed_ = false;             // guarded by mutex_
    std::shared_ptr<SendJob> previous_;  // guarded by mutex_
};

}  // namespace vellor
