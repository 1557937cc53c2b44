#include "serial/line_break.h"

#include "serial/serial_device.h"

namespace vellor {

BreakSender::~BreakSender() {
    if (thread_.joinable()) thread_.join();
}

bool BreakSender::Send(std::shared_ptr<SerialDevice> device, int ms) {
    if (busy_.load()) return false;
    if (thread_.joinable()) thread_.join();  // the last break is over: its thread has ended
    busy_ = true;
    thread_ = std::thread([this, device = std::move(device), ms] {
        device->SendBreak(ms);
        busy_ = false;
    });
    return true;
}

}  // namespace vellor
