#pragma once

#include <cstdint>
#include <functional>
#include <memory>
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
    // Called on the waiter's thread, at most once, with the reopened device; never after Stop()
    // has returned.
    using Reopened = std::function<void(std::shared_ptr<SerialDevice>)>;

    PortWaiter(std::string portName, PortConfig config, DeviceOpener opener,
               WaitTiming timing = {});
    ~PortWaiter();  // stops
    PortWaiter(const PortWaiter&) = delete;
    PortWaiter& operator=(const PortWaiter&) = delete;

    void Start(Reopened reopened);
    // Ends the wait. Returns at once even while the thread is inside an open that takes long (a
    // network connection being made): the thread then ends on its own, closing what it opened.
    // Not from the waiter's own thread.
    void Stop();

    const std::string& PortName() const { return portName_; }
    const PortConfig& Config() const { return config_; }
    // How often a change on the watched folders woke the waiter (tests watch this).
    uint64_t Wakes() const;

  private:
    struct Shared;  // what the thread uses, kept alive by the thread itself

    const std::string portName_;
    const PortConfig config_;
    const DeviceOpener opener_;
    const WaitTiming timing_;
    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};

}  // namespace vellor
