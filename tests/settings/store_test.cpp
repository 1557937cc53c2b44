// The three groups of settings: what a load takes, what a save writes, and the defaults.
#include <gtest/gtest.h>

#include "app/app_state.h"
#include "settings/settings_store.h"
#include "support/fake_settings.h"

namespace vellor::testing {
namespace {

const std::vector<std::string> kDisplay = {"NumRows", "NumCols",    "Mode",
                                           "RX_Bit7", "RX_CRLF",    "Echo",
                                           "TX_CRLF", "TX_Capture", "RX_Capture"};

std::vector<uint32_t> DisplayFields(const AppState& s) {
    return {s.numRows,
            s.numCols,
            uint32_t(s.displayMode),
            uint32_t(s.rxBit7.load()),
            uint32_t(s.rxCrLf.load()),
            uint32_t(s.echo.load()),
            uint32_t(s.txCrLf.load()),
            uint32_t(s.txCapture.load()),
            uint32_t(s.rxCapture.load())};
}

// A missing key fails every load, changes nothing and is not created; a load stops at its first
// missing or misfit value, keeping what it read before; a value is taken whatever type it is
// stored as, sizes by their low 16 bits, nothing range-checked.
TEST(SettingsStore, LoadsTakeWholeValuesInOrderUntilOneIsMissing) {
    FakeSettings settings;
    AppState state;
    state.portName = "keep";
    EXPECT_EQ(LoadDisplaySettings(state, settings) + LoadBarSettings(state, settings) +
                  LoadPortSettings(state, settings),
              0);
    EXPECT_EQ(DisplayFields(state), DisplayFields(AppState()));
    EXPECT_EQ(state.portName, "keep");
    EXPECT_FALSE(settings.keyExists);

    const uint32_t stored[] = {70000, 132, 7, 1, 1, 0xFFFFFFFF, 1, 1, 0};
    for (std::size_t i = 0; i < kDisplay.size(); ++i)
        settings.PutDword(kDisplay[i], stored[i]);
    settings.Put("Mode", SettingsBackend::kRegBinary, {7, 0, 0, 0});
    EXPECT_EQ(LoadDisplaySettings(state, settings), 1);
    EXPECT_EQ(DisplayFields(state),
              (std::vector<uint32_t>{4464, 132, 7, 1, 1, 0xFFFFFFFF, 1, 1, 0}));

    for (const std::vector<uint8_t>& misfit : {std::vector<uint8_t>{1, 0, 0}, {1, 0, 0, 0, 0}}) {
        AppState partial;
        settings.Put("Echo", SettingsBackend::kRegDword, misfit);
        EXPECT_EQ(LoadDisplaySettings(partial, settings), 0);
        EXPECT_EQ(partial.numRows, 4464);        // read before the misfit
        EXPECT_EQ(partial.txCapture.load(), 0);  // never reached
    }
}

// The port name: up to 255 characters (whatever its UTF-16 length), up to the first zero, valid
// text; the record exactly 28 bytes; otherwise the whole group is missing.
TEST(SettingsStore, PortGroupTakesOnlyWholeNamesAndRecords) {
    const std::vector<uint8_t> record(28, 0xAB);
    const auto units = [](std::u16string text, bool terminated = true) {
        std::vector<uint8_t> bytes;
        for (char16_t u : text) {
            bytes.push_back(uint8_t(u));
            bytes.push_back(uint8_t(u >> 8));
        }
        if (terminated) bytes.insert(bytes.end(), {0, 0});
        return bytes;
    };
    std::u16string astral;
    std::string astralUtf8;
    for (int i = 0; i < 255; ++i) {
        astral += u"\U0001F600";
        astralUtf8 += "\xF0\x9F\x98\x80";
    }
    const struct {
        std::vector<uint8_t> name;
        std::size_t recordSize;
        std::optional<std::string> loaded;
    } cases[] = {
        {units(u"COM10"), 28, "COM10"},
        {units(std::u16string(255, u'x')), 28, std::string(255, 'x')},
        {units(astral), 28, astralUtf8},
        {units(std::u16string(256, u'x')), 28, std::nullopt},
        {units(u"AB", false), 28, "AB"},
        {units(std::u16string(u"AB\0CD", 5)), 28, "AB"},
        {units(std::u16string(1, char16_t(0xD800))), 28, std::nullopt},
        {units(u"COM1"), 27, std::nullopt},
        {units(u"COM1"), 29, std::nullopt},
    };
    for (const auto& c : cases) {
        FakeSettings settings;
        settings.Put("COM?", SettingsBackend::kRegSz, c.name);
        settings.Put("DCB", SettingsBackend::kRegBinary, std::vector<uint8_t>(c.recordSize, 0xAB));
        AppState state;
        const int loaded = LoadPortSettings(state, settings);
        EXPECT_EQ(loaded, c.loaded ? 1 : 0) << c.name.size();
        if (!loaded) continue;
        EXPECT_EQ(state.portName, *c.loaded);
        EXPECT_EQ(
            std::vector<uint8_t>(state.portConfig.bytes.begin(), state.portConfig.bytes.end()),
            record);
    }
}

// A save writes every value of its group in order, skipping one that fails and writing the
// next; it creates the key with only its own group; nothing is written when the key cannot be
// made; what it wrote loads back.
TEST(SettingsStore, SavesWriteTheirWholeGroupAndOnlyIt) {
    FakeSettings settings;
    AppState state;
    state.hexInput = HexEntry::AwaitLow;  // saved between two hex digits
    state.controlBar = 1;
    SaveBarSettings(state, settings);
    EXPECT_EQ(settings.writes, (std::vector<std::string>{"Control", "HexInput"}));
    EXPECT_EQ(settings.values.size(), 2u);
    AppState bar;
    EXPECT_EQ(LoadBarSettings(bar, settings), 1);
    EXPECT_EQ(bar.hexInput, HexEntry::AwaitLow);
    EXPECT_EQ(LoadDisplaySettings(bar, settings), 0);

    settings.failWrites = {"Mode"};
    state.numRows = 9999;
    SaveDisplaySettings(state, settings);
    std::vector<std::string> expected = {"Control", "HexInput"};
    expected.insert(expected.end(), kDisplay.begin(), kDisplay.end());
    EXPECT_EQ(settings.writes, expected);
    EXPECT_EQ(settings.Dword("NumRows"), 9999u);
    EXPECT_FALSE(settings.values.contains("Mode"));
    EXPECT_EQ(settings.Dword("RX_Capture"), 1u);

    state.portName = "/dev/s\xC3\xA9rie";
    SavePortSettings(state, settings);
    AppState port;
    EXPECT_EQ(LoadPortSettings(port, settings), 1);
    EXPECT_EQ(port.portName, state.portName);
    EXPECT_EQ(port.portConfig, state.portConfig);

    FakeSettings unmakeable;
    unmakeable.failCreate = true;
    SaveBarSettings(state, unmakeable);
    EXPECT_TRUE(unmakeable.values.empty());
}

TEST(SettingsStore, DefaultsSetExactlyTheirFields) {
    AppState state;
    state.numRows = 33;
    state.displayMode = DisplayMode::Hex;
    state.rxBit7 = state.rxCrLf = state.echo = state.txCrLf = state.txCapture = 1;
    state.rxCapture = 0;
    state.controlBar = 1;
    state.hexInput = HexEntry::AwaitLow;
    state.capturing = 1;
    SetDisplayDefaults(state);
    EXPECT_EQ(DisplayFields(state), (std::vector<uint32_t>{33, 0, 0, 0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(state.controlBar, 0);
    EXPECT_EQ(state.hexInput, HexEntry::Off);
    EXPECT_EQ(state.capturing, 1);
    state.controlBar = 1;
    state.hexInput = HexEntry::AwaitHigh;
    SetBarDefaults(state);
    EXPECT_EQ(state.controlBar, 0);
    EXPECT_EQ(state.hexInput, HexEntry::Off);
}

}  // namespace
}  // namespace vellor::testing
