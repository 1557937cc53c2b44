#include "serial/posix_serial_device.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "app/app_state.h"
#include "serial/line_defaults.h"
#include "serial/pty_pair.h"

namespace vellor {
namespace {

using testing::PtyPair;

PortConfig Defaults() {
    AppState state;
    DefaultPortSettings(state);
    return state.portConfig;
}

std::shared_ptr<PosixSerialDevice> OpenSlave(const PtyPair& pty) {
    int error = 0;
    auto device = PosixSerialDevice::Open(pty.slavePath, error);
    EXPECT_EQ(error, 0);
    return device;
}

TEST(PosixSerialDevice, SecondOpenOfTheSameDeviceIsBusy) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    auto first = OpenSlave(pty);
    ASSERT_NE(first, nullptr);
    int error = 0;
    EXPECT_EQ(PosixSerialDevice::Open(pty.slavePath, error), nullptr);
    EXPECT_EQ(error, EBUSY);
    first->Close();
    auto again = PosixSerialDevice::Open(pty.slavePath, error);
    EXPECT_NE(again, nullptr);
}

// A refused second open must not lift the first one's exclusive use of the line.
TEST(PosixSerialDevice, RefusedSecondOpenKeepsTheFirstOnesExclusiveUse) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    auto first = OpenSlave(pty);
    ASSERT_NE(first, nullptr);
    int error = 0;
    EXPECT_EQ(PosixSerialDevice::Open(pty.slavePath, error), nullptr);
    int exclusive = 0;
    ASSERT_EQ(ioctl(pty.slave, TIOCGEXCL, &exclusive), 0);
    EXPECT_NE(exclusive, 0);
}

class RateTest : public ::testing::TestWithParam<uint32_t> {};

// Rates the C library's speed functions reject go through termios2 and read back exactly.
TEST_P(RateTest, ReadsBackTheExactRate) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    auto device = OpenSlave(pty);
    ASSERT_NE(device, nullptr);
    PortConfig config = Defaults();
    config.SetBaudRate(GetParam());
    ASSERT_EQ(device->Configure(config), 0);
    PortConfig back;
    ASSERT_EQ(device->ReadConfig(back), 0);
    EXPECT_EQ(back.BaudRate(), GetParam());
    EXPECT_EQ(back.DCBlength(), 28u);
}

INSTANTIATE_TEST_SUITE_P(Rates, RateTest,
                         ::testing::Values(110u, 300u, 1200u, 9600u, 14400u, 19200u, 38400u, 56000u,
                                           57600u, 115200u, 128000u, 230400u, 256000u, 921600u,
                                           12345u));

TEST(PosixSerialDevice, PseudoTerminalForcedFramingIsNotAFailure) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    auto device = OpenSlave(pty);
    ASSERT_NE(device, nullptr);
    PortConfig config = Defaults();
    config.SetByteSize(7);
    config.SetParity(3);  // mark
    config.SetStopBits(2);
    EXPECT_EQ(device->Configure(config), 0);
    PortConfig back = config;
    ASSERT_EQ(device->ReadConfig(back), 0);
    EXPECT_EQ(back.ByteSize(), 8);  // what the device really runs
    EXPECT_EQ(back.Parity(), 0);
}

TEST(PosixSerialDevice, RefusesFourDataBitsAndOneAndAHalfStopBits) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    auto device = OpenSlave(pty);
    ASSERT_NE(device, nullptr);
    PortConfig config = Defaults();
    config.SetByteSize(4);
    EXPECT_EQ(device->Configure(config), EINVAL);
    config = Defaults();
    config.SetStopBits(1);
    EXPECT_EQ(device->Configure(config), EINVAL);
}

