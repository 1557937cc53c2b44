// The terminal device through a pseudo-terminal.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <cerrno>

#include "app/app_state.h"
#include "serial/line_defaults.h"
#include "serial/line_mapping.h"
#include "serial/posix_serial_device.h"
#include "support/pty_pair.h"

namespace vellor {
namespace {

using testing::PtyPair;

PortConfig Defaults() {
    AppState state;
    DefaultPortSettings(state);
    return state.portConfig;
}

class PosixDevice : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(pty.ok());
        int error = 0;
        device = PosixSerialDevice::Open(pty.slavePath, error);
        ASSERT_NE(device, nullptr) << error;
    }
    PtyPair pty;
    std::shared_ptr<PosixSerialDevice> device;
};

// A second opener is refused (even root, whom TIOCEXCL lets through), and the refusal leaves the
// first one's exclusive use in place; once closed, the device opens again.
TEST_F(PosixDevice, UsedByOneOpenerAtATime) {
    int error = 0;
    EXPECT_EQ(PosixSerialDevice::Open(pty.slavePath, error), nullptr);
    EXPECT_EQ(error, EBUSY);
    int exclusive = 0;
    ASSERT_EQ(ioctl(pty.slave, TIOCGEXCL, &exclusive), 0);
    EXPECT_NE(exclusive, 0);
    device->Close();
    EXPECT_NE(PosixSerialDevice::Open(pty.slavePath, error), nullptr);
}

// Rates the C library's speed functions do not know go through and read back exactly; framing a
// pseudo-terminal cannot do is not a failure, and what it really runs is what reads back.
TEST_F(PosixDevice, SettingsApplyAndReadBack) {
    for (uint32_t rate : {110u, 14400u, 56000u, 128000u, 256000u, 921600u, 12345u}) {
        PortConfig config = Defaults();
        config.SetBaudRate(rate);
        ASSERT_EQ(device->Configure(config), 0) << rate;
        PortConfig back;
        ASSERT_EQ(device->ReadConfig(back), 0);
        EXPECT_EQ(back.BaudRate(), rate);
        EXPECT_EQ(back.DCBlength(), 28u);
    }
    PortConfig framed = Defaults();
    framed.SetByteSize(7);
    framed.SetParity(3);
    framed.SetStopBits(2);
    framed.SetFlags(ApplyFlowControl(framed.Flags(), FlowControl::XonXoff));
    EXPECT_EQ(device->Configure(framed), 0);
    PortConfig back = framed;
    ASSERT_EQ(device->ReadConfig(back), 0);
    EXPECT_EQ(back.ByteSize(), 8);
    EXPECT_EQ(back.Parity(), 0);
    EXPECT_EQ(FlowControlOf(back.Flags()), FlowControl::XonXoff);
    PortConfig fourBits = Defaults();
    fourBits.SetByteSize(4);
    EXPECT_EQ(device->Configure(fourBits), EINVAL);
    PortConfig oneAndAHalf = Defaults();
    oneAndAHalf.SetStopBits(1);
    EXPECT_EQ(device->Configure(oneAndAHalf), EINVAL);
}

// Every byte value passes untouched both ways; nothing waiting reads as empty; modem calls on a
// pseudo-terminal are harmless and it keeps no error counters.
TEST_F(PosixDevice, RawBothWays) {
    ASSERT_EQ(device->Configure(Defaults()), 0);
    std::array<uint8_t, 4096> buffer;
    EXPECT_EQ(device->Read(buffer).status, ReadStatus::Empty);
    EXPECT_EQ(device->Wait(0), WaitResult::Timeout);
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    ASSERT_TRUE(pty.Send(all));
    std::string got;
    while (got.size() < all.size()) {
        ASSERT_EQ(device->Wait(10000), WaitResult::Ready) << "received " << got.size();
        for (ReadResult r; (r = device->Read(buffer)).status == ReadStatus::Data;)
            got.append(reinterpret_cast<const char*>(buffer.data()), r.count);
    }
    EXPECT_EQ(got, all);
    const WriteResult sent =
        device->Write(std::span(reinterpret_cast<const uint8_t*>(all.data()), all.size()), 1000);
    EXPECT_EQ(sent.written, all.size());
    EXPECT_EQ(pty.Receive(all.size()), all);
    device->SetDtr(true);
    device->SetRts(false);
    EXPECT_EQ(device->ModemStatus(), 0u);
    EXPECT_EQ(device->Counters(), std::nullopt);
}

// The far end going away reads as a lost device; Interrupt ends every wait for good; after Close
// everything is a no-op and nothing reaches the line.
TEST_F(PosixDevice, HangUpInterruptAndClose) {
    device->Interrupt();
    EXPECT_EQ(device->Wait(60000), WaitResult::Interrupted);
    EXPECT_EQ(device->Wait(60000), WaitResult::Interrupted);
    device->Close();
    device->Close();
    device->WriteByte('x');
    std::array<uint8_t, 16> buffer;
    EXPECT_EQ(device->Read(buffer).status, ReadStatus::Lost);
    EXPECT_EQ(device->Configure(Defaults()), EBADF);
    EXPECT_EQ(pty.Drain(), "");

    int error = 0;
    auto again = PosixSerialDevice::Open(pty.slavePath, error);
    ASSERT_NE(again, nullptr);
    pty.CloseMaster();
    ASSERT_EQ(again->Wait(10000), WaitResult::Ready);
    const ReadResult r = again->Read(buffer);
    EXPECT_EQ(r.status, ReadStatus::Lost);
    EXPECT_NE(r.error, 0);
}

// A close never waits for the line: what the driver still holds to send is dropped first, so a
// line held off by flow control cannot keep the close (and the window) waiting.
TEST_F(PosixDevice, CloseDropsOutputTheLineHasNotTaken) {
    ASSERT_EQ(fcntl(pty.slave, F_SETFL, fcntl(pty.slave, F_GETFL) | O_NONBLOCK), 0);
    const std::string chunk(4096, 'x');
    std::size_t queued = 0;
    for (ssize_t n; (n = write(pty.slave, chunk.data(), chunk.size())) > 0;)
        queued += std::size_t(n);
    ASSERT_GT(queued, 4096u);
    device->Close();
    EXPECT_LT(pty.Drain().size(), queued);
}

// A terminal is handed back as it was found, not left raw.
TEST(PosixDeviceSettings, CloseGivesTheDeviceBackItsSettings) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    termios cooked{};
    ASSERT_EQ(tcgetattr(pty.slave, &cooked), 0);
    cooked.c_lflag |= ICANON | ECHO | ISIG;
    cooked.c_iflag |= ICRNL | IXON;
    cooked.c_oflag |= OPOST | ONLCR;
    cfsetspeed(&cooked, B9600);
    ASSERT_EQ(tcsetattr(pty.slave, TCSANOW, &cooked), 0);
    termios before{};
    ASSERT_EQ(tcgetattr(pty.slave, &before), 0);

    int error = 0;
    auto device = PosixSerialDevice::Open(pty.slavePath, error);
    ASSERT_NE(device, nullptr);
    ASSERT_EQ(device->Configure(Defaults()), 0);
    termios during{};
    ASSERT_EQ(tcgetattr(pty.slave, &during), 0);
    EXPECT_EQ(during.c_lflag & ICANON, 0u);
    device->Close();

    termios after{};
    ASSERT_EQ(tcgetattr(pty.slave, &after), 0);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_oflag, before.c_oflag);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before));
}

}  // namespace
}  // namespace vellor
