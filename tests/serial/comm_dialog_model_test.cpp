#include "serial/comm_dialog_model.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>

#include "app/app_state.h"
#include "serial/line_defaults.h"
#include "serial/port_config.h"
#include "serial/serial_device.h"
#include "settings/memory_backend.h"

namespace vellor {
namespace {

// An open device that remembers what it was told and reports a rate of its own.
class FakeDevice : public SerialDevice {
  public:
    int Configure(const PortConfig& config) override {
        configured.push_back(config);
        return 0;
    }
    int ReadConfig(PortConfig& config) override {
        config.SetBaudRate(reportedRate);
        return 0;
    }
    void WriteByte(uint8_t) override {}
    WaitResult Wait(int) override { return WaitResult::Timeout; }
    ReadResult Read(std::span<uint8_t>) override { return {}; }
    void SetDtr(bool) override {}
    void SetRts(bool) override {}
    uint32_t ModemStatus() override { return 0; }
    void Interrupt() override {}
    void Close() override {}

    uint32_t reportedRate = 9600;
    std::vector<PortConfig> configured;
};

class CommDialogModel : public ::testing::Test {
  protected:
    CommDialogModel() { DefaultPortSettings(state); }

    std::shared_ptr<FakeDevice> OpenFakePort() {
        auto device = std::make_shared<FakeDevice>();
        std::lock_guard lock(state.portMutex);
        state.portHandle = device;
        state.portOpen = 1;
        return device;
    }
    void ClosePort() {
        std::lock_guard lock(state.portMutex);
        state.portHandle.reset();
        state.portOpen = 0;
    }

