// Group loads and saves, run against both the in-memory and the file backend.
#include <gtest/gtest.h>

#include <functional>

#include "app/app_state.h"
#include "settings/settings_store.h"
#include "settings/settings_test_support.h"

namespace vellor {
namespace {

using test::BackendHarness;
using test::Le32;
using test::SzBytes;

const char* const kDisplayNames[] = {"NumRows", "NumCols", "Mode",       "RX_Bit7",   "RX_CRLF",
                                     "Echo",    "TX_CRLF", "TX_Capture", "RX_Capture"};

// Distinct stored numbers for the display values, in group order.
const uint32_t kDisplayStored[] = {40, 132, 2, 1, 1, 1, 1, 1, 0};

struct DisplayFields {
    uint16_t numRows, numCols;
    int32_t mode, rxBit7, rxCrLf, echo, txCrLf, txCapture, rxCapture;
    bool operator==(const DisplayFields&) const = default;
};

DisplayFields ReadDisplay(AppState& s) {
    std::lock_guard lock(s.screenMutex);
    return {s.numRows,     s.numCols,       s.displayMode,      s.rxBit7.load(),   s.rxCrLf.load(),
            s.echo.load(), s.txCrLf.load(), s.txCapture.load(), s.rxCapture.load()};
}

// Display field i (group order) as an unsigned number, for checking partial loads.
uint32_t DisplayField(AppState& s, int i) {
    const DisplayFields f = ReadDisplay(s);
    const uint32_t all[] = {f.numRows,
                            f.numCols,
                            uint32_t(f.mode),
                            uint32_t(f.rxBit7),
                            uint32_t(f.rxCrLf),
                            uint32_t(f.echo),
                            uint32_t(f.txCrLf),
                            uint32_t(f.txCapture),
                            uint32_t(f.rxCapture)};
    return all[i];
}

PortConfig SampleConfig() {
    PortConfig config;
    for (std::size_t i = 0; i < PortConfig::kSize; ++i)
        config.bytes[i] = uint8_t(0xA0 + i);
    config.SetDCBlength(28);
    config.SetBaudRate(921600);
    return config;
}

using HarnessFactory = std::function<std::unique_ptr<BackendHarness>()>;

class SettingsStoreTest : public ::testing::TestWithParam<HarnessFactory> {
  protected:
    void SetUp() override { harness = GetParam()(); }
    SettingsBackend& backend() { return harness->Backend(); }
    void PutFullDisplayGroup() {
        for (int i = 0; i < 9; ++i)
            harness->PutDword(kDisplayNames[i], kDisplayStored[i]);
    }
    void PutPortGroup(std::string_view name) {
        harness->Put("COM?", SettingsBackend::kRegSz, SzBytes(name));
        const PortConfig config = SampleConfig();
        harness->Put("DCB", SettingsBackend::kRegBinary,
                     {config.bytes.begin(), config.bytes.end()});
    }
    std::unique_ptr<BackendHarness> harness;
    AppState state;
};

TEST_P(SettingsStoreTest, NoKeyMeansEveryLoadFailsAndNothingChanges) {
    state.portName = "keep";
    EXPECT_EQ(LoadDisplaySettings(state, backend()), 0);
    EXPECT_EQ(LoadBarSettings(state, backend()), 0);
    EXPECT_EQ(LoadPortSettings(state, backend()), 0);
    AppState fresh;
    EXPECT_EQ(ReadDisplay(state), ReadDisplay(fresh));
    EXPECT_EQ(state.portName, "keep");
    EXPECT_EQ(state.portConfig, fresh.portConfig);
    EXPECT_FALSE(harness->KeyExists());
}

TEST_P(SettingsStoreTest, KeyWithoutValuesFailsEveryLoad) {
    harness->MakeKeyWithoutValues();
    EXPECT_EQ(LoadDisplaySettings(state, backend()), 0);
    EXPECT_EQ(LoadBarSettings(state, backend()), 0);
    EXPECT_EQ(LoadPortSettings(state, backend()), 0);
}

TEST_P(SettingsStoreTest, DisplayGroupRoundTrip) {
    {
        std::lock_guard lock(state.screenMutex);
        state.numRows = 9999;
        state.numCols = 200;
        state.displayMode = 2;
    }
    state.rxBit7 = 1;
    state.rxCrLf = 0;
    state.echo = -1;
    state.txCrLf = 7;
    state.txCapture = 1;
    state.rxCapture = 0;
    SaveDisplaySettings(state, backend());

    AppState loaded;
    EXPECT_EQ(LoadDisplaySettings(loaded, backend()), 1);
    EXPECT_EQ(ReadDisplay(loaded), ReadDisplay(state));
    EXPECT_EQ(harness->Stored("NumRows"), (RegValue{SettingsBackend::kRegDword, Le32(9999)}));
    EXPECT_EQ(harness->Stored("Echo"), (RegValue{SettingsBackend::kRegDword, Le32(0xFFFFFFFF)}));
}

TEST_P(SettingsStoreTest, BarGroupRoundTripKeepsHexEntryMidPair) {
    state.controlBar = 1;
    state.hexInput = 2;
    SaveBarSettings(state, backend());
    AppState loaded;
    EXPECT_EQ(LoadBarSettings(loaded, backend()), 1);
    EXPECT_EQ(loaded.controlBar, 1);
    EXPECT_EQ(loaded.hexInput, 2);
}

TEST_P(SettingsStoreTest, BarSaveIntoEmptyStoreCreatesOnlyBarValues) {
    SaveBarSettings(state, backend());
    EXPECT_TRUE(harness->KeyExists());
    EXPECT_TRUE(harness->Stored("Control"));
    EXPECT_TRUE(harness->Stored("HexInput"));
    for (const char* name : kDisplayNames)
        EXPECT_FALSE(harness->Stored(name)) << name;
    EXPECT_FALSE(harness->Stored("COM?"));
    EXPECT_FALSE(harness->Stored("DCB"));
    AppState next;
    EXPECT_EQ(LoadBarSettings(next, backend()), 1);
    EXPECT_EQ(LoadDisplaySettings(next, backend()), 0);
    EXPECT_EQ(LoadPortSettings(next, backend()), 0);
}

TEST_P(SettingsStoreTest, PortGroupRoundTripForManyNames) {
    const std::string names[] = {
        "COM1",
        "COM10",
        "/dev/ttyUSB0",
        "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
        "quote\"back\\slash\\\"end\\",
        "\\",
        "",
        "Gerät-ü-\xF0\x9F\x98\x80",  // accented letters and a character beyond 16 bits
        std::string(255, 'x'),
        "tab\there; semi=colon [x]",
    };
    for (const std::string& name : names) {
        AppState source;
        source.portName = name;
        source.portConfig = SampleConfig();
        SavePortSettings(source, backend());
        AppState loaded;
        EXPECT_EQ(LoadPortSettings(loaded, backend()), 1) << name;
        EXPECT_EQ(loaded.portName, name);
        EXPECT_EQ(loaded.portConfig, source.portConfig) << name;
    }
}

TEST_P(SettingsStoreTest, PortNameOf255CharactersBeyond16BitsLoads) {
    std::string name;
    for (int i = 0; i < 255; ++i)
        name += "\xF0\x9F\x98\x80";
    state.portName = name;
    SavePortSettings(state, backend());
    AppState loaded;
    EXPECT_EQ(LoadPortSettings(loaded, backend()), 1);
    EXPECT_EQ(loaded.portName, name);
}

TEST_P(SettingsStoreTest, PortNameLongerThan255CharactersCountsAsMissing) {
    for (const std::string& name : {std::string(256, 'y'), std::string(2000, 'y')}) {
        PutPortGroup(name);
        AppState loaded;
        loaded.portName = "before";
        EXPECT_EQ(LoadPortSettings(loaded, backend()), 0);
        EXPECT_EQ(loaded.portName, "before");
        EXPECT_EQ(loaded.portConfig, PortConfig{});  // stopped before DCB
    }
}

TEST_P(SettingsStoreTest, PortNameWithoutTerminatorOrWithTextAfterItLoadsUpToTheZero) {
    harness->Put("COM?", SettingsBackend::kRegSz, {'C', 0, 'O', 0, 'M', 0, '7', 0});
    harness->Put("DCB", SettingsBackend::kRegBinary, std::vector<uint8_t>(28, 1));
    EXPECT_EQ(LoadPortSettings(state, backend()), 1);
    EXPECT_EQ(state.portName, "COM7");
    harness->Put("COM?", SettingsBackend::kRegSz, {'A', 0, 0, 0, 'B', 0, 0, 0});
    EXPECT_EQ(LoadPortSettings(state, backend()), 1);
    EXPECT_EQ(state.portName, "A");
}

TEST_P(SettingsStoreTest, PortNameThatIsNotValidTextCountsAsMissing) {
    harness->Put("COM?", SettingsBackend::kRegSz, {0x00, 0xD8, 'A', 0, 0, 0});  // lone surrogate
    harness->Put("DCB", SettingsBackend::kRegBinary, std::vector<uint8_t>(28, 1));
    EXPECT_EQ(LoadPortSettings(state, backend()), 0);
    EXPECT_EQ(state.portName, "");
}

TEST_P(SettingsStoreTest, PortConfigOfWrongLengthCountsAsMissing) {
    for (std::size_t length : {0u, 4u, 27u, 29u, 100u}) {
        harness->Put("COM?", SettingsBackend::kRegSz, SzBytes("COM3"));
        harness->Put("DCB", SettingsBackend::kRegBinary, std::vector<uint8_t>(length, 0x55));
        AppState loaded;
        EXPECT_EQ(LoadPortSettings(loaded, backend()), 0) << length;
        EXPECT_EQ(loaded.portName, "COM3") << "the name was read before the record";
        EXPECT_EQ(loaded.portConfig, PortConfig{}) << length;
    }
}

// Each display value in turn is missing: the load reports failure, every value before it is
// already in its field, and nothing after it is touched.
TEST_P(SettingsStoreTest, DisplayLoadStopsAtFirstMissingValue) {
    for (int missing = 0; missing < 9; ++missing) {
        auto h = GetParam()();
        for (int i = 0; i < 9; ++i) {
            if (i != missing) h->PutDword(kDisplayNames[i], kDisplayStored[i]);
        }
        AppState loaded;
        AppState fresh;
        EXPECT_EQ(LoadDisplaySettings(loaded, h->Backend()), 0) << missing;
        for (int i = 0; i < 9; ++i) {
            const uint32_t expected = i < missing ? kDisplayStored[i] : DisplayField(fresh, i);
            EXPECT_EQ(DisplayField(loaded, i), expected) << "missing " << missing << " field " << i;
        }
    }
}

// Stored DWORDs that do not hold exactly four bytes count as missing wherever they are.
TEST_P(SettingsStoreTest, DwordOfWrongLengthCountsAsMissing) {
    const std::vector<std::vector<uint8_t>> bad = {
        {}, {0x18}, {0x18, 0}, {0x18, 0, 0}, {0x18, 0, 0, 0, 0}};
    for (const auto& bytes : bad) {
        PutFullDisplayGroup();
        harness->Put("Mode", SettingsBackend::kRegDword, bytes);
        AppState loaded;
        EXPECT_EQ(LoadDisplaySettings(loaded, backend()), 0) << bytes.size();
        EXPECT_EQ(DisplayField(loaded, 1), 132u);
        EXPECT_EQ(DisplayField(loaded, 2), 0u);

        harness->Put("Control", SettingsBackend::kRegBinary, bytes);
        harness->PutDword("HexInput", 1);
        EXPECT_EQ(LoadBarSettings(loaded, backend()), 0);
        EXPECT_EQ(loaded.hexInput, 0);
    }
}

TEST_P(SettingsStoreTest, SizesKeepTheirLow16Bits) {
    PutFullDisplayGroup();
    harness->PutDword("NumRows", 70000);
    harness->PutDword("NumCols", 0x12340050);
    EXPECT_EQ(LoadDisplaySettings(state, backend()), 1);
    EXPECT_EQ(DisplayField(state, 0), 4464u);
    EXPECT_EQ(DisplayField(state, 1), 0x50u);
}

TEST_P(SettingsStoreTest, StoredTypeIsNeverChecked) {
    PutFullDisplayGroup();
    harness->Put("Mode", SettingsBackend::kRegBinary, {7, 0, 0, 0});
    harness->Put("Echo", 0x0B, {1, 0, 0, 0});  // REG_QWORD's number, four bytes
    EXPECT_EQ(LoadDisplaySettings(state, backend()), 1);
    EXPECT_EQ(DisplayField(state, 2), 7u);
    EXPECT_EQ(state.echo.load(), 1);

    harness->Put("COM?", SettingsBackend::kRegBinary, SzBytes("COM4"));
    harness->Put("DCB", 0, std::vector<uint8_t>(28, 9));
    EXPECT_EQ(LoadPortSettings(state, backend()), 1);
    EXPECT_EQ(state.portName, "COM4");
}

TEST_P(SettingsStoreTest, LoadedValuesAreNotRangeChecked) {
    PutFullDisplayGroup();
    harness->PutDword("NumRows", 0);
    harness->PutDword("Mode", 0xFFFFFFFF);
    EXPECT_EQ(LoadDisplaySettings(state, backend()), 1);
    EXPECT_EQ(DisplayField(state, 0), 0u);
    EXPECT_EQ(ReadDisplay(state).mode, -1);
}

TEST_P(SettingsStoreTest, SaveAlwaysWritesTheWholeGroup) {
    PutFullDisplayGroup();
    harness->PutDword("Mode", 1);
    AppState unchanged;
    ASSERT_EQ(LoadDisplaySettings(unchanged, backend()), 1);
    unchanged.rxCapture = 1;  // the stored value was 0
    SaveDisplaySettings(unchanged, backend());
    for (int i = 0; i < 9; ++i) {
        const uint32_t expected = i == 8 ? 1 : (i == 2 ? 1 : kDisplayStored[i]);
        EXPECT_EQ(harness->Stored(kDisplayNames[i]),
                  (RegValue{SettingsBackend::kRegDword, Le32(expected)}))
            << kDisplayNames[i];
    }
}

TEST_P(SettingsStoreTest, SavesLeaveOtherGroupsAlone) {
    PutFullDisplayGroup();
    PutPortGroup("/dev/ttyACM0");
    harness->Put("Unknown", 7, {1, 2, 3});
    state.controlBar = 1;
    SaveBarSettings(state, backend());
    AppState loaded;
    EXPECT_EQ(LoadDisplaySettings(loaded, backend()), 1);
    EXPECT_EQ(LoadPortSettings(loaded, backend()), 1);
    EXPECT_EQ(loaded.portName, "/dev/ttyACM0");
    EXPECT_EQ(harness->Stored("Unknown"), (RegValue{7, {1, 2, 3}}));
}

std::unique_ptr<BackendHarness> MakeMemory() {
    return std::make_unique<test::MemoryHarness>();
}
std::unique_ptr<BackendHarness> MakeFile() {
    return std::make_unique<test::FileHarness>();
}

INSTANTIATE_TEST_SUITE_P(Backends, SettingsStoreTest,
                         ::testing::Values(HarnessFactory(MakeMemory), HarnessFactory(MakeFile)),
                         [](const auto& info) { return info.index == 0 ? "Memory" : "File"; });

}  // namespace
}  // namespace vellor
