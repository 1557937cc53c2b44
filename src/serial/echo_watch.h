#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <span>

namespace vellor {

// Lets a paced send wait until the device has echoed a line's last byte. The send thread listens
// for the byte before writing it (a quick device echoes before the write returns), the receive
// thread reports what arrives, and the send thread waits. While nobody listens, the receive
// thread pays one atomic load per chunk.
class EchoWatch {
  public:
    // From now on, watches for `byte` to arrive. Send thread.
    void Listen(uint8_t byte);
    // Gives up watching. Send thread.
    void StopListening();
    // Waits until the byte arrived or `deadline` passed; true when it arrived. Send thread.
    bool WaitUntil(std::chrono::steady_clock::time_point deadline);
    // Bytes just read from the device. Receive thread.
    void Received(std::span<const uint8_t> bytes);

  private:
    std::atomic<bool> listening_{false};
    std::mutex mutex_;
    std::condition_variable arrived_;
    uint8_t awaited_ = 0;  // guarded by mutex_
    bool seen_ = false;    // guarded by mutex_
};

}  // namespace vellor
