#include <gtest/gtest.h>

#include "app/status_report.h"
#include "serial/line_defaults.h"
#include "serial/port_waiter.h"
#include "support/screen_fixture.h"

namespace vellor::testing {
namespace {

// Line, sizes, a send, errors since opening (a reset counter from zero), closed, open, waiting.
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
    EXPECT_EQ(CountsSince({3, 0, 7, 0, 0}, {5, 0, 2, 0, 1}), (LineCounters{2, 0, 2, 0, 1}));

    auto state = MakeScreen(80, 25, DisplayMode::Text);
    const auto report = [&] {
        const StatusReport r = ReportStatus(*state);
        std::string text = r.port + "|" + r.traffic + "|";
        for (const auto& error : r.errors)
            text += error.count ? std::to_string(*error.count) : "-";
        return text;
    };
    EXPECT_EQ(report(), "closed||-----");
    state->portOpen = 1, state->openPortName = "fake", state->lineSummary = "9600 7E2";
    state->traffic.received = 1536;
    EXPECT_EQ(report(), "fake 9600 7E2|RX 1.5 KiB  TX 0 B|-----");
    state->portWaiter = std::make_shared<PortWaiter>("fake", state->portConfig, nullptr);
    EXPECT_EQ(report(), "fake (waiting for device)|RX 1.5 KiB  TX 0 B|-----");
}

}  // namespace
}  // namespace vellor::testing
