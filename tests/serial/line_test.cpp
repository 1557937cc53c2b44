// Port names, the line-settings record, what it asks of a terminal driver, and the
// Communications dialog's logic.
#include <gtest/gtest.h>

#include <cerrno>

#include "app/app_state.h"
#include "serial/comm_dialog_model.h"
#include "serial/device_names.h"
#include "serial/line_defaults.h"
#include "serial/line_mapping.h"
#include "support/fake_serial_device.h"
#include "support/fake_settings.h"

namespace vellor::testing {
namespace {

TEST(DeviceNames, MapToPathsAndTheLoopback) {
    const std::pair<std::string, std::optional<std::string>> names[] = {
        {"com10", "/dev/ttyS9"},
        {"COM01", "/dev/ttyS0"},
        {"COM0", {}},
        {"", {}},
        {"COM1x", "/dev/COM1x"},
        {"./rel/tty", "./rel/tty"},
        {"COM99999999999", "/dev/COM99999999999"}};
    for (const auto& [name, path] : names)
        EXPECT_EQ(DevicePathForPortName(name), path) << name;
    EXPECT_TRUE(IsLoopbackName("LoOp") && !IsLoopbackName("LOOP1") && !IsLoopbackName("/dev/LOOP"));
}

// The defaults overwrite only their own fields; the flow-control choices give these flag words
// and driver settings; framing a device can take goes to the driver as asked.
TEST(LineSettings, DefaultsFlowControlAndFraming) {
    AppState state, clean;
    state.portConfig.bytes.fill(0xA5);
    DefaultPortSettings(state);
    DefaultPortSettings(clean);
    const PortConfig d = state.portConfig;
    EXPECT_EQ(d.DCBlength() + d.BaudRate() + d.ByteSize() + d.Parity() + d.StopBits(), 115236u);
    EXPECT_EQ(d.Flags(), 0xA5A58000u | 0x2097u);  // bits 15 and up kept
    EXPECT_EQ(d.bytes[12] & d.bytes[22] & d.bytes[27], 0xA5);
    for (const auto& [choice, flags, rtsCts, xon] : {std::tuple{FlowControl::None, 0x1093u, 0, 0},
                                                     {FlowControl::RtsCts, 0x2097u, 1, 0},
                                                     {FlowControl::XonXoff, 0x1393u, 0, 1}}) {
        PortConfig config = clean.portConfig;
        config.SetFlags(ApplyFlowControl(config.Flags() | 0x300, choice));
        EXPECT_EQ(config.Flags(), flags);
        EXPECT_EQ(FlowControlOf(config.Flags()), choice);
        const TtyLine line = TtyLineFromConfig(config);
        EXPECT_EQ(line.rtsCts * 10 + (line.xonOutput && line.xonInput), rtsCts * 10 + xon);
        EXPECT_EQ(line.xonChar * 256 + line.xoffChar, 0x1113);  // DC1, DC3 when the record has none
    }
    for (const auto& [bits, parity, stop, ok] : {std::tuple{7, 2, 0, true},
                                                 {5, 4, 2, true},
                                                 {4, 0, 0, false},
                                                 {9, 0, 0, false},
                                                 {8, 5, 0, false},
                                                 {8, 0, 1, false},
                                                 {8, 0, 3, false}}) {
        PortConfig config = clean.portConfig;
        config.SetByteSize(uint8_t(bits));
        config.SetParity(uint8_t(parity));
        config.SetStopBits(uint8_t(stop));
        EXPECT_EQ(CheckLineSettings(config), ok ? 0 : EINVAL) << bits << parity << stop;
        const TtyLine line = TtyLineFromConfig(config);
        EXPECT_EQ(ok ? line.dataBits * 100 + line.parity * 10 + line.twoStopBits : 0,
                  ok ? bits * 100 + parity * 10 + (stop == 2) : 0);
    }
}

// The driver's answer goes back into the record without touching other bytes and reads as the
// same line; a rate within the clock's rounding counts as accepted; only a pseudo-terminal may
// force 8N1.
TEST(LineSettings, DriverAnswerReadBackAndAcceptance) {
    PortConfig config;
    for (std::size_t i = 0; i < PortConfig::kSize; ++i)
        config.bytes[i] = uint8_t(0xA0 + i);
    const PortConfig before = config;
    const TtyLine line{256000, 7, 3, true, false, true, true, 'Q'};
    StoreTtyLine(line, config);
    EXPECT_EQ(config.DCBlength(), 28u);
    EXPECT_EQ(config.Flags() & 0xFFFFCCFBu, before.Flags() & 0xFFFFCCFBu);
    EXPECT_EQ(config.bytes[12] + config.bytes[17] * 256, before.bytes[12] + before.bytes[17] * 256);
    EXPECT_EQ(TtyLineFromConfig(config), line);
    const TtyLine asked{.baud = 56000, .dataBits = 7, .parity = 2};
    for (const auto& [got, pty, accepted] : {std::tuple{TtyLine{57000, 7, 2}, false, true},
                                             {TtyLine{57600, 7, 2}, true, false},
                                             {TtyLine{56000}, true, true},
                                             {TtyLine{56000}, false, false}})
        EXPECT_EQ(LineAccepted(asked, got, pty), accepted) << got.baud << pty;
}

// Values off the lists show as nothing and OK keeps them rather than storing 0 or 255; OK saves
// the port group; port names are cut at the first blank and to 255 characters.
TEST(CommDialogModel, OkKeepsWhatTheListsCannotShowAndSaves) {
    AppState state;
    FakeSettings settings;
    state.portConfig.SetBaudRate(12345);
    state.portConfig.SetByteSize(9);
    state.portConfig.SetStopBits(3);
    state.portConfig.SetParity(7);
    CommDialogValues v = OpenCommDialog(state);
    EXPECT_EQ(v.baudRateIndex + v.dataBitsIndex + v.stopBitsIndex + v.parityIndex, -4);
    v.portText = "COM3 spare";
    AcceptCommDialog(state, settings, v);
    EXPECT_EQ(state.portName, "COM3");
    EXPECT_EQ(state.portConfig.BaudRate() + state.portConfig.ByteSize() * 100, 12345u + 900);
    EXPECT_EQ(state.portConfig.StopBits() * 10 + state.portConfig.Parity(), 37);
    EXPECT_EQ(settings.writes, (std::vector<std::string>{"COM?", "DCB"}));
    EXPECT_EQ(settings.values["DCB"].bytes,
              std::vector<uint8_t>(state.portConfig.bytes.begin(), state.portConfig.bytes.end()));
    std::string e255;
    for (int i = 0; i < 255; ++i)
        e255 += "\xC3\xA9";
    EXPECT_EQ(PortNameFromText(e255 + "\xC3\xA9"), e255);  // cut by characters, not bytes
}

// With the port open the dialog shows what the device really uses (not saved), and OK changes
// the open port at once.
TEST(CommDialogModel, AnOpenPortIsReadBackAndChangedAtOnce) {
    AppState state;
    FakeSettings settings;
    DefaultPortSettings(state);
    auto device = std::make_shared<FakeSerialDevice>();
    state.portHandle = device;
    state.portOpen = 1;
    device->reportedRate = 9600;
    CommDialogValues v = OpenCommDialog(state);
    EXPECT_EQ(BaudRateEntries()[std::size_t(v.baudRateIndex)], "9600");
    EXPECT_TRUE(settings.writes.empty());
    v.baudRateIndex = 4;  // 2400
    AcceptCommDialog(state, settings, v);
    ASSERT_EQ(device->configured.size(), 1u);
    EXPECT_EQ(device->configured[0].BaudRate(), 2400u);
}

}  // namespace
}  // namespace vellor::testing
