// The terminal device through a pseudo-terminal.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/app_state.h"
#include "serial/line_defaults.h"
#include "serial/line_mapping.h"
#include "serial/posix_serial_device.h"
#include "support/pty_pair.h"

namespace vellor::testing {
namespace {

class PosixDevice : public ::testing::Test {
  protected:
    void SetUp() override {
        DefaultPortSettings(state);
        ASSERT_NE(device = PosixSerialDevice::Open(pty.slavePath, error), nullptr) << error;
    }
    PtyPair pty;
    AppState state;
    int error = 0;
    std::shared_ptr<PosixSerialDevice> device;
    std::array<uint8_t, 4096> buffer;
};

// A second opener is refused (even root, whom TIOCEXCL lets through) without undoing the first
// one's exclusive use; after Close every call is a no-op, and the device opens again.
TEST_F(PosixDevice, UsedByOneOpenerAtATimeAndInertOnceClosed) {
    int exclusive = 0;
    EXPECT_EQ(PosixSerialDevice::Open(pty.slavePath, error), nullptr);
    EXPECT_EQ(error, EBUSY);
    ASSERT_EQ(ioctl(pty.slave, TIOCGEXCL, &exclusive), 0);
    EXPECT_NE(exclusive, 0);
    device->Close();
    device->Close();
    device->WriteByte('x');
    EXPECT_EQ(device->Read(buffer).status, ReadStatus::Lost);
    EXPECT_EQ(device->Configure(state.portConfig), EBADF);
    EXPECT_EQ(pty.Drain(), "");
    EXPECT_NE(PosixSerialDevice::Open(pty.slavePath, error), nullptr);
}

// Rates the C library's speed functions do not know read back exactly; framing a pseudo-terminal
// cannot do is not a failure, and what it really runs is what reads back.
TEST_F(PosixDevice, SettingsApplyAndReadBack) {
    PortConfig& config = state.portConfig;
    PortConfig back;
    for (uint32_t rate : {110u, 56000u, 12345u}) {
        config.SetBaudRate(rate);
        ASSERT_EQ(device->Configure(config), 0) << rate;
        ASSERT_EQ(device->ReadConfig(back), 0) << rate;
        EXPECT_EQ(back.BaudRate(), rate);
    }
    config.SetByteSize(7);
    config.SetParity(3);
    config.SetFlags(ApplyFlowControl(config.Flags(), FlowControl::XonXoff));
    ASSERT_EQ(device->Configure(config), 0);
    ASSERT_EQ(device->ReadConfig(back), 0);
    EXPECT_EQ(back.ByteSize() * 10 + back.Parity(), 80);
    EXPECT_EQ(FlowControlOf(back.Flags()), FlowControl::XonXoff);
    config.SetStopBits(1);
    EXPECT_EQ(device->Configure(config), EINVAL);
}

// Every byte value passes untouched both ways; nothing waiting reads as empty; Interrupt ends
// every wait for good; the far end going away reads as a lost device.
TEST_F(PosixDevice, RawBothWaysThenInterruptAndHangUp) {
    ASSERT_EQ(device->Configure(state.portConfig), 0);
    EXPECT_EQ(device->Read(buffer).status, ReadStatus::Empty);
    std::string all, got;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    ASSERT_TRUE(pty.Send(all));
    while (got.size() < all.size()) {
        ASSERT_EQ(device->Wait(10000), WaitResult::Ready) << "received " << got.size();
        for (ReadResult r; (r = device->Read(buffer)).status == ReadStatus::Data;)
            got.append(reinterpret_cast<const char*>(buffer.data()), r.count);
    }
    EXPECT_EQ(got, all);
    const auto* bytes = reinterpret_cast<const uint8_t*>(all.data());
    EXPECT_EQ(device->Write(std::span(bytes, 256), 1000).written, 256u);
    EXPECT_EQ(pty.Receive(256), all);
    device->Interrupt();
    EXPECT_EQ(device->Wait(60000), WaitResult::Interrupted);
    EXPECT_EQ(device->Wait(60000), WaitResult::Interrupted);
    pty.CloseMaster();
    const ReadResult r = device->Read(buffer);
    EXPECT_TRUE(r.status == ReadStatus::Lost && r.error != 0);
}

// A close never waits for a line held off by flow control: what the driver still holds to send
// is dropped; and the terminal is handed back as it was found, not left raw.
TEST_F(PosixDevice, CloseDropsPendingOutputAndRestoresTheSettings) {
    device->Close();
    termios before{}, after{};
    ASSERT_EQ(tcgetattr(pty.slave, &before), 0);
    before.c_lflag |= ICANON | ECHO | ISIG;
    before.c_iflag |= ICRNL | IXON;
    before.c_oflag |= OPOST | ONLCR;
    cfsetspeed(&before, B9600);
    ASSERT_EQ(tcsetattr(pty.slave, TCSANOW, &before), 0);
    ASSERT_EQ(tcgetattr(pty.slave, &before), 0);
    ASSERT_NE(device = PosixSerialDevice::Open(pty.slavePath, error), nullptr);
    ASSERT_EQ(device->Configure(state.portConfig), 0);
    ASSERT_EQ(tcgetattr(pty.slave, &after), 0);
    EXPECT_EQ(after.c_lflag & ICANON, 0u);
    ASSERT_EQ(fcntl(pty.slave, F_SETFL, fcntl(pty.slave, F_GETFL) | O_NONBLOCK), 0);
    std::size_t queued = 0;
    for (ssize_t n; (n = write(pty.slave, buffer.data(), buffer.size())) > 0;)
        queued += std::size_t(n);
    ASSERT_GT(queued, 4096u);
    device->Close();
    EXPECT_LT(pty.Drain().size(), queued);
    ASSERT_EQ(tcgetattr(pty.slave, &after), 0);
    EXPECT_EQ(std::tie(after.c_iflag, after.c_oflag, after.c_cflag, after.c_lflag),
              std::tie(before.c_iflag, before.c_oflag, before.c_cflag, before.c_lflag));
    EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before));
}

}  // namespace
}  // namespace vellor::testing
