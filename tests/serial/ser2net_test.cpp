// Network ports against the real ser2net serving a pseudo-terminal made here: opened as from the
// Comm menu over each of its accepters, byte-exact both ways, line settings arriving on the
// terminal, and the server going away.
//
// A pseudo-terminal always runs 8 data bits without parity: the kernel clears CSIZE and PARENB
// whatever ser2net sets. So data size and parity's enable bit are checked in what ser2net
// confirmed; rate, stop bits, the odd/mark/space bits and flow control on the terminal itself.
#include <termios.h>

#include <gtest/gtest.h>

#include "serial/device_names.h"
#include "serial/line_defaults.h"
#include "serial/port_connection.h"
#include "serial/serial_device.h"
#include "support/pty_pair.h"
#include "support/screen_fixture.h"
#include "support/ser2net_server.h"
#include "support/temp_folder.h"

namespace vellor::testing {
namespace {

using Accepter = Ser2NetServer::Accepter;

std::string AllBytes() {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    return all + std::string(300, '\xff') + "\xff\xfe\xff\xfa\xff\xf0" + "end";
}

class Ser2Net : public ::testing::TestWithParam<Accepter> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(pty.ok());
        server = std::make_unique<Ser2NetServer>(pty.slavePath, GetParam(), folder.Path(""));
        ASSERT_TRUE(server->ok()) << server->Why();
        DefaultPortSettings(*state);
        state->portName = server->Name();
        state->portConfig.SetBaudRate(57600);
        ASSERT_TRUE(state->captureFile.Open(folder.Path("capture.log")));
        ASSERT_TRUE(OpenPort(*state, host)) << host.messages.at(0).detail;
    }
    void TearDown() override { ClosePort(*state, host); }

    PtyPair pty;
    TempFolder folder;
    std::unique_ptr<Ser2NetServer> server;
    FakeHost host;
    std::unique_ptr<AppState> state = MakeScreen(25, 80);
};

// The title names the port; over RFC 2217 the stored rate is on the terminal, otherwise the
// dialog's note says the settings do not reach it; every byte value and runs of 0xFF are captured
// exactly, and typed bytes arrive exactly.
TEST_P(Ser2Net, EveryByteBothWays) {
    EXPECT_EQ(host.title, "VL: " + server->Name());
    termios line{};
    ASSERT_EQ(tcgetattr(pty.slave, &line), 0);
    EXPECT_EQ(cfgetospeed(&line) == B57600, GetParam() == Accepter::Rfc2217);
    EXPECT_EQ(state->portHandle->LineSettingsNote().empty(), GetParam() == Accepter::Rfc2217);
    const std::string all = AllBytes();
    ASSERT_TRUE(pty.Send(all));
    const std::string capture = folder.Path("capture.log");
    EXPECT_TRUE(host.RunUntil([&] { return ReadFile(capture).size() >= all.size(); }));
    EXPECT_EQ(ReadFile(capture), all);
    for (char c : all)
        WritePortByte(*state, uint8_t(c));
    EXPECT_EQ(pty.Receive(all.size()), all);
    EXPECT_TRUE(host.messages.empty());
}

// The server stopping is a lost device: without reconnecting the port closes with one message;
// with it the port waits silently and carries on once the server is back, the capture whole.
TEST_P(Ser2Net, StoppingTheServerLosesThePortUntilItIsBack) {
    const std::string capture = folder.Path("capture.log");
    ASSERT_TRUE(pty.Send("before|"));
    ASSERT_TRUE(host.RunUntil([&] { return ReadFile(capture).size() >= 7; })) << "nothing came";
    server->Stop();
    ASSERT_TRUE(host.RunUntil([&] { return state->portWaiter != nullptr; })) << "not waiting";
    EXPECT_EQ(host.title, "VL: " + server->Name() + " (waiting for device)");
    server =
        std::make_unique<Ser2NetServer>(pty.slavePath, GetParam(), folder.Path(""), server->port());
    ASSERT_TRUE(server->ok()) << server->Why();
    ASSERT_TRUE(host.RunUntil([&] { return PortIsOpen(*state); })) << "never reconnected";
    EXPECT_EQ(host.title, "VL: " + server->Name());
    ASSERT_TRUE(pty.Send("after"));
    EXPECT_TRUE(host.RunUntil([&] { return ReadFile(capture).size() >= 12; }));
    EXPECT_EQ(ReadFile(capture), "before|after");
    EXPECT_TRUE(host.messages.empty());

    state->preferences.reconnect = false;
    server->Stop();
    ASSERT_TRUE(host.RunUntil([&] { return !PortIsOpen(*state) && !state->portOpen; }));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "ReadPort Failed");
    EXPECT_EQ(host.title, "Vellor");
}

