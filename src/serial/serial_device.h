#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "serial/port_config.h"

namespace vellor {

// Bits of the modem status word.
constexpr uint32_t kMsCtsOn = 0x10;
constexpr uint32_t kMsDsrOn = 0x20;
constexpr uint32_t kMsRingOn = 0x40;
constexpr uint32_t kMsRlsdOn = 0x80;

// How long a one-byte write may wait for the line to take it before the byte is dropped.
constexpr int kWriteTimeoutMs = 1010;

enum class WaitResult {
    Ready,        // data (or a hang-up) to read
    Timeout,      // nothing happened within the time given
    Interrupted,  // Interrupt() was called: stop using the device
};

enum class ReadStatus {
    Data,   // `count` bytes were read
    Empty,  // nothing is waiting
    Lost,   // the device is gone (unplugged, hung up); `error` says why
};

struct ReadResult {
    ReadStatus status = ReadStatus::Empty;
    std::size_t count = 0;
    int error = 0;  // errno value when Lost
};

// One open serial device. Every operation may be called from any thread, concurrently with the
// others, until Close(); after Close() every operation does nothing (writes are dropped, reads
// find the device lost). Close() waits for operations in flight, so no byte ever reaches a
// descriptor that was closed or whose number was reused.
class SerialDevice {
  public:
    virtual ~SerialDevice() = default;

    // Applies the line settings (the DCB's rate, framing and flow control). Returns 0 or an errno
    // value: EINVAL for settings the device cannot take (4 data bits, 1.5 stop bits, a rate a
    // real port refuses). A pseudo-terminal forcing 8N1 is not a failure.
    virtual int Configure(const PortConfig& config) = 0;
    // Fills rate, framing, flow control and XON/XOFF characters of `config` from the device;
    // every other byte of the record is kept. Returns 0 or an errno value.
    virtual int ReadConfig(PortConfig& config) = 0;

    // Writes one byte, waiting at most kWriteTimeoutMs for the line to accept it; a byte the line
    // does not take in time, or that fails, is dropped silently.
    virtual void WriteByte(uint8_t byte) = 0;

    // Waits up to timeoutMs for received data, a hang-up or Interrupt().
    virtual WaitResult Wait(int timeoutMs) = 0;
    // Reads what is waiting, up to buffer.size() bytes, without blocking.
    virtual ReadResult Read(std::span<uint8_t> buffer) = 0;

    // Raise or drop the output lines. Failures (a pseudo-terminal has no modem lines) are ignored.
    virtual void SetDtr(bool raised) = 0;
    virtual void SetRts(bool raised) = 0;
    // The input lines as a kMs* word; 0 when the device cannot tell.
    virtual uint32_t ModemStatus() = 0;

    // Wakes every Wait() and write in progress for good; the device is about to be closed.
    virtual void Interrupt() = 0;
    // Releases the device. Waits for operations in flight; idempotent.
    virtual void Close() = 0;
};

// The built-in loopback device's name; matched in any case.
constexpr std::string_view kLoopbackName = "LOOP";
bool IsLoopbackName(std::string_view portName);

// The path opened for a port name: "COMn" (n >= 1) is /dev/ttyS(n-1), a name without "/" is
// /dev/<name>, anything else is a path. No path for "COM0" or an empty name.
std::optional<std::string> DevicePathForPortName(std::string_view portName);

// Opens the device a port name stands for (the loopback device included), exclusively and in raw
// mode, without applying line settings. On failure returns null with `error` set to an errno.
std::shared_ptr<SerialDevice> OpenSerialDevice(const std::string& portName, int& error);

// Checks what no device can take: data bits outside 5-8, 1.5 or unknown stop bits, an unknown
// parity, a zero rate. Returns 0 or EINVAL.
int CheckLineSettings(const PortConfig& config);

}  // namespace vellor
