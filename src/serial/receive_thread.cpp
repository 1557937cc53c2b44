#include "serial/receive_thread.h"

#include <array>
#include <chrono>

#include "app/app_state.h"
#include "serial/receive_path.h"
#include "serial/serial_device.h"

namespace vellor {
namespace {

// Linux cannot wait for modem-line changes together with data, so the lines are sampled at
// least this often.
constexpr int kModemPollMs = 50;
constexpr std::size_t kChunkSize = 4096;

}  // namespace

ReceiveThread::ReceiveThread(AppState& state, std::shared_ptr<SerialDevice> device, Events events)
    : state_(state),
      device_(std::move(device)),
      events_(std::move(events)),
      thread_([this] { Run(); }) {}

ReceiveThread::~ReceiveThread() {
    Stop();
}

void ReceiveThread::Stop() {
    if (!thread_.joinable()) return;
    stopRequested_ = true;
    device_->Interrupt();
    thread_.join();
}

void ReceiveThread::ReportStatus(uint32_t status) {
    if (hasReported_ && status == lastReported_) return;  // a flood wakes often; post changes only
    hasReported_ = true;
    lastReported_ = status;
    if (events_.modemStatusChanged) events_.modemStatusChanged(status);
}

void ReceiveThread::Run() {
    std::array<uint8_t, kChunkSize> buffer;
    using Clock = std::chrono::steady_clock;
    auto lastSample = Clock::now();

    for (;;) {
        const WaitResult woke = device_->Wait(kModemPollMs);
        if (woke == WaitResult::Interrupted) return;

        int lostReason = 0;
        if (woke == WaitResult::Ready) {
            bool received = false;
            while (!stopRequested_) {  // drain the burst
                const ReadResult got = device_->Read(buffer);
                if (got.status == ReadStatus::Empty) break;
                if (got.status == ReadStatus::Lost) {
                    lostReason = got.error;
                    break;
                }
                received = true;
                state_.traffic.received += got.count;
                const std::span<const uint8_t> chunk(buffer.data(), got.count);
                state_.echoWatch.Received(chunk);
                ProcessReceivedBytes(state_, chunk);
                // A flood may never leave the device empty: keep the lines sampled meanwhile.
                if (Clock::now() - lastSample >= std::chrono::milliseconds(kModemPollMs)) {
                    lastSample = Clock::now();
                    ReportStatus(device_->ModemStatus());
                }
            }
            if (received) state_.captureFile.Flush();  // once per burst, not per byte
        }

        lastSample = Clock::now();
        ReportStatus(device_->ModemStatus());
        if (lostReason != 0) {
            // Never spin on a dead device: report it once and end.
            if (events_.deviceLost) events_.deviceLost(lostReason);
            return;
        }
    }
}

}  // namespace vellor