TEST(PosixSerialDevice, FlowControlAndXonCharactersReadBack) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    auto device = OpenSlave(pty);
    ASSERT_NE(device, nullptr);
    PortConfig config = Defaults();
    config.SetFlags(ApplyFlowControl(config.Flags(), FlowControl::XonXoff));
    ASSERT_EQ(device->Configure(config), 0);
    PortConfig back;
    ASSERT_EQ(device->ReadConfig(back), 0);
    EXPECT_EQ(FlowControlOf(back.Flags()), FlowControl::XonXoff);
    EXPECT_EQ(back.XonChar(), 0x11);
    EXPECT_EQ(back.XoffChar(), 0x13);

    config.SetFlags(ApplyFlowControl(config.Flags(), FlowControl::RtsCts));
    ASSERT_EQ(device->Configure(config), 0);
    ASSERT_EQ(device->ReadConfig(back), 0);
    EXPECT_EQ(FlowControlOf(back.Flags()), FlowControl::RtsCts);
}

TEST(PosixSerialDevice, RawBothWays) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    auto device = OpenSlave(pty);
    ASSERT_NE(device, nullptr);
    ASSERT_EQ(device->Configure(Defaults()), 0);

    // Every byte value, CR, LF, ^C and ^S included, arrives untouched.
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    ASSERT_TRUE(pty.Send(all));
    std::string got;
    std::array<uint8_t, 4096> buffer;
    while (got.size() < all.size()) {
        ASSERT_EQ(device->Wait(10000), WaitResult::Ready);
        for (;;) {
            const ReadResult r = device->Read(buffer);
            if (r.status != ReadStatus::Data) {
                ASSERT_EQ(r.status, ReadStatus::Empty);
                break;
            }
            got.append(reinterpret_cast<const char*>(buffer.data()), r.count);
        }
    }
    EXPECT_EQ(got, all);

    for (char c : all)
        device->WriteByte(uint8_t(c));
    EXPECT_EQ(pty.Receive(all.size()), all);
}

TEST(PosixSerialDevice, NothingWaitingReadsEmpty) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    auto device = OpenSlave(pty);
    ASSERT_NE(device, nullptr);
    std::array<uint8_t, 16> buffer;
    EXPECT_EQ(device->Read(buffer).status, ReadStatus::Empty);
    EXPECT_EQ(device->Wait(0), WaitResult::Timeout);
}

TEST(PosixSerialDevice, HangUpReadsAsLost) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    auto device = OpenSlave(pty);
    ASSERT_NE(device, nullptr);
    pty.CloseMaster();
    ASSERT_EQ(device->Wait(10000), WaitResult::Ready);
    std::array<uint8_t, 16> buffer;
    const ReadResult r = device->Read(buffer);
    EXPECT_EQ(r.status, ReadStatus::Lost);
    EXPECT_NE(r.error, 0);
}

TEST(PosixSerialDevice, ModemCallsOnAPseudoTerminalAreHarmless) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    auto device = OpenSlave(pty);
    ASSERT_NE(device, nullptr);
    device->SetDtr(true);
    device->SetRts(false);
    EXPECT_EQ(device->ModemStatus(), 0u);
}

TEST(PosixSerialDevice, InterruptEndsWaitsForGood) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    auto device = OpenSlave(pty);
    ASSERT_NE(device, nullptr);
    device->Interrupt();
    EXPECT_EQ(device->Wait(60000), WaitResult::Interrupted);
    EXPECT_EQ(device->Wait(60000), WaitResult::Interrupted);
}

// A close never waits for the line: what the driver still holds to send is dropped first, so a
// line held off by flow control cannot keep the close (and the window) waiting.
TEST(PosixSerialDevice, CloseDropsOutputTheLineHasNotTaken) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    auto device = OpenSlave(pty);
    ASSERT_NE(device, nullptr);
    // Fill the line from the test's own end while the far end reads nothing.
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
TEST(PosixSerialDevice, CloseGivesTheDeviceBackItsSettings) {
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

    auto device = OpenSlave(pty);
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

TEST(PosixSerialDevice, AfterCloseEverythingIsANoOp) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    auto device = OpenSlave(pty);
    ASSERT_NE(device, nullptr);
    device->Close();
    device->Close();
    device->WriteByte('x');
    EXPECT_EQ(device->Wait(60000), WaitResult::Interrupted);
    std::array<uint8_t, 16> buffer;
    EXPECT_EQ(device->Read(buffer).status, ReadStatus::Lost);
    EXPECT_EQ(device->Configure(Defaults()), EBADF);
    EXPECT_EQ(pty.Drain(), "");
}

}  // namespace
}  // namespace vellor
