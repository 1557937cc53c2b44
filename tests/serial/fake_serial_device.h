#pragma once

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "serial/serial_device.h"

namespace vellor::testing {

// A device whose answers the test sets: a configure error, an endless flood of received bytes,
// a loss after the first wait. Records what is written and which lines were set.
class FakeSerialDevice : public SerialDevice {
  public:
    int configureError = 0;
    bool flood = false;     // every read delivers a full buffer
    int loseWithError = 0;  // non-zero: the first read reports the device lost

    int Configure(const PortConfig&) override {
        ++configureCalls;
        return configureError;
    }
    int ReadConfig(PortConfig&) override { return 0; }
    void WriteByte(uint8_t byte) override {
        std::lock_guard lock(mutex_);
        if (!closed_) written.push_back(byte);
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
    void Interrupt() override {
        std::lock_guard lock(mutex_);
        interrupted_ = true;
        changed_.notify_all();
    }
    void Close() override {
        Interrupt();
        std::lock_guard lock(mutex_);
        closed_ = true;
        ++closeCalls;
    }

    std::atomic<int> configureCalls{0};
    std::atomic<int> closeCalls{0};
    std::atomic<int> waits{0};
    std::atomic<int> reads{0};
    std::atomic<std::size_t> largestRead{0};
    std::atomic<bool> dtr{false};
    std::atomic<bool> rts{false};
    std::atomic<uint32_t> status{0};
    std::vector<uint8_t> written;  // under mutex_; read after Close()

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool interrupted_ = false;
    bool closed_ = false;
};

}  // namespace vellor::testing
