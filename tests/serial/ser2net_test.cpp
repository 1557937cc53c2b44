// Network ports against the real ser2net serving a pseudo-terminal made here: what the user
// opens from the Comm menu, byte-exact both ways, line settings arriving on the terminal, and the
// server going away.
//
// A pseudo-terminal always runs 8 data bits without parity: the kernel clears CSIZE and PARENB
// whatever ser2net sets. So the data size, and parity's enable bit, are checked in what ser2net
// confirmed; the rate, stop bits, odd/mark/space parity bits and flow control on the terminal.
#include <termios.h>

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <iostream>

#include "app/app_state.h"
#include "serial/device_names.h"
#include "serial/line_defaults.h"
#include "serial/port_connection.h"
#include "serial/serial_device.h"
#include "support/fake_host.h"
#include "support/pty_pair.h"
#include "support/screen_fixture.h"
#include "support/ser2net_server.h"
#include "support/temp_folder.h"

namespace vellor::testing {
namespace {

using Accepter = Ser2NetServer::Accepter;

std::string AllByteValues() {
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
    }
    void TearDown() override {
        ClosePort(*state, host);
        if (HasFailure() && server) std::cerr << "ser2net said:\n" << server->Log();
    }
    bool OpenFromTheMenu() {
        const bool opened = OpenPort(*state, host);
        if (!opened && !host.messages.empty())
            ADD_FAILURE() << host.messages[0].text << ": " << host.messages[0].detail;
        return opened;
    }
    termios Line() const {
        termios line{};
        tcgetattr(pty.slave, &line);
        return line;
    }

    PtyPair pty;
    TempFolder folder;
    std::unique_ptr<Ser2NetServer> server;
    FakeHost host;
    std::unique_ptr<AppState> state = MakeScreen(25, 80);
};

// Opened as the user opens it: the title names the port; over RFC 2217 the stored rate is on the
// terminal; every byte value and runs of 0xFF are captured exactly, and typed bytes arrive exactly.
TEST_P(Ser2Net, EveryByteBothWays) {
    const std::string capture = folder.Path("capture.log");
    ASSERT_TRUE(state->captureFile.Open(capture));
    ASSERT_TRUE(OpenFromTheMenu());
    EXPECT_EQ(host.title, "VL: " + server->Name());
    if (GetParam() == Accepter::Rfc2217) {
        termios line = Line();
        EXPECT_EQ(cfgetospeed(&line), speed_t(B57600));
    }
    const std::string all = AllByteValues();
    ASSERT_TRUE(pty.Send(all));
    EXPECT_TRUE(host.RunUntil([&] { return ReadFile(capture).size() >= all.size(); }))
        << "captured " << ReadFile(capture).size() << " of " << all.size();
    EXPECT_EQ(ReadFile(capture), all);

    for (char c : all)
        WritePortByte(*state, uint8_t(c));
    EXPECT_EQ(pty.Receive(all.size()), all);
    EXPECT_TRUE(host.messages.empty());
}

// The server stopping is a lost device: the port closes with one message.
TEST_P(Ser2Net, StoppingTheServerLosesThePort) {
    ASSERT_TRUE(OpenFromTheMenu());
    ASSERT_TRUE(pty.Send("still here"));
    ASSERT_TRUE(host.RunUntil([&] {
        return ScreenText(*state).find("still here") != std::string::npos;
    })) << ScreenText(*state);
    server->Stop();
    ASSERT_TRUE(host.RunUntil([&] { return !PortIsOpen(*state); })) << "still open";
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "ReadPort Failed");
    EXPECT_EQ(host.title, "Vellor");
}

INSTANTIATE_TEST_SUITE_P(Accepters, Ser2Net, ::testing::Values(Accepter::Rfc2217, Accepter::RawTcp),
                         [](const auto& info) {
                             return info.param == Accepter::Rfc2217 ? "Rfc2217" : "RawTcp";
                         });

struct LineCase {
    uint32_t baud;
    speed_t speed;
    uint8_t dataBits;
    uint8_t parity;  // the record's numbering
    uint8_t stopBits;
    FlowControl flow;
};

