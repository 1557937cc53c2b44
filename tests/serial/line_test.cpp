// Port names, the line-settings record and what it asks of a terminal driver.
#include <gtest/gtest.h>

#include <cerrno>

#include "app/app_state.h"
#include "serial/device_names.h"
#include "serial/line_defaults.h"
#include "serial/line_mapping.h"
#include "serial/serial_device.h"

namespace vellor {
namespace {

PortConfig Defaults() {
    AppState state;
    DefaultPortSettings(state);
    return state.portConfig;
}

TEST(DeviceNames, MapToPathsAndTheLoopback) {
    const std::pair<std::string, std::optional<std::string>> names[] = {
        {"COM1", "/dev/ttyS0"},
        {"com10", "/dev/ttyS9"},
        {"COM01", "/dev/ttyS0"},
        {"COM0", std::nullopt},
        {"", std::nullopt},
        {"ttyUSB0", "/dev/ttyUSB0"},
        {"COM", "/dev/COM"},
        {"COM1x", "/dev/COM1x"},
        {"COM-1", "/dev/COM-1"},
        {"./rel/tty", "./rel/tty"},
        {"/dev/serial/by-id/usb-x", "/dev/serial/by-id/usb-x"},
        {"COM99999999999999999999", "/dev/COM99999999999999999999"}};
    for (const auto& [name, path] : names)
        EXPECT_EQ(DevicePathForPortName(name), path) << name;
    EXPECT_TRUE(IsLoopbackName("LoOp"));
    EXPECT_FALSE(IsLoopbackName("LOOP1"));
    EXPECT_FALSE(IsLoopbackName("/dev/LOOP"));

    int error = 0;
    for (const auto& [name, reason] : std::vector<std::pair<std::string, int>>{
             {"COM0", ENOENT}, {"/dev/vellor-no-such-device", ENOENT}, {"/dev/null", ENOTTY}}) {
        EXPECT_EQ(OpenSerialDevice(name, error), nullptr) << name;
        EXPECT_EQ(error, reason) << name;
    }
    auto loop = OpenSerialDevice("Loop", error);
    ASSERT_NE(loop, nullptr);
    loop->Close();
}

TEST(LineSettings, DefaultsKeepEveryOtherByteAndTheUpperFlagBits) {
    AppState state;
    state.portConfig.bytes.fill(0xA5);
    DefaultPortSettings(state);
    const PortConfig& c = state.portConfig;
    EXPECT_EQ(state.portName, "COM1");
    EXPECT_EQ(c.DCBlength(), 28u);
    EXPECT_EQ(c.BaudRate(), 115200u);
    EXPECT_EQ(c.Flags(), 0xA5A58000u | 0x2097u);  // bits 15 and up kept
    EXPECT_EQ(c.ByteSize(), 8);
    EXPECT_EQ(c.Parity() + c.StopBits(), 0);
    for (std::size_t i : {12u, 13u, 14u, 15u, 16u, 17u, 21u, 22u, 27u})
        EXPECT_EQ(c.bytes[i], 0xA5) << i;
}

// The flag words each flow-control choice leaves, and what the driver is asked for.
TEST(LineSettings, FlowControlChoices) {
    struct Case {
        FlowControl choice;
        uint32_t flags;  // from the defaults
        bool rtsCts, xon;
    } cases[] = {{FlowControl::None, 0x1093, false, false},
                 {FlowControl::RtsCts, 0x2097, true, false},
                 {FlowControl::XonXoff, 0x1393, false, true}};
    for (const Case& c : cases) {
        PortConfig config = Defaults();
        config.SetFlags(ApplyFlowControl(config.Flags() | 0x300, c.choice));
        EXPECT_EQ(config.Flags(), c.flags);
        EXPECT_EQ(FlowControlOf(config.Flags()), c.choice);
        const TtyLine line = TtyLineFromConfig(config);
        EXPECT_EQ(line.rtsCts, c.rtsCts);
        EXPECT_EQ(line.xonOutput && line.xonInput, c.xon);
        EXPECT_EQ(line.xonChar, 0x11);  // DC1 and DC3 when the record holds none
        EXPECT_EQ(line.xoffChar, 0x13);
    }
}

TEST(LineSettings, FramingADeviceCanTake) {
    struct Case {
        uint8_t byteSize, parity, stopBits;
        bool ok;
    } cases[] = {{8, 0, 0, true},  {7, 2, 0, true},  {7, 1, 2, true},  {6, 3, 0, true},
                 {5, 4, 2, true},  {4, 0, 0, false}, {9, 0, 0, false}, {8, 5, 0, false},
                 {8, 0, 1, false}, {8, 0, 3, false}};
    for (const Case& c : cases) {
        PortConfig config = Defaults();
        config.SetByteSize(c.byteSize);
        config.SetParity(c.parity);
        config.SetStopBits(c.stopBits);
        SCOPED_TRACE(::testing::Message() << int(c.byteSize) << int(c.parity) << int(c.stopBits));
        EXPECT_EQ(CheckLineSettings(config), c.ok ? 0 : EINVAL);
        if (!c.ok) continue;
        const TtyLine line = TtyLineFromConfig(config);
        EXPECT_EQ(line.dataBits, c.byteSize);
        EXPECT_EQ(line.parity, c.parity);
        EXPECT_EQ(line.twoStopBits, c.stopBits == 2);
    }
    PortConfig zero = Defaults();
    zero.SetBaudRate(0);
    EXPECT_EQ(CheckLineSettings(zero), EINVAL);
}

// What the driver reports goes back into the record without touching the other bytes, and reads
// as the same line again.
TEST(LineSettings, ReadBackKeepsEveryOtherByte) {
    PortConfig config;
    for (std::size_t i = 0; i < PortConfig::kSize; ++i)
        config.bytes[i] = uint8_t(0xA0 + i);
    const PortConfig before = config;
    TtyLine line;
    line.baud = 256000;
    line.dataBits = 7;
    line.parity = 3;
    line.twoStopBits = true;
    line.xonOutput = line.xonInput = true;
    line.xonChar = 'Q';
    StoreTtyLine(line, config);
    EXPECT_EQ(config.DCBlength(), 28u);
    EXPECT_EQ(FlowControlOf(config.Flags()), FlowControl::XonXoff);
    EXPECT_EQ(config.Flags() & 0xFFFFCCFBu, before.Flags() & 0xFFFFCCFBu);
    for (std::size_t i : {12u, 13u, 14u, 15u, 16u, 17u, 23u, 24u, 25u, 26u, 27u})
        EXPECT_EQ(config.bytes[i], before.bytes[i]) << "byte " << i;
    EXPECT_EQ(TtyLineFromConfig(config), line);
    line.rtsCts = true;
    line.xonOutput = line.xonInput = false;
    StoreTtyLine(line, config);
    EXPECT_EQ(config.RtsControl(), 2u);
    EXPECT_EQ(FlowControlOf(config.Flags()), FlowControl::RtsCts);
}

// A real port may round the rate by its clock (2 %); only a pseudo-terminal may force 8N1.
TEST(LineSettings, AcceptedMeansTheRateWithinRoundingAndTheFramingAskedFor) {
    TtyLine asked;
    asked.baud = 56000;
    asked.dataBits = 7;
    asked.parity = 2;
    TtyLine got = asked;
    EXPECT_TRUE(LineAccepted(asked, got, false));
    got.baud = 57000;
    EXPECT_TRUE(LineAccepted(asked, got, false));
    got.baud = 57600;
    EXPECT_FALSE(LineAccepted(asked, got, true));
    got = TtyLine{};
    got.baud = 56000;  // 8N1
    EXPECT_TRUE(LineAccepted(asked, got, true));
    EXPECT_FALSE(LineAccepted(asked, got, false));
}

TEST(LineSettings, DialogNumbersConvertLikeTheOldRuntime) {
    const std::pair<const char*, int32_t> cases[] = {
        {"9600", 9600}, {"  -12x", -12}, {"+7", 7}, {"abc", 0}, {"", 0}, {"4294967297", 1}};
    for (const auto& [text, number] : cases)
        EXPECT_EQ(TextToNumber(text), number) << text;
}

}  // namespace
}  // namespace vellor
