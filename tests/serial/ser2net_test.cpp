// Network ports against the real ser2net serving a pseudo-terminal, over each of its accepters.
#include <termios.h>

#include <gtest/gtest.h>

#include <array>

#include "serial/line_defaults.h"
#include "serial/port_connection.h"
#include "support/pty_pair.h"
#include "support/screen_fixture.h"
#include "support/scripted_telnet_peer.h"
#include "support/ser2net_server.h"

namespace vellor::testing {
namespace {

using Accepter = Ser2NetServer::Accepter;

PortConfig LineConfig(uint32_t baud, uint8_t dataBits, uint8_t parity, uint8_t stopBits,
                      FlowControl flow) {
    PortConfig config;
    config.SetDCBlength(PortConfig::kSize);
    config.SetBaudRate(baud);
    config.SetByteSize(dataBits);
    config.SetParity(parity);
    config.SetStopBits(stopBits);
    config.SetFlags(ApplyFlowControl(0, flow));
    return config;
}

// The port opened as from the Comm menu with a stored rate of 57600, capturing.
class Ser2Net : public ::testing::TestWithParam<Accepter> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(pty.ok());
        server = std::make_unique<Ser2NetServer>(pty.slavePath, GetParam(), folder.Path(""));
        ASSERT_TRUE(server->ok()) << server->Why();
        DefaultPortSettings(*state);
        state->portName = server->Name();
        state->preferences.reconnect = false;
        state->portConfig.SetBaudRate(57600);
        ASSERT_TRUE(state->captureFile.Open(capture));
        ASSERT_TRUE(OpenPort(*state, host)) << host.messages.at(0).detail;
    }
    void TearDown() override { ClosePort(*state, host); }
    termios Line() {
        termios line{};
        EXPECT_EQ(tcgetattr(pty.slave, &line), 0);
        return line;
    }

    const bool rfc2217 = GetParam() == Accepter::Rfc2217;
    PtyPair pty;
    TempFolder folder;
    const std::string capture = folder.Path("capture.log"), all = AllBytes();
    std::unique_ptr<Ser2NetServer> server;
    FakeHost host;
    std::unique_ptr<AppState> state = MakeScreen(25, 80);
};

// Every byte value is captured and typed exactly; only RFC 2217 brings the stored rate to the
// line. The server stopping loses the port, which closes with one message.
TEST_P(Ser2Net, EveryByteBothWaysUntilTheServerStops) {
    EXPECT_EQ(state->portHandle->LineSettingsNote().empty(), rfc2217);
    ASSERT_TRUE(pty.Send(all));
    host.RunUntil([&] { return ReadFile(capture).size() >= all.size(); });
    EXPECT_EQ(ReadFile(capture), all);
    for (char c : all)
        WritePortByte(*state, uint8_t(c));
    EXPECT_EQ(pty.Receive(all.size()), all);
    const termios line = Line();  // ser2net has set up the terminal once data went through
    EXPECT_EQ(cfgetospeed(&line), rfc2217 ? B57600 : B9600);
    EXPECT_TRUE(host.messages.empty());
    server->Stop();
    ASSERT_TRUE(host.RunUntil([&] { return !PortIsOpen(*state) && !state->portOpen; }));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "ReadPort Failed");
}

// DTR, RTS and break keep the stream in step (a pseudo-terminal has no lines to show them). Over
// RFC 2217 each setting reaches the terminal once ser2net confirms it, as reading back shows (it
// keeps 8 bits without parity whatever is set); 1.5 stop bits ser2net leaves unanswered, which
// fails. Otherwise the terminal keeps ser2net's own settings.
TEST_P(Ser2Net, SettingsReachTheTerminal) {
    SerialDevice& device = *state->portHandle;
    device.SetDtr(false);
    device.SetRts(false);
    device.SendBreak(10);
    device.SetDtr(true);
    EXPECT_EQ(device.Write(AsBytes(all), 10000).written, all.size());
    EXPECT_EQ(pty.Receive(all.size()), all);
    using F = FlowControl;
    // Mark and space come last: ser2net 4.3 keeps the stick-parity bit once set.
    for (const auto& [config, speed, cflag] :
         std::initializer_list<std::tuple<PortConfig, speed_t, tcflag_t>>{
             {LineConfig(57600, 8, 0, 0, F::None), B57600, 0},
             {LineConfig(19200, 7, 1, 2, F::RtsCts), B19200, CSTOPB | PARODD | CRTSCTS},
             {LineConfig(9600, 8, 2, 0, F::RtsCts), B9600, CRTSCTS},
             {LineConfig(1200, 6, 3, 0, F::XonXoff), B1200, PARODD | CMSPAR},
             {LineConfig(115200, 5, 4, 2, F::None), B115200, CSTOPB | CMSPAR}}) {
        SCOPED_TRACE(DescribeLine(config));
        ASSERT_EQ(device.Configure(config), 0);
        const termios line = Line();
        EXPECT_EQ(cfgetospeed(&line), rfc2217 ? speed : B9600);
        EXPECT_EQ(line.c_cflag & (CSTOPB | PARODD | CMSPAR | CRTSCTS), rfc2217 ? cflag : 0);
        EXPECT_EQ((line.c_iflag & IXON) != 0,
                  rfc2217 && FlowControlOf(config.Flags()) == F::XonXoff);
        PortConfig back = LineConfig(50, 8, 0, 1, F::None);
        ASSERT_EQ(device.ReadConfig(back), 0);
        EXPECT_EQ(back, rfc2217 ? config : LineConfig(50, 8, 0, 1, F::None)) << DescribeLine(back);
    }
    EXPECT_EQ(device.Configure(LineConfig(9600, 8, 0, 1, F::None)), rfc2217 ? EINVAL : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Accepters, Ser2Net,
    ::testing::Values(Accepter::Rfc2217, Accepter::RawTcp, Accepter::PlainTelnet),
    [](const auto& info) {
        return std::string(std::array{"Rfc2217", "RawTcp", "PlainTelnet"}[int(info.param)]);
    });

}  // namespace
}  // namespace vellor::testing
