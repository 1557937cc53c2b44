// The settings groups and the preferences: what a load takes, what a save writes, the defaults.
#include <gtest/gtest.h>

#include "app/app_state.h"
#include "settings/preferences.h"
#include "settings/settings_store.h"
#include "settings/text_encoding.h"
#include "support/fake_settings.h"

namespace vellor::testing {
namespace {

const std::vector<std::string> kDisplay = {"NumRows", "NumCols",    "Mode",
                                           "RX_Bit7", "RX_CRLF",    "Echo",
                                           "TX_CRLF", "TX_Capture", "RX_Capture"};

std::vector<uint32_t> DisplayFields(const AppState& s) {
    std::vector<uint32_t> fields = {s.numRows, s.numCols, uint32_t(s.displayMode)};
    for (const Flag* flag : {&s.rxBit7, &s.rxCrLf, &s.echo, &s.txCrLf, &s.txCapture, &s.rxCapture})
        fields.push_back(uint32_t(flag->load()));
    return fields;
}

// A load stops at the first missing or misfit value; sizes keep their low 16 bits, nothing else.
TEST(SettingsStore, LoadsTakeWholeValuesInOrderUntilOneIsMissing) {
    FakeSettings settings;
    AppState state;
    EXPECT_EQ(LoadDisplaySettings(state, settings) + LoadBarSettings(state, settings) +
                  LoadPortSettings(state, settings),
              0);
    EXPECT_EQ(DisplayFields(state), DisplayFields(AppState()));
    EXPECT_FALSE(settings.keyExists);

    const std::vector<uint32_t> stored = {70000, 132, 7, 1, 1, 0xFFFFFFFF, 1, 1, 0};
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

// The port group needs a valid name of at most 255 characters and a record of exactly 28 bytes.
TEST(SettingsStore, PortGroupTakesOnlyWholeNamesAndRecords) {
    std::u16string astral;
    for (int i = 0; i < 255; ++i)
        astral += u"\U0001F600";
    const std::tuple<std::vector<uint8_t>, std::size_t, std::optional<std::string>> cases[] = {
        {RegSzBytes(u"COM10"), 28, "COM10"},
        {RegSzBytes(std::u16string(255, u'x')), 28, std::string(255, 'x')},
        {RegSzBytes(astral), 28, *Utf16ToUtf8(astral)},
        {RegSzBytes(std::u16string(256, u'x')), 28, std::nullopt},
        {{'A', 0, 'B', 0}, 28, "AB"},
        {RegSzBytes(std::u16string(u"AB\0CD", 5)), 28, "AB"},
        {{0, 0xD8, 0, 0}, 28, std::nullopt},
        {RegSzBytes(u"COM1"), 27, std::nullopt},
        {RegSzBytes(u"COM1"), 29, std::nullopt}};
    for (const auto& [name, recordSize, loaded] : cases) {
        FakeSettings settings;
        settings.Put("COM?", SettingsBackend::kRegSz, name);
        settings.Put("DCB", SettingsBackend::kRegBinary, std::vector<uint8_t>(recordSize, 0xAB));
        AppState s;
        const bool ok = LoadPortSettings(s, settings) == 1;
        EXPECT_EQ(ok ? std::optional(s.portName) : std::nullopt, loaded) << name.size();
        EXPECT_EQ(std::ranges::count(s.portConfig.bytes, 0xAB), ok ? 28 : 0);
    }
}

// A save writes its whole group in order, past a refused value, and it loads back.
TEST(SettingsStore, SavesWriteTheirWholeGroupAndOnlyIt) {
    FakeSettings settings, unmakeable;
    AppState state, loaded;
    state.hexInput = HexEntry::AwaitLow;  // saved between two hex digits
    state.controlBar = 1;
    SaveBarSettings(state, settings);
    EXPECT_EQ(settings.writes, (std::vector<std::string>{"Control", "HexInput"}));
    EXPECT_EQ(LoadBarSettings(loaded, settings) + LoadDisplaySettings(loaded, settings), 1);
    EXPECT_EQ(std::tuple(loaded.controlBar, loaded.hexInput), std::tuple(1, HexEntry::AwaitLow));

    settings.failWrites = {"Mode"};
    settings.writes.clear();
    state.numRows = 9999;
    SaveDisplaySettings(state, settings);
    EXPECT_EQ(settings.writes, kDisplay);
    EXPECT_EQ(settings.values.size(), 10u);  // the bar group, and the display group but Mode
    EXPECT_EQ(settings.Dword("NumRows"), 9999u);

    state.portName = "/dev/s\xC3\xA9rie";
    state.portConfig.bytes.fill(0x5A);
    SavePortSettings(state, settings);
    EXPECT_EQ(LoadPortSettings(loaded, settings), 1);
    EXPECT_EQ(std::tuple(loaded.portName, loaded.portConfig),
              std::tuple(state.portName, state.portConfig));
    unmakeable.failCreate = true;
    SaveBarSettings(state, unmakeable);
    EXPECT_TRUE(unmakeable.values.empty());
}

TEST(SettingsStore, DefaultsSetExactlyTheirFields) {
    AppState display, bar;
    for (AppState* s : {&display, &bar}) {
        s->numRows = 33;
        s->displayMode = DisplayMode::Hex;
        s->rxBit7 = s->rxCrLf = s->echo = s->txCrLf = s->txCapture = 1;
        s->controlBar = s->capturing = 1;
        s->rxCapture = 0;
        s->hexInput = HexEntry::AwaitLow;
    }
    SetDisplayDefaults(display);
    SetBarDefaults(bar);
    EXPECT_EQ(DisplayFields(display), (std::vector<uint32_t>{33, 0, 0, 0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(DisplayFields(bar), (std::vector<uint32_t>{33, 0, 1, 1, 1, 1, 1, 1, 0}));
    for (const AppState* s : {&display, &bar})
        EXPECT_EQ(std::tuple(s->controlBar, s->hexInput, s->capturing),
                  std::tuple(0, HexEntry::Off, 1));
}

// A preference missing, misfit or out of range keeps its default; a save writes them all.
TEST(Preferences, EachLoadsOnItsOwnAndAllAreSaved) {
    // StatusBar is missing, SendWaitEcho too short, SendLineDelay out of range.
    const std::tuple<const char*, uint32_t, std::size_t> stored[] = {
        {"Reconnect", 0, 4},
        {"SendCharDelay", kMaxPacingMs, 4},
        {"SendWaitEcho", 1, 3},
        {"SendLineDelay", kMaxPacingMs + 1, 4},
        {"SendEchoTimeout", 5, 4}};
    FakeSettings settings, written;
    for (const auto& [name, value, size] : stored) {
        const auto le = Le32(value);
        settings.Put(name, SettingsBackend::kRegDword, {le.begin(), le.begin() + size});
    }
    Preferences loaded;
    LoadPreferences(loaded, settings);
    EXPECT_EQ(loaded, (Preferences{.reconnect = false,
                                   .pacing = {.charDelayMs = kMaxPacingMs, .echoTimeoutMs = 5}}));

    const Preferences saved{false, false, {1, 2, true, 3}};
    EXPECT_TRUE(SavePreferences(saved, written));
    LoadPreferences(loaded, written);
    EXPECT_EQ(loaded, saved);
    written.failWrites = {"StatusBar"};
    EXPECT_FALSE(SavePreferences(saved, written));
    EXPECT_EQ(written.writes.size(), 12u);  // the one refused did not stop the others
    written.failCreate = true;
    written.keyExists = false;
    EXPECT_FALSE(SavePreferences(saved, written));
}

}  // namespace
}  // namespace vellor::testing
