#pragma once

#include <chrono>
#include <cstdint>

namespace vellor {

// How a file or a paste is sent: all at once as fast as the line takes it, or paced for a device
// that cannot keep up (a bootloader's prompt, a modem without flow control). Milliseconds
// throughout.
struct SendPacing {
    uint32_t charDelayMs = 0;       // after every byte
    uint32_t lineDelayMs = 0;       // after every line end (LF, or CR with no LF after it), on top
    bool waitForEcho = false;       // after each line, wait until the device echoes its last byte
    uint32_t echoTimeoutMs = 1000;  // how long to wait for that echo before sending on
    bool operator==(const SendPacing&) const = default;

    bool Paced() const { return charDelayMs != 0 || lineDelayMs != 0 || waitForEcho; }
};

// The largest delay or timeout accepted, one minute.
inline constexpr uint32_t kMaxPacingMs = 60'000;

using SendClock = std::chrono::steady_clock;

// What comes between two bytes on the wire.
struct Pause {
    std::chrono::milliseconds delay{0};
    bool awaitEcho = false;  // first wait for the device to echo the earlier byte
    bool Any() const { return delay.count() != 0 || awaitEcho; }
    bool operator==(const Pause&) const = default;
};

// The pause between `previous` and `next`, two bytes in a row on the wire. A line ends after an
// LF, or after a CR that no LF follows, so a CR LF pair is never split by a line's pause.
Pause PauseBetween(uint8_t previous, uint8_t next, const SendPacing& pacing);

// Whether a line's pause may follow this byte, depending on the byte after it.
bool MayEndLine(uint8_t byte);

// When the next byte is due, `pause` after the previous one. The previous byte was due at `due`
// and went out at `sent`. Counting from when it was due keeps a schedule of many small delays
// from drifting by the time each wake-up takes; a byte that went out late (the line held it off,
// or its echo was awaited) moves the schedule, so the next byte never follows it early.
SendClock::time_point NextDue(SendClock::time_point due, SendClock::time_point sent,
                              std::chrono::milliseconds pause);

// How late a byte may go out and still count as on time.
inline constexpr std::chrono::milliseconds kOnTimeSlack{1};

}  // namespace vellor
