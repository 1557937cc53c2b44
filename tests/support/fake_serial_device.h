#pragma once

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "serial/serial_device.h"

namespace vellor::testing {

// A device whose answers the test sets (configure error, flood, loss, modem status, held-off or
// failing writes); records what is written and configured.
class FakeSerialDevice : public SerialDevice {
  public:
    int Configure(const PortConfig& config) override {
        std::lock_guard lock(mutex_);
        configured.push_back(config);
        return configureError;
    }
    int ReadConfig(PortConfig& config) override {
        config.SetBaudRate(reportedRate);
        return 0;
    }
    WriteResult Write(std::span<const uint8_t> bytes, int timeoutMs) override {
        if (holdWrites) {  // flow control: the line takes nothing for the whole wait
            std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
            return {};
        }
        std::lock_guard lock(mutex_);
        if (closed_) return {};
        const std::size_t n = std::min(bytes.size(), failWritesAfter - written.size());
        written.insert(written.end(), bytes.begin(), bytes.begin() + std::ptrdiff_t(n));
        return {n, n < bytes.size() ? EIO : 0};
    }
    WaitResult Wait(int timeoutMs) override {
        ++waits;
        std::unique_lock lock(mutex_);
        if (flood || loseWithError)
            return interrupted_ ? WaitResult::Interrupted : WaitResult::Ready;
        changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return interrupted_; });
        return interrupted_ ? WaitResult::Interrupted : WaitResult::Timeout;
    }
    ReadResult Read(std::span<uint8_t> buffer) override {
        ++reads;
        if (loseWithError) return {ReadStatus::Lost, 0, loseWithError};
        if (!flood) return {ReadStatus::Empty, 0, 0};
        std::memset(buffer.data(), 'x', buffer.size());
        largestRead = std::max<std::size_t>(largestRead, buffer.size());
        return {ReadStatus::Data, buffer.size(), 0};
    }
    void SetDtr(bool raised) override { dtr = raised; }
    void SetRts(bool raised) override { rts = raised; }
    uint32_t ModemStatus() override { return status; }
    void SendBreak(int) override { ++breaks; }
    std::optional<LineCounters> Counters() override {
        std::lock_guard lock(mutex_);
        return counters;
    }
    void SetCounters(std::optional<LineCounters> now) {
        std::lock_guard lock(mutex_);
        counters = now;
    }
    void Interrupt() override {
        std::lock_guard lock(mutex_);
        interrupted_ = true;
        changed_.notify_all();
    }
    void Close() override {
        Interrupt();
        std::lock_guard lock(mutex_);
        closed_ = true;
        ++closes;
    }

    // What the test sets before the device is used.
    int configureError = 0;
    bool flood = false;     // every read delivers a full buffer
    int loseWithError = 0;  // non-zero: the first read finds the device gone
    uint32_t reportedRate = 9600;
    std::optional<LineCounters> counters;  // what the driver counted; SetCounters once in use
    std::atomic<bool> holdWrites{false};
    std::atomic<std::size_t> failWritesAfter{SIZE_MAX};  // in all; writes beyond fail with EIO
    std::atomic<uint32_t> status{0};

    // What happened; `written` and `configured` are read once the device is closed.
    std::vector<uint8_t> written;
    std::vector<PortConfig> configured;
    std::atomic<int> closes{0}, waits{0}, reads{0}, breaks{0};
    std::atomic<std::size_t> largestRead{0};
    std::atomic<bool> dtr{false}, rts{false};

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool interrupted_ = false;
    bool closed_ = false;
};

}  // namespace vellor::testing