// Each setting chosen reaches the terminal through ser2net, Configure succeeds on its
// confirmation, and reading back gives what it confirmed.
TEST(Ser2NetLine, SettingsReachTheTerminal) {
    PtyPair pty;
    TempFolder folder;
    ASSERT_TRUE(pty.ok());
    Ser2NetServer server(pty.slavePath, Accepter::Rfc2217, folder.Path(""));
    ASSERT_TRUE(server.ok()) << server.Why();
    int error = 0;
    auto device = OpenSerialDevice(server.Name(), error);
    ASSERT_NE(device, nullptr) << error;
    EXPECT_EQ(device->LineSettingsNote(), "");

    auto state = std::make_unique<AppState>();
    DefaultPortSettings(*state);
    // Mark and space come last: ser2net 4.3 keeps the stick-parity bit once set, so odd or even
    // after them is confirmed as mark or space (and Configure reports it).
    const LineCase cases[] = {
        {57600, B57600, 8, 0, 0, FlowControl::None},
        {19200, B19200, 7, 1, 2, FlowControl::RtsCts},
        {9600, B9600, 8, 2, 0, FlowControl::RtsCts},
        {1200, B1200, 6, 3, 0, FlowControl::XonXoff},
        {115200, B115200, 5, 4, 2, FlowControl::None},
        {230400, B230400, 8, 0, 2, FlowControl::None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.baud);
        PortConfig config = state->portConfig;
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
        if (c.parity != 0) {  // without parity the other parity bits mean nothing
            EXPECT_EQ((line.c_cflag & PARODD) != 0, c.parity == 1 || c.parity == 3);
            EXPECT_EQ((line.c_cflag & CMSPAR) != 0, c.parity == 3 || c.parity == 4);
        }
        EXPECT_EQ((line.c_cflag & CRTSCTS) != 0, c.flow == FlowControl::RtsCts);
        EXPECT_EQ((line.c_iflag & IXON) != 0, c.flow == FlowControl::XonXoff);

        PortConfig back = state->portConfig;
        ASSERT_EQ(device->ReadConfig(back), 0);
        EXPECT_EQ(back.BaudRate(), c.baud);
        EXPECT_EQ(back.ByteSize(), c.dataBits);
        EXPECT_EQ(back.Parity(), c.parity);
        EXPECT_EQ(back.StopBits(), c.stopBits);
        EXPECT_EQ(FlowControlOf(back.Flags()), c.flow);
    }

    // DTR, RTS and break requests leave the stream in step: a pseudo-terminal has no modem lines
    // to answer with, but what follows them still arrives whole both ways.
    device->SetDtr(false);
    device->SetRts(false);
    device->SendBreak(10);
    device->SetDtr(true);
    device->SetRts(true);
    const std::string all = AllByteValues();
    const WriteResult sent =
        device->Write(std::span(reinterpret_cast<const uint8_t*>(all.data()), all.size()), 10000);
    EXPECT_EQ(sent.written, all.size());
    EXPECT_EQ(pty.Receive(all.size()), all);
    device->Close();
}

// ser2net's plain telnet accepter refuses the serial-port option: the port still carries data, and
// says the settings do not reach the line.
TEST(Ser2NetLine, PlainTelnetRefusesTheOptionButCarriesData) {
    PtyPair pty;
    TempFolder folder;
    ASSERT_TRUE(pty.ok());
    Ser2NetServer server(pty.slavePath, Accepter::PlainTelnet, folder.Path(""));
    ASSERT_TRUE(server.ok()) << server.Why();
    int error = 0;
    auto device = OpenSerialDevice(server.Name(), error);
    ASSERT_NE(device, nullptr) << error;
    EXPECT_NE(device->LineSettingsNote(), "");
    auto state = std::make_unique<AppState>();
    DefaultPortSettings(*state);
    EXPECT_EQ(device->Configure(state->portConfig), 0);

    const std::string all = AllByteValues();
    ASSERT_TRUE(pty.Send(all));
    std::string got;
    std::array<uint8_t, 4096> buffer;
    EXPECT_TRUE(WaitUntil([&] {
        if (device->Wait(10) == WaitResult::Ready) {
            for (ReadResult r; (r = device->Read(buffer)).status == ReadStatus::Data;)
                got.append(reinterpret_cast<const char*>(buffer.data()), r.count);
        }
        return got.size() >= all.size();
    }));
    EXPECT_EQ(got, all);
    device->Close();
}

}  // namespace
}  // namespace vellor::testing
