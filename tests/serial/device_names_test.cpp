#include <gtest/gtest.h>

#include <cerrno>
#include <optional>
#include <string>

#include "serial/port_connection.h"
#include "serial/serial_device.h"

namespace vellor {
namespace {

struct NameCase {
    std::string name;
    std::optional<std::string> path;
};

class DevicePathTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(DevicePathTest, MapsPortNameToPath) {
    EXPECT_EQ(DevicePathForPortName(GetParam().name), GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(
    Names, DevicePathTest,
    ::testing::Values(NameCase{"COM1", "/dev/ttyS0"}, NameCase{"COM2", "/dev/ttyS1"},
                      NameCase{"COM10", "/dev/ttyS9"}, NameCase{"com3", "/dev/ttyS2"},
                      NameCase{"COM01", "/dev/ttyS0"}, NameCase{"COM0", std::nullopt},
                      NameCase{"", std::nullopt}, NameCase{"ttyUSB0", "/dev/ttyUSB0"},
                      NameCase{"COM", "/dev/COM"}, NameCase{"COM1x", "/dev/COM1x"},
                      NameCase{"COM-1", "/dev/COM-1"}, NameCase{"/dev/ttyUSB0", "/dev/ttyUSB0"},
                      NameCase{"/dev/serial/by-id/usb-FTDI-if00-port0",
                               "/dev/serial/by-id/usb-FTDI-if00-port0"},
                      NameCase{"./relative/tty", "./relative/tty"},
                      NameCase{"COM99999999999999999999", "/dev/COM99999999999999999999"}));

TEST(LoopbackName, MatchesInAnyCase) {
    EXPECT_TRUE(IsLoopbackName("LOOP"));
    EXPECT_TRUE(IsLoopbackName("loop"));
    EXPECT_TRUE(IsLoopbackName("LoOp"));
    EXPECT_FALSE(IsLoopbackName("LOOP1"));
    EXPECT_FALSE(IsLoopbackName("/dev/LOOP"));
    EXPECT_FALSE(IsLoopbackName(""));
}

TEST(ExtraPortNames, ListsTheLoopbackDevice) {
    EXPECT_EQ(ListExtraPortNames(), std::vector<std::string>{"LOOP"});
}

TEST(OpenSerialDevice, ComZeroNamesNoDevice) {
    int error = 0;
    EXPECT_EQ(OpenSerialDevice("COM0", error), nullptr);
    EXPECT_EQ(error, ENOENT);
}

TEST(OpenSerialDevice, MissingDeviceFails) {
    int error = 0;
    EXPECT_EQ(OpenSerialDevice("/dev/vellor-no-such-device", error), nullptr);
    EXPECT_EQ(error, ENOENT);
}

TEST(OpenSerialDevice, RefusesWhatIsNotATerminal) {
    int error = 0;
    EXPECT_EQ(OpenSerialDevice("/dev/null", error), nullptr);
    EXPECT_EQ(error, ENOTTY);
}

TEST(OpenSerialDevice, LoopbackInAnyCase) {
    int error = -1;
    auto device = OpenSerialDevice("Loop", error);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(error, 0);
    device->Close();
}

}  // namespace
}  // namespace vellor
