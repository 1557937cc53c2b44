#pragma once

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <string>

#include "support/fake_serial_device.h"

namespace vellor::testing {

// A line the test holds off (flow control: nothing is taken until it lets go) or breaks (after
// taking a given number of bytes in all, a write fails with EIO). Records what it took.
class HeldLineDevice : public FakeSerialDevice {
  public:
    WriteResult Write(std::span<const uint8_t> bytes, int timeoutMs) override {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !held_; });
        if (held_) return {};
        const std::size_t n = std::min(bytes.size(), failAfter_ - taken_.size());
        taken_.append(bytes.begin(), bytes.begin() + std::ptrdiff_t(n));
        return {n, n < bytes.size() ? EIO : 0};
    }

    void Hold(bool held) {
        {
            std::lock_guard lock(mutex_);
            held_ = held;
        }
        changed_.notify_all();
    }
    // Writes fail once `more` further bytes have been taken.
    void FailAfter(std::size_t more) {
        std::lock_guard lock(mutex_);
        failAfter_ = taken_.size() + more;
    }
    std::string Taken() {
        std::lock_guard lock(mutex_);
        return taken_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool held_ = false;
    std::size_t failAfter_ = std::numeric_limits<std::size_t>::max();
    std::string taken_;
};

}  // namespace vellor::testing
