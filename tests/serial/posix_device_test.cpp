// The terminal device through a pseudo-terminal.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/app_state.h"
#include "serial/line_defaults.h"
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

// One opener at a time (even root, whom TIOCEXCL lets through); once closed, inert but reopenable.
TEST_F(PosixDevice, UsedByOneOpenerAtATimeAndInertOnceClosed) {
    EXPECT_EQ(PosixSerialDevice::Open(pty.slavePath, error), nullptr);
    EXPECT_EQ(error, EBUSY);
    int exclusive = 0;
    EXPECT_TRUE(ioctl(pty.slave, TIOCGEXCL, &exclusive) == 0 && exclusive) << "undone by refusal";
    device->Close();
    device->Close();
    device->WriteByte('x');
    EXPECT_EQ(device->Read(buffer).status, ReadStatus::Lost);
    EXPECT_EQ(device->Configure(state.portConfig), EBADF);
    EXPECT_EQ(pty.Drain(), "");
    EXPECT_NE(PosixSerialDevice::Open(pty.slavePath, error), nullptr);
}

// Rates the C library does not know read back exactly; 1.5 stop bits are refused.
TEST_F(PosixDevice, SettingsApplyAndReadBack) {
    PortConfig& config = state.portConfig;
    PortConfig back;
    for (uint32_t rate : {110u, 56000u, 12345u}) {
        config.SetBaudRate(rate);
        ASSERT_EQ(device->Configure(config), 0) << rate;
        ASSERT_EQ(device->ReadConfig(back), 0) << rate;
        EXPECT_EQ(back.BaudRate(), rate);
    }
    config.SetStopBits(1);
    EXPECT_EQ(device->Configure(config), EINVAL);
}

// Every byte value passes both ways; Interrupt ends every wait; a hang-up reads as lost.
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

// Close drops output a held-off line has not taken, and gives the terminal back as it was.
TEST_F(PosixDevice, CloseDropsPendingOutputAndRestoresTheSettings) {
    device->Close();
    termios before{}, after{};
    ASSERT_EQ(tcgetattr(pty.slave, &before), 0);
    before.c_lflag |= ICANON | ECHO | ISIG;
    before.c_oflag |= OPOST | ONLCR;
    cfsetspeed(&before, B9600);
    ASSERT_EQ(tcsetattr(pty.slave, TCSANOW, &before), 0);
    ASSERT_EQ(tcgetattr(pty.slave, &before), 0);
    ASSERT_NE(device = PosixSerialDevice::Open(pty.slavePath, error), nullptr);
    ASSERT_EQ(device->Configure(state.portConfig), 0);
    ASSERT_EQ(tcgetattr(pty.slave, &after), 0);
    EXPECT_EQ(after.c_lflag & ICANON, 0u) << "not raw";
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
