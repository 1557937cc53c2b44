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

PortConfig Defaults() {
    AppState state;
    DefaultPortSettings(state);
    return state.portConfig;
}

class PosixDevice : public ::testing::Test {
  protected:
    void SetUp() override {
        int error = 0;
        ASSERT_TRUE(pty.ok());
        ASSERT_NE(device = PosixSerialDevice::Open(pty.slavePath, error), nullptr) << error;
    }
    testing::PtyPair pty;
    std::shared_ptr<PosixSerialDevice> device;
    std::array<uint8_t, 4096> buffer;
};

// A second opener is refused (even root, whom TIOCEXCL lets through) without undoing the first
// one's exclusive use; after Close every call is a no-op, and the device opens again.
TEST_F(PosixDevice, UsedByOneOpenerAtATimeAndInertOnceClosed) {
    int error = 0, exclusive = 0;
    EXPECT_EQ(PosixSerialDevice::Open(pty.slavePath, error), nullptr);
    EXPECT_EQ(error, EBUSY);
    ASSERT_EQ(ioctl(pty.slave, TIOCGEXCL, &exclusive), 0);
    EXPECT_NE(exclusive, 0);
    device->Close();
    device->Close();
    device->WriteByte('x');
    EXPECT_EQ(device->Read(buffer).status, ReadStatus::Lost);
    EXPECT_EQ(device->Configure(Defaults()), EBADF);
    EXPECT_EQ(pty.Drain(), "");
    EXPECT_NE(PosixSerialDevice::Open(pty.slavePath, error), nullptr);
}

// Rates the C library's speed functions do not know read back exactly; framing a pseudo-terminal
// cannot do is not a failure, and what it really runs is what reads back.
TEST_F(PosixDevice, SettingsApplyAndReadBack) {
    PortConfig config = Defaults(), back;
    for (uint32_t rate : {110u, 56000u, 921600u, 12345u}) {
        config.SetBaudRate(rate);
        ASSERT_EQ(device->Configure(config), 0) << rate;
        ASSERT_EQ(device->ReadConfig(back), 0);
        EXPECT_EQ(back.BaudRate(), rate);
    }
    config.SetByteSize(7);
    config.SetParity(3);
    config.SetFlags(ApplyFlowControl(config.Flags(), FlowControl::XonXoff));
    EXPECT_EQ(device->Configure(config), 0);
    ASSERT_EQ(device->ReadConfig(back), 0);
    EXPECT_EQ(back.ByteSize() * 10 + back.Parity(), 80);
    EXPECT_EQ(FlowControlOf(back.Flags()), FlowControl::XonXoff);
    config.SetStopBits(1);
    EXPECT_EQ(device->Configure(config), EINVAL);
}

// Every byte value passes untouched both ways; nothing waiting reads as empty; Interrupt ends
// every wait for good; the far end going away reads as a lost device.
TEST_F(PosixDevice, RawBothWaysThenInterruptAndHangUp) {
    ASSERT_EQ(device->Configure(Defaults()), 0);
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
    EXPECT_EQ(device->Write(std::span(bytes, all.size()), 1000).written, all.size());
    EXPECT_EQ(pty.Receive(all.size()), all);
    device->Interrupt();
    EXPECT_EQ(device->Wait(60000), WaitResult::Interrupted);
    EXPECT_EQ(device->Wait(60000), WaitResult::Interrupted);
    pty.CloseMaster();
    const ReadResult r = device->Read(buffer);
    EXPECT_EQ(r.status, ReadStatus::Lost);
    EXPECT_NE(r.error, 0);
}

// A close never waits for a line held off by flow control: what the driver still holds to send
// is dropped; and the terminal is handed back as it was found, not left raw.
TEST_F(PosixDevice, CloseDropsPendingOutputAndRestoresTheSettings) {
    device->Close();
    termios cooked{}, before{}, after{};
    ASSERT_EQ(tcgetattr(pty.slave, &cooked), 0);
    cooked.c_lflag |= ICANON | ECHO | ISIG;
    cooked.c_iflag |= ICRNL | IXON;
    cooked.c_oflag |= OPOST | ONLCR;
    cfsetspeed(&cooked, B9600);
    ASSERT_EQ(tcsetattr(pty.slave, TCSANOW, &cooked), 0);
    ASSERT_EQ(tcgetattr(pty.slave, &before), 0);
    int error = 0;
    ASSERT_NE(device = PosixSerialDevice::Open(pty.slavePath, error), nullptr);
    ASSERT_EQ(device->Configure(Defaults()), 0);
    ASSERT_EQ(tcgetattr(pty.slave, &after), 0);
    EXPECT_EQ(after.c_lflag & ICANON, 0u);
    ASSERT_EQ(fcntl(pty.slave, F_SETFL, fcntl(pty.slave, F_GETFL) | O_NONBLOCK), 0);
    const std::string chunk(4096, 'x');
    std::size_t queued = 0;
    for (ssize_t n; (n = write(pty.slave, chunk.data(), chunk.size())) > 0;)
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
}  // namespace vellor
