#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "serial/port_config.h"
#include "serial/serial_device.h"
#include "transfer/send_job.h"

namespace vellor {

struct AppState;

// What the status bar shows, gathered from the state on the UI thread a few times a second.
struct StatusReport {
    // "/dev/ttyUSB0 115200 8N1 RTS/CTS", "closed", or the name waiting for its device.
    std::string port;
    bool waiting = false;
    // Bytes through the line since the port was opened: "RX 1.2 KiB  TX 56 B"; empty when closed.
    std::string traffic;
    // The line errors the driver counted since the port was opened, in the order framing,
    // parity, overrun, buffer overrun, break; no number when the driver keeps no counts.
    struct LineError {
        const char* name;
        std::optional<uint64_t> count;
        bool operator==(const LineError&) const = default;
    };
    std::array<LineError, 5> errors{};
    bool open = false;
    // "Capture: /tmp/board.log 12.0 KiB"; empty when nothing is captured.
    std::string capture;
    // "Sending 1.2 MiB of 4.0 MiB (30%), 110.5 KiB/s", and that the device holds it off;
    // empty when no send runs.
    std::string send;
};

// A running send as the status bar tells it.
std::string DescribeSend(const SendProgress& progress);

StatusReport ReportStatus(const AppState& state);

// A byte count in the unit that keeps it short: "999 B", "1.5 KiB", "12.0 MiB".
std::string FormatBytes(uint64_t bytes);

// Each count less the one at `start`; a count that went down (a driver that reset it) counts
// from zero again.
LineCounters CountsSince(const LineCounters& start, const LineCounters& now);

}  // namespace vellor
