#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

namespace vellor {

struct AppState;
class SerialDevice;

// The worker that takes everything the open device receives: it waits for data, reads it in
// chunks, hands each chunk to the receive path (bit 7, capture, screen, LF after CR), flushes the
// capture once per burst, and samples the modem lines after every wake-up and at least every
// 50 ms.
class ReceiveThread {
  public:
    struct Events {
        // A modem status word different from the last one reported (the first is always
        // reported). Called on the receive thread: must not wait for the UI thread.
        std::function<void(uint32_t status)> modemStatusChanged;
        // The device is gone; the thread has stopped. `error` is an errno value. Called on the
        // receive thread, once, as its last act.
        std::function<void(int error)> deviceLost;
    };

    // Starts the thread at once. Throws std::system_error when no thread can be created.
    ReceiveThread(AppState& state, std::shared_ptr<SerialDevice> device, Events events);
    // Stops the thread (see Stop).
    ~ReceiveThread();
    ReceiveThread(const ReceiveThread&) = delete;
    ReceiveThread& operator=(const ReceiveThread&) = delete;

    // Interrupts the device and waits for the thread to end. The device stays open; the caller
    // closes it afterwards. Idempotent.
    void Stop();

  private:
    void Run();
    void ReportStatus(uint32_t status);

    AppState& state_;
    std::shared_ptr<SerialDevice> device_;
    Events events_;
    std::atomic<bool> stopRequested_{false};  // ends a drain that a flood would never end
    bool hasReported_ = false;                // receive thread only
    uint32_t lastReported_ = 0;
    std::thread thread_;  // last member: started once everything above is ready
};

}  // namespace vellor
