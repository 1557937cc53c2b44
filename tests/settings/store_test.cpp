// The settings groups and the preferences: what a load takes, what a save writes, the defaults.
#include <gtest/gtest.h>

#include "app/app_state.h"
#include "settings/preferences.h"
#include "settings/settings_store.h"
#include "support/fake_settings.h"

namespace vellor::testing {
namespace {

using SB = SettingsBackend;
using Fields = std::vector<int64_t>;
const std::vector<std::string> kDisplay = {"NumRows", "NumCols",    "Mode",
                                           "RX_Bit7", "RX_CRLF",    "Echo",
                                           "TX_CRLF", "TX_Capture", "RX_Capture"};

Fields FieldsOf(const AppState& s) {
    const int64_t mode = int64_t(s.displayMode), hex = int64_t(s.hexInput);
    return {s.numRows, s.numCols,   mode,        s.rxBit7,     s.rxCrLf, s.echo,
            s.txCrLf,  s.txCapture, s.rxCapture, s.controlBar, hex,      s.capturing};
}

// A load keeps what it read before a misfit value; types are not checked, sizes keep 16 bits.
TEST(SettingsStore, LoadsTakeWholeValuesInOrderUntilOneIsMissing) {
    FakeSettings settings;
    AppState state;
    const uint32_t stored[] = {70000, 132, 7, 1, 1, 5, 1, 1, 0xFFFFFFFF};
    for (std::size_t i = 0; i < kDisplay.size(); ++i)
        settings.Put(kDisplay[i], i == 2 ? SB::kRegBinary : SB::kRegDword, Le32(stored[i]));
    settings.Put("Echo", SB::kRegDword, std::array<uint8_t, 3>{1, 0, 0});
    EXPECT_EQ(LoadDisplaySettings(state, settings), 0);
    EXPECT_EQ(FieldsOf(state), (Fields{4464, 132, 7, 1, 1, 0, 0, 0, 1, 0, 0, 0}));
    settings.Put("Echo", SB::kRegDword, Le32(5));
    EXPECT_EQ(LoadDisplaySettings(state, settings), 1);
    const std::pair<void (*)(AppState&), Fields> defaults[] = {
        {SetBarDefaults, {4464, 132, 7, 1, 1, 5, 1, 1, -1, 0, 0, 1}},
        {SetDisplayDefaults, {4464, 132, 0, 0, 0, 0, 0, 0, 1, 0, 0, 1}}};
    for (const auto& [setDefaults, fields] : defaults) {
        state.controlBar = state.capturing = 1, state.hexInput = HexEntry::AwaitLow;
        setDefaults(state);
        EXPECT_EQ(FieldsOf(state), fields);
    }
}

// A preference missing (StatusBar), misfit or out of range keeps its default; each is saved.
TEST(Preferences, EachLoadsOnItsOwnAndAllAreSaved) {
    FakeSettings settings, written;
    const std::pair<const char*, uint32_t> stored[] = {{"Reconnect", 0},
                                                       {"SendCharDelay", kMaxPacingMs},
                                                       {"SendLineDelay", kMaxPacingMs + 1},
                                                       {"SendEchoTimeout", 5}};
    for (const auto& [name, value] : stored)
        settings.Put(name, SB::kRegDword, Le32(value));
    settings.Put("SendWaitEcho", SB::kRegDword, std::array<uint8_t, 3>{1, 0, 0});
    Preferences loaded;
    LoadPreferences(loaded, settings);
    EXPECT_EQ(loaded, (Preferences{.reconnect = false,
                                   .pacing = {.charDelayMs = kMaxPacingMs, .echoTimeoutMs = 5}}));
    written.failWrites = {"StatusBar"};  // refused: the others are still written
    EXPECT_FALSE(SavePreferences(Preferences{false, false, {1, 2, true, 3}}, written));
    LoadPreferences(loaded, written);
    EXPECT_EQ(loaded, (Preferences{false, true, {1, 2, true, 3}}));
}

}  // namespace
}  // namespace vellor::testing
