#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "app/host.h"

namespace vellor {

struct AppState;

// Starts a thread running `body`; throws std::system_error when no thread can be made.
using ThreadLauncher = std::function<std::thread(std::function<void()> body)>;

// One Send from File run: its file, its own go-ahead flag and its thread. Each run owns these, so
// the tail of a stopped run can never read, close or clear anything of the run started after it;
// a run's thread first waits for the run before it to end, so their bytes never interleave.
//
// The thread reads one byte at a time and hands it to the port and, with echo on, to the screen
// (CR followed by LF on both roads when txCrLf is on), until the file ends or the run is stopped.
// Messages it raises are shown on the UI thread while it waits for their dismissal; Cancel() ends
// such a wait, so the UI thread may then Join() without ever waiting for itself.
class SendJob : public std::enable_shared_from_this<SendJob> {
  public:
    // Takes ownership of `file`, open for reading. `previous` is the run before this one, if any.
    SendJob(AppState& state, Host& host, std::FILE* file, std::shared_ptr<SendJob> previous);
    ~SendJob();
    SendJob(const SendJob&) = delete;
    SendJob& operator=(const SendJob&) = delete;

    // Runs the thread. Throws std::system_error when it cannot be created; the file is then
    // closed by the destructor. UI thread, once.
    void Start(const ThreadLauncher& launch);

    // Stops the run after the byte in hand. Any thread.
    void Stop();
    bool Active() const { return active_.load(); }

    // Stops this run and every run before it and gives up any message they wait on: nothing more
    // is shown or posted for them. UI thread.
    void Cancel();

    // Waits for the thread to end. UI thread, only after Cancel(): a thread waiting for a message
    // to be dismissed would otherwise wait for the UI thread that waits for it.
    void Join();

  private:
    void Run();
    void AwaitPreviousRun();
    int64_t MeasureSize();
    bool KeepSending() const;
    void SendByte(uint8_t byte);
    void CloseFile();
    void ShowAndWait(MessageOwner owner, const char* text, const char* caption, std::string detail);
    void Dismissed();
    bool Cancelled() const;
    void Complete();

    AppState& state_;
    Host& host_;
    std::FILE* file_;  // the send thread's alone once started
    std::atomic<bool> active_{true};
    std::thread thread_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool cancelled_ = false;             // guarded by mutex_
    bool dismissed_ = false;             // guarded by mutex_
    std::shared_ptr<SendJob> previous_;  // guarded by mutex_
};

}  // namespace vellor
