#include <gtest/gtest.h>

#include "app/status_report.h"
#include "serial/line_defaults.h"
#include "serial/port_connection.h"
#include "serial/port_waiter.h"
#include "support/fake_serial_device.h"
#include "support/screen_fixture.h"
#include "support/temp_folder.h"
#include "transfer/capture_command.h"

namespace vellor::testing {
namespace {

// The line as a user writes it, sizes, a send; then a port from closed through open (errors
// counted since opening, from zero again after a driver reset, none without counts) to waiting.
TEST(StatusReport, ReadsAsAUserWritesIt) {
    const std::tuple<uint32_t, uint8_t, uint8_t, uint8_t, FlowControl, const char*> lines[] = {
        {115200, 8, 0, 0, FlowControl::RtsCts, "115200 8N1 RTS/CTS"},
        {9600, 7, 2, 2, FlowControl::XonXoff, "9600 7E2 XON/XOFF"},
        {300, 5, 3, 1, FlowControl::None, "300 5M1.5"},
        {1200, 8, 9, 7, FlowControl::None, "1200 8??"}};
    for (const auto& [rate, bits, parity, stop, flow, shown] : lines) {
        PortConfig config;
        config.SetBaudRate(rate), config.SetByteSize(bits), config.SetParity(parity);
        config.SetStopBits(stop), config.SetFlags(ApplyFlowControl(0, flow));
        EXPECT_EQ(DescribeLine(config), shown);
    }
    EXPECT_EQ(FormatBytes(1023) + ", " + FormatBytes(1536) + ", " + FormatBytes(5ull << 30),
              "1023 B, 1.5 KiB, 5.0 GiB");
    EXPECT_EQ(
        DescribeSend({3 << 20, 4 << 20, 2048, false, false}) + "|" +
            DescribeSend({10, 0, 0, true, true}),
        "Sending 3.0 MiB of 4.0 MiB (75%), 2.0 KiB/s|Pasting 10 B of 0 B, held off by the device");

    auto state = MakeScreen(80, 25, DisplayMode::Text);
    DefaultPortSettings(*state);
    FakeHost host;
    const auto report = [&] {
        const StatusReport r = ReportStatus(*state);
        std::string text = r.port + "|" + r.traffic + "|" + r.capture + "|";
        for (const auto& error : r.errors)
            text += error.count ? std::to_string(*error.count) : "-";
        return text;
    };
    EXPECT_EQ(report(), "closed|||-----");
    auto device = std::make_shared<FakeSerialDevice>();
    device->reportedRate = 57600;  // the device rounded the rate asked for
    device->counters = LineCounters{3, 0, 7, 0, 0};
    state->portName = "fake";
    state->portConfig.SetBaudRate(56000);
    ASSERT_TRUE(OpenPortWith(*state, host, [&](const std::string&, int&) { return device; }));
    device->SetCounters(LineCounters{5, 0, 2, 0, 1});
    WritePortByte(*state, 'x');
    TempFolder folder;
    host.answers.push_back(folder.Path("board.log"));
    ToggleCapture(*state, host);
    EXPECT_EQ(report(), "fake 57600 8N1 RTS/CTS|RX 0 B  TX 1 B|Capture: " +
                            folder.Path("board.log") + " 0 B|20201");
    ToggleCapture(*state, host);
    device->SetCounters(std::nullopt);
    state->portWaiter = std::make_shared<PortWaiter>("fake", state->portConfig, nullptr);
    EXPECT_EQ(report(), "fake (waiting for device)|RX 0 B  TX 1 B||-----");
}

}  // namespace
}  // namespace vellor::testing
