#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

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

struct WriteResult {
    std::size_t written = 0;  // bytes the line took, from the front
    int error = 0;            // errno value when the line failed; 0 when it only held them off
};

// Line errors a driver has counted since the device was opened.
struct LineCounters {
    uint64_t framing = 0;
    uint64_t parity = 0;
    uint64_t overrun = 0;        // the UART's own receive register
    uint64_t bufferOverrun = 0;  // the driver's receive buffer
    uint64_t breaks = 0;
    bool operator==(const LineCounters&) const = default;
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

    // Writes bytes in order, waiting at most timeoutMs in all for the line to take them: fewer are
    // written when the line holds them off that long (flow control), none once Interrupt() was
    // called, and a failing line ends the write with its error.
    virtual WriteResult Write(std::span<const uint8_t> bytes, int timeoutMs) = 0;

    // Writes one byte, waiting at most kWriteTimeoutMs for the line to accept it; a byte the line
    // does not take in time, or that fails, is dropped silently. True when it was written.
    bool WriteByte(uint8_t byte) {
        return Write(std::span<const uint8_t>(&byte, 1), kWriteTimeoutMs).written == 1;
    }

    // Waits up to timeoutMs for received data, a hang-up or Interrupt().
    virtual WaitResult Wait(int timeoutMs) = 0;
    // Reads what is waiting, up to buffer.size() bytes, without blocking.
    virtual ReadResult Read(std::span<uint8_t> buffer) = 0;

    // Raise or drop the output lines. Failures (a pseudo-terminal has no modem lines) are ignored.
    virtual void SetDtr(bool raised) = 0;
    virtual void SetRts(bool raised) = 0;
    // The input lines as a kMs* word; 0 when the device cannot tell.
    virtual uint32_t ModemStatus() = 0;

    // Empty when the line settings given to Configure() reach the line; otherwise why they do not
    // (a network port whose server takes none), for the Communications dialog to say.
    virtual std::string LineSettingsNote() const { return {}; }

    // Holds the line in the break state for `ms`, then lets it go. Returns at once after
    // Interrupt(). Call it off the UI thread: it takes as long as the break.
    virtual void SendBreak(int ms) = 0;
    // The driver's error counters, or nothing when it keeps none (a pseudo-terminal).
    virtual std::optional<LineCounters> Counters() = 0;

    // Wakes every Wait() and write in progress for good; the device is about to be closed.
    virtual void Interrupt() = 0;
    // Releases the device. Waits for operations in flight; idempotent.
    virtual void Close() = 0;
};

}  // namespace vellor
