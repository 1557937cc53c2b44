// What the status bar says about the port, its traffic, its errors and the capture.
#include <gtest/gtest.h>

#include "app/status_report.h"
#include "serial/line_defaults.h"
#include "serial/port_connection.h"
#include "serial/port_waiter.h"
#include "support/fake_host.h"
#include "support/fake_serial_device.h"
#include "support/pty_pair.h"
#include "support/screen_fixture.h"
#include "support/temp_folder.h"
#include "transfer/capture_command.h"

namespace vellor::testing {
namespace {

std::vector<std::optional<uint64_t>> Counts(const StatusReport& report) {
    std::vector<std::optional<uint64_t>> counts;
    for (const auto& error : report.errors)
        counts.push_back(error.count);
    return counts;
}

TEST(StatusReport, LineSettingsReadAsAUserWritesThem) {
    const struct {
        uint32_t rate;
        uint8_t bits, parity, stop;
        FlowControl flow;
        const char* shown;
    } cases[] = {
        {115200, 8, 0, 0, FlowControl::RtsCts, "115200 8N1 RTS/CTS"},
        {9600, 7, 2, 2, FlowControl::XonXoff, "9600 7E2 XON/XOFF"},
        {300, 5, 3, 1, FlowControl::None, "300 5M1.5"},
        {1200, 8, 9, 7, FlowControl::None, "1200 8??"},
    };
    for (const auto& c : cases) {
        PortConfig config;
        config.SetBaudRate(c.rate);
        config.SetByteSize(c.bits);
        config.SetParity(c.parity);
        config.SetStopBits(c.stop);
        config.SetFlags(ApplyFlowControl(0, c.flow));
        EXPECT_EQ(DescribeLine(config), c.shown);
    }
    EXPECT_EQ(FormatBytes(1023), "1023 B");
    EXPECT_EQ(FormatBytes(1536), "1.5 KiB");
    EXPECT_EQ(FormatBytes(5ull << 30), "5.0 GiB");
    EXPECT_EQ(DescribeSend({3 << 20, 4 << 20, 2048, false, false}),
              "Sending 3.0 MiB of 4.0 MiB (75%), 2.0 KiB/s");
    EXPECT_EQ(DescribeSend({10, 0, 0, true, true}), "Pasting 10 B of 0 B, held off by the device");
}

// Closed, open with what the device took and the errors since opening (a counter the driver
// reset counts again from zero), waiting for a device that went away.
TEST(StatusReport, FollowsThePortFromOpenToWaiting) {
    auto state = MakeScreen(80, 25, DisplayMode::Text);
    DefaultPortSettings(*state);
    FakeHost host;
    EXPECT_EQ(ReportStatus(*state).port, "closed");
    EXPECT_TRUE(ReportStatus(*state).traffic.empty());

    auto device = std::make_shared<FakeSerialDevice>();
    device->reportedRate = 57600;  // the device rounded the rate asked for
    device->counters = LineCounters{3, 0, 7, 0, 0};
    state->portName = "fake";
    state->portConfig.SetBaudRate(56000);
    ASSERT_TRUE(OpenPortWith(*state, host, [&](const std::string&, int&) { return device; }));
    EXPECT_EQ(ReportStatus(*state).port.substr(0, 11), "fake 57600 ");
    EXPECT_EQ(Counts(ReportStatus(*state)), (std::vector<std::optional<uint64_t>>{0, 0, 0, 0, 0}));
    device->SetCounters(LineCounters{5, 0, 2, 0, 1});
    WritePortByte(*state, 'x');
    const StatusReport report = ReportStatus(*state);
    EXPECT_EQ(Counts(report), (std::vector<std::optional<uint64_t>>{2, 0, 2, 0, 1}));
    EXPECT_EQ(report.traffic, "RX 0 B  TX 1 B");
    device->SetCounters(std::nullopt);  // a driver without counts (a pseudo-terminal)
    EXPECT_EQ(Counts(ReportStatus(*state)), std::vector<std::optional<uint64_t>>(5));

    TempFolder folder;
    host.answers.push_back(folder.Path("board.log"));
    ToggleCapture(*state, host);
    EXPECT_EQ(ReportStatus(*state).capture, "Capture: " + folder.Path("board.log") + " 0 B");
    ToggleCapture(*state, host);

    state->portWaiter = std::make_shared<PortWaiter>("fake", state->portConfig, nullptr);
    EXPECT_EQ(ReportStatus(*state).port, "fake (waiting for device)");
    ClosePort(*state, host);
    EXPECT_EQ(ReportStatus(*state).port, "closed");
}

}  // namespace
}  // namespace vellor::testing
