#include "app/status_report.h"

#include <cstdio>

#include "app/app_state.h"
#include "serial/port_connection.h"
#include "transfer/send_command.h"

namespace vellor {

namespace {

uint64_t Since(uint64_t start, uint64_t now) {
    return now >= start ? now - start : now;
}

}  // namespace

std::string FormatBytes(uint64_t bytes) {
    if (bytes < 1024) return std::to_string(bytes) + " B";
    constexpr const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
    double value = double(bytes) / 1024;
    std::size_t unit = 0;
    for (; value >= 1024 && unit + 1 < std::size(kUnits); ++unit)
        value /= 1024;
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
    return text;
}

std::string DescribeSend(const SendProgress& progress) {
    std::string text = progress.paste ? "Pasting " : "Sending ";
    text += FormatBytes(progress.sent) + " of " + FormatBytes(progress.total);
    if (progress.total > 0) {
        text += " (" + std::to_string(progress.sent * 100 / progress.total) + "%)";
    }
    if (progress.heldOff) return text + ", held off by the device";
    return text + ", " + FormatBytes(uint64_t(progress.bytesPerSecond)) + "/s";
}

LineCounters CountsSince(const LineCounters& start, const LineCounters& now) {
    return {Since(start.framing, now.framing), Since(start.parity, now.parity),
            Since(start.overrun, now.overrun), Since(start.bufferOverrun, now.bufferOverrun),
            Since(start.breaks, now.breaks)};
}

StatusReport ReportStatus(const AppState& state) {
    StatusReport report;
    report.errors = {
        {{"framing", {}}, {"parity", {}}, {"overrun", {}}, {"buffer overrun", {}}, {"break", {}}}};
    report.open = state.portOpen != 0;
    report.waiting = state.portWaiter != nullptr;
    if (!report.open) {
        report.port = "closed";
    } else if (report.waiting) {
        report.port = state.openPortName + " (waiting for device)";
    } else {
        report.port = state.openPortName + " " + state.lineSummary;
    }
    if (report.open) {
        report.traffic = "RX " + FormatBytes(state.traffic.received.load()) + "  TX " +
                         FormatBytes(state.traffic.sent.load());
        const std::optional<LineCounters> now = PortCounters(state);
        if (now && state.countersAtOpen) {
            const LineCounters since = CountsSince(*state.countersAtOpen, *now);
            const uint64_t counts[] = {since.framing, since.parity, since.overrun,
                                       since.bufferOverrun, since.breaks};
            for (std::size_t i = 0; i < report.errors.size(); ++i)
                report.errors[i].count = counts[i];
        }
    }
    if (const auto capture = state.captureFile.CurrentProgress())
        report.capture = "Capture: " + capture->path + " " + FormatBytes(capture->bytes);
    if (const auto send = CurrentSendProgress(state)) report.send = DescribeSend(*send);
    return report;
}

}  // namespace vellor