    AppState state;
    MemorySettingsBackend settings;
};

TEST_F(CommDialogModel, ListsHoldTheirEntriesInOrder) {
    EXPECT_EQ(BaudRateEntries(),
              (std::vector<std::string>{"110", "300", "600", "1200", "2400", "4800", "9600",
                                        "14400", "19200", "38400", "56000", "57600", "115200",
                                        "128000", "256000"}));
    EXPECT_EQ(DataBitsEntries(), (std::vector<std::string>{"4", "5", "6", "7", "8"}));
    EXPECT_EQ(PortEntries().front(), "COM0");
    EXPECT_EQ(PortEntries().back(), "COM10");
    EXPECT_EQ(PortEntries().size(), 11u);
    EXPECT_EQ(StopBitsEntries(), (std::vector<std::string>{"1", "1.5", "2"}));
    EXPECT_EQ(ParityEntries(), (std::vector<std::string>{"None", "Odd", "Even", "Mark", "Space"}));
    EXPECT_EQ(FlowControlEntries(), (std::vector<std::string>{"None", "RTS/CTS", "XON/XOFF"}));
}

TEST_F(CommDialogModel, DefaultsShowCom1At115200WithRtsCts) {
    const CommDialogValues v = OpenCommDialog(state);
    EXPECT_EQ(v.portText, "COM1");
    EXPECT_EQ(BaudRateEntries()[v.baudRateIndex], "115200");
    EXPECT_EQ(ParityEntries()[v.parityIndex], "None");
    EXPECT_EQ(FlowControlEntries()[v.flowControlIndex], "RTS/CTS");
    EXPECT_EQ(DataBitsEntries()[v.dataBitsIndex], "8");
    EXPECT_EQ(StopBitsEntries()[v.stopBitsIndex], "1");
}

TEST_F(CommDialogModel, ValuesOutsideTheListsShowNoSelection) {
    state.portConfig.SetBaudRate(12345);
    state.portConfig.SetByteSize(9);
    state.portConfig.SetStopBits(3);
    state.portConfig.SetParity(7);
    const CommDialogValues v = OpenCommDialog(state);
    EXPECT_EQ(v.baudRateIndex, -1);
    EXPECT_EQ(v.dataBitsIndex, -1);
    EXPECT_EQ(v.stopBitsIndex, -1);
    EXPECT_EQ(v.parityIndex, -1);
}

TEST_F(CommDialogModel, ListsWithoutSelectionKeepTheirSettingsOnOk) {
    state.portConfig.SetBaudRate(12345);
    state.portConfig.SetByteSize(9);
    state.portConfig.SetStopBits(3);
    state.portConfig.SetParity(7);
    AcceptCommDialog(state, settings, OpenCommDialog(state));
    EXPECT_EQ(state.portConfig.BaudRate(), 12345u);
    EXPECT_EQ(state.portConfig.ByteSize(), 9);
    EXPECT_EQ(state.portConfig.StopBits(), 3);
    EXPECT_EQ(state.portConfig.Parity(), 7);
}

TEST_F(CommDialogModel, OkTakesEveryFieldAndSavesThePortGroup) {
    CommDialogValues v = OpenCommDialog(state);
    v.portText = "BTH1";
    v.baudRateIndex = 6;     // 9600
    v.dataBitsIndex = 3;     // 7
    v.stopBitsIndex = 2;     // 2
    v.parityIndex = 2;       // Even
    v.flowControlIndex = 0;  // None
    AcceptCommDialog(state, settings, v);
    EXPECT_EQ(state.portName, "BTH1");
    EXPECT_EQ(state.portConfig.BaudRate(), 9600u);
    EXPECT_EQ(state.portConfig.ByteSize(), 7);
    EXPECT_EQ(state.portConfig.StopBits(), 2);
    EXPECT_EQ(state.portConfig.Parity(), 2);
    EXPECT_FALSE(state.portConfig.OutxCtsFlow());
    EXPECT_EQ(state.portConfig.RtsControl(), 1u);
    EXPECT_TRUE(settings.values.count("COM?"));
    ASSERT_TRUE(settings.values.count("DCB"));
    EXPECT_EQ(settings.values["DCB"].bytes,
              std::vector<uint8_t>(state.portConfig.bytes.begin(), state.portConfig.bytes.end()));
}

struct PortNameCase {
    std::string typed;
    std::string kept;
};

class PortNames : public ::testing::TestWithParam<PortNameCase> {};

TEST_P(PortNames, CutAtTheFirstBlankAndToTheLongestName) {
    EXPECT_EQ(PortNameFromText(GetParam().typed), GetParam().kept);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PortNames,
    ::testing::Values(PortNameCase{"COM3 and more words", "COM3"}, PortNameCase{"BTH1", "BTH1"},
                      PortNameCase{"", ""}, PortNameCase{" COM3", ""},
                      PortNameCase{"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00",
                                   "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00"},
                      PortNameCase{std::string(300, 'x'), std::string(255, 'x')},
                      // 255 characters of two bytes each stay whole.
                      PortNameCase{[] {
                                       std::string s;
                                       for (int i = 0; i < 260; ++i)
                                           s += "\xC3\xA9";
                                       return s;
                                   }(),
                                   [] {
                                       std::string s;
                                       for (int i = 0; i < 255; ++i)
                                           s += "\xC3\xA9";
                                       return s;
                                   }()}));

struct FlowCase {
    int index;
    bool ctsOut;
    bool outX;
    bool inX;
    uint32_t rts;
};

class FlowChoices : public ::testing::TestWithParam<FlowCase> {};

TEST_P(FlowChoices, SetTheHandshakeBits) {
    AppState state;
    DefaultPortSettings(state);
    MemorySettingsBackend settings;
    CommDialogValues v = OpenCommDialog(state);
    v.flowControlIndex = GetParam().index;
    AcceptCommDialog(state, settings, v);
    EXPECT_EQ(state.portConfig.OutxCtsFlow(), GetParam().ctsOut);
    EXPECT_EQ(state.portConfig.OutX(), GetParam().outX);
    EXPECT_EQ(state.portConfig.InX(), GetParam().inX);
    EXPECT_EQ(state.portConfig.RtsControl(), GetParam().rts);
}

INSTANTIATE_TEST_SUITE_P(Table, FlowChoices,
                         ::testing::Values(FlowCase{0, false, false, false, 1},
                                           FlowCase{1, true, false, false, 2},
                                           FlowCase{2, false, true, true, 1},
                                           FlowCase{-1, false, false, false, 1}));

TEST_F(CommDialogModel, XonXoffSurvivesAReopenAndNoneClearsItAgain) {
    CommDialogValues v = OpenCommDialog(state);
    v.flowControlIndex = 2;
    AcceptCommDialog(state, settings, v);
    v = OpenCommDialog(state);
    EXPECT_EQ(FlowControlEntries()[v.flowControlIndex], "XON/XOFF");
    v.flowControlIndex = 0;
    AcceptCommDialog(state, settings, v);
    EXPECT_FALSE(state.portConfig.OutX());
    EXPECT_FALSE(state.portConfig.InX());
    EXPECT_EQ(FlowControlEntries()[OpenCommDialog(state).flowControlIndex], "None");
}

TEST_F(CommDialogModel, OpeningWithThePortOpenShowsTheDevicesSettings) {
    auto device = OpenFakePort();
    device->reportedRate = 9600;
    const CommDialogValues v = OpenCommDialog(state);
    EXPECT_EQ(BaudRateEntries()[v.baudRateIndex], "9600");
    // Kept even if the dialog is then cancelled, and not saved.
    EXPECT_EQ(state.portConfig.BaudRate(), 9600u);
    EXPECT_TRUE(settings.writes.empty());
    ClosePort();
}

TEST_F(CommDialogModel, OkWithThePortOpenAppliesAtOnceButKeepsTheOpenName) {
    auto device = OpenFakePort();
    state.portName = "COM1";
    CommDialogValues v = OpenCommDialog(state);
    v.portText = "COM4";
    v.baudRateIndex = 4;  // 2400
    AcceptCommDialog(state, settings, v);
    ASSERT_EQ(device->configured.size(), 1u);
    EXPECT_EQ(device->configured[0].BaudRate(), 2400u);
    EXPECT_EQ(state.portName, "COM4");  // used at the next open
    ClosePort();
}

TEST_F(CommDialogModel, OkWithThePortClosedConfiguresNothing) {
    CommDialogValues v = OpenCommDialog(state);
    v.baudRateIndex = 0;
    AcceptCommDialog(state, settings, v);
    EXPECT_EQ(state.portConfig.BaudRate(), 110u);
    EXPECT_FALSE(settings.writes.empty());
}

}  // namespace
}  // namespace vellor
