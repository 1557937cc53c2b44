#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "serial/port_config.h"
#include "serial/port_connection.h"

namespace vellor {

class SerialDevice;

// When to try opening again besides the moments the device's folders change.
struct WaitTiming {
    int settleMs = 100;          // between tries after a change: the node may come before its
    int settleTries = 20;        // group and mode are set, or before its stable link
    int idleMs = 10'000;         // with nothing changing (a change inotify cannot see); -1: never
    int networkRetryMs = 1'000;  // network ports have no folder to watch
};

// Waits, on a thread of its own, until a port that went away opens again under the same name, and
// hands the device over opened and configured. A device path is watched with inotify on the
// folders on its way (every link's as well), so waiting costs nothing while nothing changes; a
// network port is tried again every second.
class PortWaiter {
  public:
    // Called on the waiter's thread, once, with the reopened device.
    using Reopened = std::function<void(std::shared_ptr<SerialDevice>)>;

    PortWaiter(std::string portName, PortConfig config, DeviceOpener opener,
               WaitTiming timing = {});
    ~PortWaiter();  // stops
    PortWaiter(const PortWaiter&) = delete;
    PortWaiter& operator=(const PortWaiter&) = delete;

    void Start(Reopened reopened);
    // Ends the wait and joins the thread; a device opened meanwhile is closed unless handed over.
    // Not from the waiter's own thread.
    void Stop();

    const std::string& PortName() const { return portName_; }
    const PortConfig& Config() const { return config_; }
    // How often a change on the watched folders woke the waiter (tests watch this).
    uint64_t Wakes() const { return wakes_.load(); }

  private:
    void Run(const Reopened& reopened);
    std::shared_ptr<SerialDevice> TryOpen();
    // Waits for a change or `timeoutMs`; false when stopped.
    bool WaitForChange(int timeoutMs, bool& changed);

    const std::string portName_;
    const PortConfig config_;
    const DeviceOpener opener_;
    const WaitTiming timing_;
    int stopFd_ = -1;  // an eventfd: Stop() wakes the wait through it
    std::atomic<bool> stopping_{false};
    std::atomic<uint64_t> wakes_{0};
    std::thread thread_;
};

}  // namespace vellor
