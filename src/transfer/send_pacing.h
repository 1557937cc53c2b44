#pragma once

#include <cstdint>

namespace vellor {

// How a file is sent: all at once as fast as the line takes it, or paced for a device that
// cannot keep up (a bootloader's prompt, a modem without flow control). Milliseconds throughout.
struct SendPacing {
    uint32_t charDelayMs = 0;  // after every byte
    uint32_t lineDelayMs = 0;  // after every line end (CR, or LF not after CR), besides the above
    bool waitForEcho = false;  // after each line, wait until the device echoes its last byte
    uint32_t echoTimeoutMs = 1000;  // how long to wait for that echo before sending on
    bool operator==(const SendPacing&) const = default;

    bool Paced() const { return charDelayMs != 0 || lineDelayMs != 0 || waitForEcho; }
};

// The largest delay or timeout accepted, one minute.
inline constexpr uint32_t kMaxPacingMs = 60'000;

}  // namespace vellor
