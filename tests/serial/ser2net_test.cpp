// Network ports against the real ser2net serving a pseudo-terminal, over each of its accepters.
#include <termios.h>

#include <gtest/gtest.h>

#include <array>

#include "serial/line_defaults.h"
#include "serial/port_connection.h"
#include "support/pty_pair.h"
#include "support/screen_fixture.h"
#include "support/ser2net_server.h"

namespace vellor::testing {
namespace {

using Accepter = Ser2NetServer::Accepter;

std::string AllBytes() {  // every value, a run of 0xFF, what reads as commands unless escaped
    std::string all(256 + 300, '\xff');
    for (int b = 0; b < 256; ++b)
        all[b] = char(b);
    return all + "\xff\xfe\xff\xfa\xff\xf0" + "end";
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

    const bool rfc2217 = GetParam() == Accepter::Rfc2217;
    PtyPair pty;
    TempFolder folder;
    const std::string capture = folder.Path("capture.log"), all = AllBytes();
    std::unique_ptr<Ser2NetServer> server;
    FakeHost host;
    std::unique_ptr<AppState> state = MakeScreen(25, 80);
};

// Every byte both ways, DTR, RTS and break keeping in step; the stored rate, then each setting,
// reach the terminal over RFC 2217 only (it keeps 8 bits without parity: the read-back shows
// those), where 1.5 stop bits go unanswered and fail. The server stopping is a lost device: waited
// for and reopened when reconnecting is on, otherwise closed with one message.
TEST_P(Ser2Net, CarriesEveryByteAndSettingUntilTheServerStops) {
    SerialDevice& device = *state->portHandle;
    EXPECT_EQ(device.LineSettingsNote().empty(), rfc2217);
    ASSERT_TRUE(pty.Send(all));
    host.RunUntil([&] { return ReadFile(capture).size() >= all.size(); });
    EXPECT_EQ(ReadFile(capture), all);
    device.SetDtr(false);  // a pseudo-terminal has no lines to show these
    device.SetRts(false);
    device.SendBreak(10);
    for (char c : all)
        WritePortByte(*state, uint8_t(c));
    EXPECT_EQ(pty.Receive(all.size()), all);
    termios line{};  // by now ser2net has set up the terminal
    ASSERT_EQ(tcgetattr(pty.slave, &line), 0);
    EXPECT_EQ(cfgetospeed(&line), rfc2217 ? B57600 : B9600);
    using F = FlowControl;
    using Case = std::tuple<uint32_t, uint8_t, uint8_t, uint8_t, F, speed_t, tcflag_t>;
    PortConfig config = state->portConfig, back;
    // Mark and space come last: ser2net 4.3 keeps the stick-parity bit once set.
    for (const auto& [baud, bits, parity, stop, flow, speed, cflag] :
         std::initializer_list<Case>{{57600, 8, 0, 0, F::None, B57600, 0},
                                     {19200, 7, 1, 2, F::RtsCts, B19200, CSTOPB | PARODD | CRTSCTS},
                                     {9600, 8, 2, 0, F::RtsCts, B9600, CRTSCTS},
                                     {1200, 6, 3, 0, F::XonXoff, B1200, PARODD | CMSPAR},
                                     {115200, 5, 4, 2, F::None, B115200, CSTOPB | CMSPAR}}) {
        config.SetBaudRate(baud);
        config.SetByteSize(bits);
        config.SetParity(parity);
        config.SetStopBits(stop);
        config.SetFlags(ApplyFlowControl(config.Flags(), flow));
        SCOPED_TRACE(DescribeLine(config));
        ASSERT_EQ(device.Configure(config), 0);
        ASSERT_EQ(tcgetattr(pty.slave, &line), 0);
        EXPECT_EQ(cfgetospeed(&line), rfc2217 ? speed : B9600);
        EXPECT_EQ(line.c_cflag & (CSTOPB | PARODD | CMSPAR | CRTSCTS), rfc2217 ? cflag : 0);
        EXPECT_EQ((line.c_iflag & IXON) != 0, rfc2217 && flow == F::XonXoff);
        ASSERT_EQ(device.ReadConfig(back), 0);
        EXPECT_EQ(DescribeLine(back), DescribeLine(rfc2217 ? config : PortConfig{}));
    }
    config.SetStopBits(1);
    EXPECT_EQ(device.Configure(config), rfc2217 ? EINVAL : 0);
    EXPECT_TRUE(host.messages.empty());
    state->preferences.reconnect = true;  // lost silently, then back once the server is
    server->Stop();
    ASSERT_TRUE(host.RunUntil([&] { return state->portWaiter != nullptr; })) << "not waiting";
    EXPECT_EQ(host.title, "VL: " + server->Name() + " (waiting for device)");
    server =
        std::make_unique<Ser2NetServer>(pty.slavePath, GetParam(), folder.Path(""), server->port());
    ASSERT_TRUE(server->ok()) << server->Why();
    ASSERT_TRUE(host.RunUntil([&] { return PortIsOpen(*state); })) << "never reconnected";
    EXPECT_TRUE(host.messages.empty() && host.title == "VL: " + server->Name());
    state->preferences.reconnect = false;
    server->Stop();
    ASSERT_TRUE(host.RunUntil([&] { return !PortIsOpen(*state) && !state->portOpen; }));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "ReadPort Failed");
}

std::string AccepterName(const ::testing::TestParamInfo<Accepter>& info) {
    return std::array{"Rfc2217", "RawTcp", "PlainTelnet"}[int(info.param)];
}
INSTANTIATE_TEST_SUITE_P(Accepters, Ser2Net,
                         ::testing::Values(Accepter::Rfc2217, Accepter::RawTcp,
                                           Accepter::PlainTelnet),
                         AccepterName);

}  // namespace
}  // namespace vellor::testing
