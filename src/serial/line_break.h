#pragma once

#include <atomic>
#include <memory>
#include <thread>

namespace vellor {

class SerialDevice;

// Sends breaks on a thread of its own, so the window never waits out a break. One at a time: a
// break asked for while one is still on the line is not queued. UI thread.
class BreakSender {
  public:
    static constexpr int kBreakMs = 250;

    BreakSender() = default;
    ~BreakSender();  // waits for a break on the line; closing its device ends it early
    BreakSender(const BreakSender&) = delete;
    BreakSender& operator=(const BreakSender&) = delete;

    // False when a break is still being sent.
    bool Send(std::shared_ptr<SerialDevice> device, int ms = kBreakMs);

  private:
    std::thread thread_;
    std::atomic<bool> busy_{false};
};

}  // namespace vellor
