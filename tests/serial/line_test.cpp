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
        {"COM0", {}},
        {"", {}},
        {"ttyUSB0", "/dev/ttyUSB0"},
        {"COM", "/dev/COM"},
        {"COM1x", "/dev/COM1x"},
        {"COM-1", "/dev/COM-1"},
        {"./rel/tty", "./rel/tty"},
        {"COM99999999999999999999", "/dev/COM99999999999999999999"}};
    for (const auto& [name, path] : names)
        EXPECT_EQ(DevicePathForPortName(name), path) << name;
    EXPECT_TRUE(IsLoopbackName("LoOp") && !IsLoopbackName("LOOP1") && !IsLoopbackName("/dev/LOOP"));
    int error = 0;
    EXPECT_EQ(OpenSerialDevice("/dev/null", error), nullptr);
    EXPECT_EQ(error, ENOTTY);
    auto loop = OpenSerialDevice("Loop", error);
    ASSERT_NE(loop, nullptr);
    loop->Close();
}

// The defaults overwrite only their own fields; the flow-control choices give these flag words
// and driver settings; the dialog's numbers convert like the old runtime.
TEST(LineSettings, DefaultsFlowControlAndDialogNumbers) {
    AppState state;
    state.portConfig.bytes.fill(0xA5);
    DefaultPortSettings(state);
    const PortConfig& d = state.portConfig;
    EXPECT_EQ(state.portName, "COM1");
    EXPECT_EQ(d.DCBlength() + d.BaudRate() + d.ByteSize() + d.Parity() + d.StopBits(), 115236u);
    EXPECT_EQ(d.Flags(), 0xA5A58000u | 0x2097u);  // bits 15 and up kept
    for (std::size_t i : {12u, 13u, 14u, 15u, 16u, 17u, 21u, 22u, 27u})
        EXPECT_EQ(d.bytes[i], 0xA5) << i;

    const struct {
        FlowControl choice;
        uint32_t flags;
        bool rtsCts, xon;
    } flows[] = {{FlowControl::None, 0x1093, false, false},
                 {FlowControl::RtsCts, 0x2097, true, false},
                 {FlowControl::XonXoff, 0x1393, false, true}};
    for (const auto& f : flows) {
        PortConfig config = Defaults();
        config.SetFlags(ApplyFlowControl(config.Flags() | 0x300, f.choice));
        EXPECT_EQ(config.Flags(), f.flags);
        EXPECT_EQ(FlowControlOf(config.Flags()), f.choice);
        const TtyLine line = TtyLineFromConfig(config);
        EXPECT_EQ(line.rtsCts, f.rtsCts);
        EXPECT_EQ(line.xonOutput && line.xonInput, f.xon);
        EXPECT_EQ(line.xonChar * 256 + line.xoffChar, 0x1113);  // DC1, DC3 when the record has none
    }
    for (const auto& [text, number] : {std::pair<const char*, int32_t>{"9600", 9600},
                                       {"  -12x", -12},
                                       {"+7", 7},
                                       {"abc", 0},
                                       {"4294967297", 1}})
        EXPECT_EQ(TextToNumber(text), number) << text;
}

// Framing a device can take and what the driver is asked for; the driver's answer goes back into
// the record without touching other bytes and reads as the same line; a rate within the clock's
// rounding counts as accepted, and only a pseudo-terminal may force 8N1.
TEST(LineSettings, FramingReadBackAndAcceptance) {
    for (const auto& [bits, parity, stop, ok] : {std::tuple{8, 0, 0, true},
                                                 {7, 2, 0, true},
                                                 {7, 1, 2, true},
                                                 {5, 4, 2, true},
                                                 {4, 0, 0, false},
                                                 {9, 0, 0, false},
                                                 {8, 5, 0, false},
                                                 {8, 0, 1, false},
                                                 {8, 0, 3, false}}) {
        PortConfig config = Defaults();
        config.SetByteSize(uint8_t(bits));
        config.SetParity(uint8_t(parity));
        config.SetStopBits(uint8_t(stop));
        EXPECT_EQ(CheckLineSettings(config), ok ? 0 : EINVAL) << bits << parity << stop;
        if (!ok) continue;
        const TtyLine line = TtyLineFromConfig(config);
        EXPECT_EQ(line.dataBits * 100 + line.parity * 10 + line.twoStopBits,
                  bits * 100 + parity * 10 + (stop == 2));
    }
    PortConfig zero = Defaults();
    zero.SetBaudRate(0);
    EXPECT_EQ(CheckLineSettings(zero), EINVAL);

    PortConfig config;
    for (std::size_t i = 0; i < PortConfig::kSize; ++i)
        config.bytes[i] = uint8_t(0xA0 + i);
    const PortConfig before = config;
    TtyLine line;
    line.baud = 256000;
    line.dataBits = 7;
    line.parity = 3;
    line.twoStopBits = line.xonOutput = line.xonInput = true;
    line.xonChar = 'Q';
    StoreTtyLine(line, config);
    EXPECT_EQ(config.DCBlength(), 28u);
    EXPECT_EQ(config.Flags() & 0xFFFFCCFBu, before.Flags() & 0xFFFFCCFBu);
    for (std::size_t i : {12u, 13u, 14u, 15u, 16u, 17u, 23u, 24u, 25u, 26u, 27u})
        EXPECT_EQ(config.bytes[i], before.bytes[i]) << "byte " << i;
    EXPECT_EQ(TtyLineFromConfig(config), line);
    line.rtsCts = true;
    line.xonOutput = line.xonInput = false;
    StoreTtyLine(line, config);
    EXPECT_EQ(config.RtsControl(), 2u);

    TtyLine asked;
    asked.baud = 56000;
    asked.dataBits = 7;
    asked.parity = 2;
    TtyLine got = asked;
    got.baud = 57000;
    EXPECT_TRUE(LineAccepted(asked, got, false));
    got.baud = 57600;
    EXPECT_FALSE(LineAccepted(asked, got, true));
    got = TtyLine{};
    got.baud = 56000;  // 8N1
    EXPECT_TRUE(LineAccepted(asked, got, true));
    EXPECT_FALSE(LineAccepted(asked, got, false));
}

}  // namespace
}  // namespace vellor
