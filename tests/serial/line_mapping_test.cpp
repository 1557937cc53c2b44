#include "serial/line_mapping.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "app/app_state.h"
#include "serial/line_defaults.h"
#include "serial/serial_device.h"

namespace vellor {
namespace {

PortConfig Defaults() {
    AppState state;
    DefaultPortSettings(state);
    return state.portConfig;
}

TEST(LineMapping, DefaultsAre115200EightNoneOneWithRtsCts) {
    const TtyLine line = TtyLineFromConfig(Defaults());
    EXPECT_EQ(line.baud, 115200u);
    EXPECT_EQ(line.dataBits, 8);
    EXPECT_EQ(line.parity, 0);
    EXPECT_FALSE(line.twoStopBits);
    EXPECT_TRUE(line.rtsCts);
    EXPECT_FALSE(line.xonOutput);
    EXPECT_FALSE(line.xonInput);
}

struct FramingCase {
    uint8_t byteSize, parity, stopBits;
    int check;  // CheckLineSettings result
};

class FramingTest : public ::testing::TestWithParam<FramingCase> {};

TEST_P(FramingTest, AcceptsWhatADeviceCanTake) {
    PortConfig config = Defaults();
    config.SetByteSize(GetParam().byteSize);
    config.SetParity(GetParam().parity);
    config.SetStopBits(GetParam().stopBits);
    EXPECT_EQ(CheckLineSettings(config), GetParam().check);
    if (GetParam().check != 0) return;
    const TtyLine line = TtyLineFromConfig(config);
    EXPECT_EQ(line.dataBits, GetParam().byteSize);
    EXPECT_EQ(line.parity, GetParam().parity);
    EXPECT_EQ(line.twoStopBits, GetParam().stopBits == 2);
}

INSTANTIATE_TEST_SUITE_P(
    Framing, FramingTest,
    ::testing::Values(FramingCase{8, 0, 0, 0}, FramingCase{7, 2, 0, 0}, FramingCase{7, 1, 2, 0},
                      FramingCase{6, 3, 0, 0}, FramingCase{5, 4, 2, 0},
                      FramingCase{4, 0, 0, EINVAL},  // 4 data bits
                      FramingCase{9, 0, 0, EINVAL}, FramingCase{0, 0, 0, EINVAL},
                      FramingCase{8, 5, 0, EINVAL},  // no such parity
                      FramingCase{8, 0, 1, EINVAL},  // one and a half stop bits
                      FramingCase{8, 0, 3, EINVAL}));

TEST(LineMapping, ZeroRateIsRefused) {
    PortConfig config = Defaults();
    config.SetBaudRate(0);
    EXPECT_EQ(CheckLineSettings(config), EINVAL);
}

TEST(LineMapping, FlowControlChoices) {
    PortConfig config = Defaults();
    config.SetFlags(ApplyFlowControl(config.Flags(), FlowControl::None));
    TtyLine line = TtyLineFromConfig(config);
    EXPECT_FALSE(line.rtsCts);
    EXPECT_FALSE(line.xonOutput || line.xonInput);

    config.SetFlags(ApplyFlowControl(config.Flags(), FlowControl::RtsCts));
    line = TtyLineFromConfig(config);
    EXPECT_TRUE(line.rtsCts);
    EXPECT_FALSE(line.xonOutput || line.xonInput);

    config.SetFlags(ApplyFlowControl(config.Flags(), FlowControl::XonXoff));
    line = TtyLineFromConfig(config);
    EXPECT_FALSE(line.rtsCts);
    EXPECT_TRUE(line.xonOutput);
    EXPECT_TRUE(line.xonInput);
}

TEST(LineMapping, XonXoffCharactersDefaultToDc1Dc3) {
    PortConfig config = Defaults();
    EXPECT_EQ(TtyLineFromConfig(config).xonChar, 0x11);
    EXPECT_EQ(TtyLineFromConfig(config).xoffChar, 0x13);
    config.SetXonChar('Q');
    config.SetXoffChar('S');
    EXPECT_EQ(TtyLineFromConfig(config).xonChar, 'Q');
    EXPECT_EQ(TtyLineFromConfig(config).xoffChar, 'S');
}

TEST(LineMapping, StoreKeepsEveryOtherByte) {
    PortConfig config;
    for (std::size_t i = 0; i < PortConfig::kSize; ++i)
        config.bytes[i] = uint8_t(0xA0 + i);
    const PortConfig before = config;
    TtyLine line;
    line.baud = 256000;
    line.dataBits = 7;
    line.parity = 3;
    line.twoStopBits = true;
    line.rtsCts = false;
    line.xonOutput = true;
    line.xonInput = true;
    StoreTtyLine(line, config);
    EXPECT_EQ(config.DCBlength(), 28u);
    EXPECT_EQ(config.BaudRate(), 256000u);
    EXPECT_EQ(config.ByteSize(), 7);
    EXPECT_EQ(config.Parity(), 3);
    EXPECT_EQ(config.StopBits(), 2);
    EXPECT_EQ(FlowControlOf(config.Flags()), FlowControl::XonXoff);
    EXPECT_EQ(config.Flags() & 0xFFFFCCFBu, before.Flags() & 0xFFFFCCFBu);  // untouched bits
    for (std::size_t i : {12u, 13u, 14u, 15u, 16u, 17u, 23u, 24u, 25u, 26u, 27u}) {
        EXPECT_EQ(config.bytes[i], before.bytes[i]) << "byte " << i;
    }
    // Reading the stored line again gives the same line.
    EXPECT_EQ(TtyLineFromConfig(config), line);
}

TEST(LineMapping, RtsCtsReadBackShowsAsRtsCts) {
    PortConfig config = Defaults();
    config.SetFlags(ApplyFlowControl(config.Flags(), FlowControl::None));
    TtyLine line = TtyLineFromConfig(config);
    line.rtsCts = true;
    StoreTtyLine(line, config);
    EXPECT_EQ(FlowControlOf(config.Flags()), FlowControl::RtsCts);
    EXPECT_EQ(config.RtsControl(), 2u);
}

TEST(LineAccepted, RateMayDifferByClockRoundingOnly) {
    TtyLine requested;
    requested.baud = 56000;
    TtyLine accepted = requested;
    EXPECT_TRUE(LineAccepted(requested, accepted, false));
    accepted.baud = 56000 + 1000;  // 1.8 %
    EXPECT_TRUE(LineAccepted(requested, accepted, false));
    accepted.baud = 57600;  // 2.9 %: not the rate asked for
    EXPECT_FALSE(LineAccepted(requested, accepted, false));
    accepted.baud = 9600;
    EXPECT_FALSE(LineAccepted(requested, accepted, true));
}

TEST(LineAccepted, ForcedFramingExcusedOnlyForPseudoTerminals) {
    TtyLine requested;
    requested.baud = 9600;
    requested.dataBits = 7;
    requested.parity = 2;
    requested.twoStopBits = true;
    TtyLine accepted;
    accepted.baud = 9600;  // 8N1
    EXPECT_TRUE(LineAccepted(requested, accepted, true));
    EXPECT_FALSE(LineAccepted(requested, accepted, false));
}

}  // namespace
}  // namespace vellor
