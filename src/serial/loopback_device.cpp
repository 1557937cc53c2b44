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

WriteResult LoopbackDevice::Write(std::span<const uint8_t> bytes, int timeoutMs) {
    WriteResult result;
    std::unique_lock lock(mutex_);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    while (result.written < bytes.size()) {
        const bool room = changed_.wait_until(
            lock, deadline, [&] { return interrupted_ || pending_.size() < kCapacity; });
        if (!room || interrupted_) break;  // held off too long, or closing
        const std::size_t n = std::min(kCapacity - pending_.size(), bytes.size() - result.written);
        pending_.insert(pending_.end(), bytes.begin() + std::ptrdiff_t(result.written),
                        bytes.begin() + std::ptrdiff_t(result.written + n));
        result.written += n;
        changed_.notify_all();
    }
    return result;
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

void LoopbackDevice::SendBreak(int ms) {
    std::unique_lock lock(mutex_);
    if (closed_) return;
    // The plug's far end is this end: the break is received as it ends.
    changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return interrupted_; });
    if (interrupted_) return;
    ++breaks_;
    linesChanged_ = true;
    changed_.notify_all();
}

std::optional<LineCounters> LoopbackDevice::Counters() {
    std::lock_guard lock(mutex_);
    LineCounters counters;
    counters.breaks = breaks_;
    return counters;
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
