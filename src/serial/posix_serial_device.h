#pragma once

#include <atomic>
#include <memory>
#include <shared_mutex>
#include <string>

#include "serial/serial_device.h"
#include "serial/tty_line.h"

namespace vellor {

// A terminal device (serial port, USB adapter, pseudo-terminal) through POSIX calls. The
// descriptor is used only under a shared hold of fdMutex_ and closed only under an exclusive one,
// after a cancel event has woken every wait, so no call ever reaches a closed or reused number.
class PosixSerialDevice final : public SerialDevice {
  public:
    // Opens `path` read/write, non-blocking, not as controlling terminal, for exclusive use, and
    // puts the line in raw mode. Null with `error` set on failure (EBUSY when in use). Close()
    // discards output still pending and gives the device back its settings as found.
    static std::shared_ptr<PosixSerialDevice> Open(const std::string& path, int& error);

    PosixSerialDevice(int fd, int cancelFd, bool pseudoTerminal, const TtySnapshot& found);
    ~PosixSerialDevice() override;
    PosixSerialDevice(const PosixSerialDevice&) = delete;
    PosixSerialDevice& operator=(const PosixSerialDevice&) = delete;

    int Configure(const PortConfig& config) override;
    int ReadConfig(PortConfig& config) override;
    WriteResult Write(std::span<const uint8_t> bytes, int timeoutMs) override;
    WaitResult Wait(int timeoutMs) override;
    ReadResult Read(std::span<uint8_t> buffer) override;
    void SetDtr(bool raised) override;
    void SetRts(bool raised) override;
    uint32_t ModemStatus() override;
    void SendBreak(int ms) override;
    std::optional<LineCounters> Counters() override;
    void Interrupt() override;
    void Close() override;

  private:
    void SetModemLine(int line, bool raised);

    std::shared_mutex fdMutex_;
    int fd_;
    int cancelFd_;  // eventfd, readable once Interrupt() was called
    const bool pseudoTerminal_;
    const TtySnapshot found_;  // the settings the device had before it was opened
    std::atomic<bool> interrupted_{false};
    std::atomic<bool> hangUpSeen_{false};
};

}  // namespace vellor
