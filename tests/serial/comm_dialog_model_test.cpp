// The Communications dialog's logic: what it shows, what OK takes, saves and applies.
#include <gtest/gtest.h>

#include "app/app_state.h"
#include "serial/comm_dialog_model.h"
#include "serial/line_defaults.h"
#include "support/fake_serial_device.h"
#include "support/fake_settings.h"

namespace vellor::testing {
namespace {

class CommDialogModel : public ::testing::Test {
  protected:
    CommDialogModel() { DefaultPortSettings(state); }
    std::shared_ptr<FakeSerialDevice> OpenFakePort() {
        auto device = std::make_shared<FakeSerialDevice>();
        std::lock_guard lock(state.portMutex);
        state.portHandle = device;
        state.portOpen = 1;
        return device;
    }
    std::string Shown(const std::vector<std::string>& list, int index) {
        return index < 0 ? "(none)" : list[std::size_t(index)];
    }
    AppState state;
    FakeSettings settings;
};

TEST_F(CommDialogModel, ShowsTheSettingsAndNothingForValuesOffItsLists) {
    CommDialogValues v = OpenCommDialog(state);
    EXPECT_EQ(v.portText, "COM1");
    EXPECT_EQ(Shown(BaudRateEntries(), v.baudRateIndex), "115200");
    EXPECT_EQ(Shown(ParityEntries(), v.parityIndex), "None");
    EXPECT_EQ(Shown(FlowControlEntries(), v.flowControlIndex), "RTS/CTS");
    EXPECT_EQ(Shown(DataBitsEntries(), v.dataBitsIndex), "8");
    EXPECT_EQ(Shown(StopBitsEntries(), v.stopBitsIndex), "1");

    state.portConfig.SetBaudRate(12345);
    state.portConfig.SetByteSize(9);
    state.portConfig.SetStopBits(3);
    state.portConfig.SetParity(7);
    v = OpenCommDialog(state);
    EXPECT_EQ(v.baudRateIndex + v.dataBitsIndex + v.stopBitsIndex + v.parityIndex, -4);
    // OK keeps what a list could not show, rather than storing 0 or 255 in its place.
    AcceptCommDialog(state, settings, v);
    EXPECT_EQ(state.portConfig.BaudRate(), 12345u);
    EXPECT_EQ(state.portConfig.ByteSize(), 9);
    EXPECT_EQ(state.portConfig.StopBits(), 3);
    EXPECT_EQ(state.portConfig.Parity(), 7);
}

TEST_F(CommDialogModel, OkTakesEveryFieldAndSavesThePortGroup) {
    CommDialogValues v = OpenCommDialog(state);
    v.portText = "BTH1 and more words";
    v.baudRateIndex = 6;     // 9600
    v.dataBitsIndex = 3;     // 7
    v.stopBitsIndex = 2;     // 2
    v.parityIndex = 2;       // Even
    v.flowControlIndex = 2;  // XON/XOFF
    AcceptCommDialog(state, settings, v);
    EXPECT_EQ(state.portName, "BTH1");
    EXPECT_EQ(state.portConfig.BaudRate(), 9600u);
    EXPECT_EQ(state.portConfig.ByteSize(), 7);
    EXPECT_EQ(state.portConfig.StopBits(), 2);
    EXPECT_EQ(state.portConfig.Parity(), 2);
    EXPECT_EQ(settings.writes, (std::vector<std::string>{"COM?", "DCB"}));
    EXPECT_EQ(settings.values["DCB"].bytes,
              std::vector<uint8_t>(state.portConfig.bytes.begin(), state.portConfig.bytes.end()));
    v = OpenCommDialog(state);
    EXPECT_EQ(Shown(FlowControlEntries(), v.flowControlIndex), "XON/XOFF");
    v.flowControlIndex = 0;
    AcceptCommDialog(state, settings, v);
    EXPECT_FALSE(state.portConfig.OutX() || state.portConfig.InX());
    EXPECT_EQ(state.portConfig.RtsControl(), 1u);
}

TEST_F(CommDialogModel, PortNamesAreCutAtTheFirstBlankAndTo255Characters) {
    std::string e260, e255;
    for (int i = 0; i < 260; ++i)
        e260 += "\xC3\xA9";
    for (int i = 0; i < 255; ++i)
        e255 += "\xC3\xA9";
    const std::pair<std::string, std::string> names[] = {
        {"COM3 spare", "COM3"},
        {" COM3", ""},
        {"/dev/serial/by-id/usb-FTDI_FT232R-if00", "/dev/serial/by-id/usb-FTDI_FT232R-if00"},
        {std::string(300, 'x'), std::string(255, 'x')},
        {e260, e255}};
    for (const auto& [typed, kept] : names)
        EXPECT_EQ(PortNameFromText(typed), kept) << typed;
}

// With the port open the dialog shows what the device really uses (kept even if cancelled, and
// not saved), and OK changes the open port at once while a new name waits for the next open.
TEST_F(CommDialogModel, AnOpenPortIsReadBackAndChangedAtOnce) {
    auto device = OpenFakePort();
    device->reportedRate = 9600;
    CommDialogValues v = OpenCommDialog(state);
    EXPECT_EQ(Shown(BaudRateEntries(), v.baudRateIndex), "9600");
    EXPECT_EQ(state.portConfig.BaudRate(), 9600u);
    EXPECT_TRUE(settings.writes.empty());
    v.portText = "COM4";
    v.baudRateIndex = 4;  // 2400
    AcceptCommDialog(state, settings, v);
    ASSERT_EQ(device->configured.size(), 1u);
    EXPECT_EQ(device->configured[0].BaudRate(), 2400u);
    EXPECT_EQ(state.portName, "COM4");
}

}  // namespace
}  // namespace vellor::testing