std::string AccepterName(const ::testing::TestParamInfo<Accepter>& info) {
    const char* names[] = {"Rfc2217", "RawTcp", "PlainTelnet"};
    return names[int(info.param)];
}
INSTANTIATE_TEST_SUITE_P(Accepters, Ser2Net,
                         ::testing::Values(Accepter::Rfc2217, Accepter::RawTcp,
                                           Accepter::PlainTelnet),
                         AccepterName);

// Each setting chosen reaches the terminal through ser2net, Configure succeeds on its
// confirmation, and reading back gives what it confirmed. DTR, RTS and break requests (a
// pseudo-terminal has no lines to answer them with) leave the stream in step.
TEST(Ser2NetLine, SettingsReachTheTerminal) {
    PtyPair pty;
    TempFolder folder;
    ASSERT_TRUE(pty.ok());
    Ser2NetServer server(pty.slavePath, Accepter::Rfc2217, folder.Path(""));
    ASSERT_TRUE(server.ok()) << server.Why();
    int error = 0;
    auto device = OpenSerialDevice(server.Name(), error);
    ASSERT_NE(device, nullptr) << error;
    AppState state;
    DefaultPortSettings(state);
    struct Case {
        uint32_t baud;
        speed_t speed;
        uint8_t dataBits, parity, stopBits;  // the record's numbering
        FlowControl flow;
    };
    // Mark and space come last: ser2net 4.3 keeps the stick-parity bit once set, so odd or even
    // after them would be confirmed as mark or space.
    for (const Case& c : {Case{57600, B57600, 8, 0, 0, FlowControl::None},
                          Case{19200, B19200, 7, 1, 2, FlowControl::RtsCts},
                          Case{9600, B9600, 8, 2, 0, FlowControl::RtsCts},
                          Case{1200, B1200, 6, 3, 0, FlowControl::XonXoff},
                          Case{115200, B115200, 5, 4, 2, FlowControl::None}}) {
        SCOPED_TRACE(c.baud);
        PortConfig config = state.portConfig;
        config.SetBaudRate(c.baud);
        config.SetByteSize(c.dataBits);
        config.SetParity(c.parity);
        config.SetStopBits(c.stopBits);
        config.SetFlags(ApplyFlowControl(config.Flags(), c.flow));
        ASSERT_EQ(device->Configure(config), 0);
        termios line{};
        ASSERT_EQ(tcgetattr(pty.slave, &line), 0);
        EXPECT_EQ(cfgetospeed(&line), c.speed);
        EXPECT_EQ((line.c_cflag & CSTOPB) != 0, c.stopBits == 2);
        EXPECT_EQ((line.c_cflag & PARODD) != 0, c.parity == 1 || c.parity == 3);
        EXPECT_EQ((line.c_cflag & CMSPAR) != 0, c.parity == 3 || c.parity == 4);
        EXPECT_EQ((line.c_cflag & CRTSCTS) != 0, c.flow == FlowControl::RtsCts);
        EXPECT_EQ((line.c_iflag & IXON) != 0, c.flow == FlowControl::XonXoff);
        PortConfig back = state.portConfig;
        ASSERT_EQ(device->ReadConfig(back), 0);
        EXPECT_EQ(back.BaudRate(), c.baud);
        EXPECT_EQ(back.ByteSize(), c.dataBits);
        EXPECT_EQ(back.Parity(), c.parity);
        EXPECT_EQ(back.StopBits(), c.stopBits);
        EXPECT_EQ(FlowControlOf(back.Flags()), c.flow);
    }
    device->SetDtr(false);
    device->SetRts(false);
    device->SendBreak(10);
    device->SetDtr(true);
    const std::string all = AllBytes();
    const auto bytes = std::span(reinterpret_cast<const uint8_t*>(all.data()), all.size());
    EXPECT_EQ(device->Write(bytes, 10000).written, all.size());
    EXPECT_EQ(pty.Receive(all.size()), all);
}

}  // namespace
}  // namespace vellor::testing
