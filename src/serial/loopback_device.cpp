#include "serial/loopback_device.h"

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "serial/line_mapping.h"

namespace vellor {

int LoopbackDevice::Configure(const PortConfig& config) {
    if (int error = CheckLineSettings(config)) return error;
    std::lock_guard lock(mutex_);
    if (closed_) return EBADF;
    config_ = config;
    return 0;
}

int LoopbackDevice::ReadConfig(PortConfig& config) {
    std::lock_guard lock(mutex_);
    if (closed_) return EBADF;
    StoreTtyLine(TtyLineFromConfig(config_), config);
    return 0;
}

void LoopbackDevice::WriteByte(uint8_t byte) {
    std::unique_lock lock(mutex_);
    const bool room = changed_.wait_for(lock, std::chrono::milliseconds(kWriteTimeoutMs), [&] {
        return interrupted_ || pending_.size() < kCapacity;
    });
    if (!room || interrupted_) return;  // held off too long, or closing: dropped
    pending_.push_back(byte);
    changed_.notify_all();
}

WaitResult LoopbackDevice::Wait(int timeoutMs) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                      [&] { return interrupted_ || linesChanged_ || !pending_.empty(); });
    if (interrupted_) return WaitResult::Interrupted;
    linesChanged_ = false;
    return pending_.empty() ? WaitResult::Timeout : WaitResult::Ready;
}

ReadResult LoopbackDevice::Read(std::span<uint8_t> buffer) {
    std::lock_guard lock(mutex_);
    if (closed_) return {ReadStatus::Lost, 0, EBADF};
    const std::size_t count = std::min(buffer.size(), pending_.size());
    if (count == 0) return {ReadStatus::Empty, 0, 0};
    std::copy_n(pending_.begin(), count, buffer.begin());
    pending_.erase(pending_.begin(), pending_.begin() + std::ptrdiff_t(count));
    changed_.notify_all();  // room for held-off writers
    return {ReadStatus::Data, count, 0};
}

void LoopbackDevice::SetDtr(bool raised) {
    std::lock_guard lock(mutex_);
    if (closed_ || dtr_ == raised) return;
    dtr_ = raised;
    linesChanged_ = true;
    changed_.notify_all();
}

void LoopbackDevice::SetRts(bool raised) {
    std::lock_guard lock(mutex_);
    if (closed_ || rts_ == raised) return;
    rts_ = raised;
    linesChanged_ = true;
    changed_.notify_all();
}

uint32_t LoopbackDevice::ModemStatus() {
    std::lock_guard lock(mutex_);
    if (closed_) return 0;
    return (dtr_ ? kMsDsrOn | kMsRlsdOn : 0) | (rts_ ? kMsCtsOn : 0);
}

void LoopbackDevice::Interrupt() {
    std::lock_guard lock(mutex_);
    interrupted_ = true;
    changed_.notify_all();
}

void LoopbackDevice::Close() {
    std::lock_guard lock(mutex_);
    interrupted_ = true;
    closed_ = true;
    pending_.clear();
    changed_.notify_all();
}

}  // namespace vellor
