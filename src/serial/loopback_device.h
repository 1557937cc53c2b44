#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

#include "serial/serial_device.h"

namespace vellor {

// The built-in "LOOP" device, wired like a loopback plug: what is written comes back as
// received, DTR drives DSR and CD, RTS drives CTS, and a break sent is counted as received.
class LoopbackDevice final : public SerialDevice {
  public:
    // How many written bytes wait to be read back before writes are held off.
    static constexpr std::size_t kCapacity = 64 * 1024;

    int Configure(const PortConfig& config) override;
    int ReadConfig(PortConfig& config) override;
    WriteResult Write(std::span<const uint8_t> bytes, int timeoutMs) override;
    WaitResult Wait(int timeoutMs) override;
    ReadResult Read(std::span<uint8_t> buffer) override;
    void SetDtr(bool raised) override;
    void SetRts(bool raised) override;
    uint32_t ModemStatus() override;
    void SendBreak(int ms) override;  // received back as a break
    std::optional<LineCounters> Counters() override;
    void Interrupt() override;
    void Close() override;

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<uint8_t> pending_;
    PortConfig config_;
    bool dtr_ = false;
    bool rts_ = false;
    bool linesChanged_ = false;  // wakes Wait() so the new lines are sampled at once
    uint64_t breaks_ = 0;
    bool interrupted_ = false;
    bool closed_ = false;
};

}  // namespace vellor
