#include "serial/echo_watch.h"

#include <algorithm>

namespace vellor {

void EchoWatch::Listen(uint8_t byte) {
    std::lock_guard lock(mutex_);
    awaited_ = byte;
    seen_ = false;
    listening_ = true;
}

void EchoWatch::StopListening() {
    std::lock_guard lock(mutex_);
    listening_ = false;
}

bool EchoWatch::WaitUntil(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    return arrived_.wait_until(lock, deadline, [this] { return seen_; });
}

void EchoWatch::Received(std::span<const uint8_t> bytes) {
    if (!listening_.load(std::memory_order_relaxed)) return;
    {
        std::lock_guard lock(mutex_);
        if (!listening_ || seen_ || std::find(bytes.begin(), bytes.end(), awaited_) == bytes.end())
            return;
        seen_ = true;
        listening_ = false;
    }
    arrived_.notify_all();
}

}  // namespace vellor
