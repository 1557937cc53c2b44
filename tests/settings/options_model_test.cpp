// The Options dialog's logic: what it shows, and what OK applies and saves.
#include <gtest/gtest.h>

#include "settings/options_model.h"
#include "support/fake_settings.h"
#include "support/screen_fixture.h"

namespace vellor::testing {
namespace {

struct OptionsModel : ::testing::Test {
    OptionsOutcome Accept(const std::function<void(OptionsValues&)>& change) {
        OptionsValues v = OpenOptionsDialog(*state);
        change(v);
        return AcceptOptionsDialog(*state, settings, host, v);
    }
    std::unique_ptr<AppState> state = MakeScreen(24, 80, DisplayMode::Text, 20, 40);
    FakeSettings settings;
    FakeHost host;
};

// OK applies boxes and mode, clearing only for a new mode (Text ends a pending escape) and saving.
TEST_F(OptionsModel, OkAppliesTheBoxesAndClearsOnlyForANewMode) {
    const std::tuple<int, int, bool, EscapeState> cases[] = {
        {0, 0, false, EscapeState::AfterEsc}, {1, 0, true, EscapeState::Normal},
        {0, 1, true, EscapeState::AfterEsc},  {0, 2, true, EscapeState::AfterEsc},
        {2, 2, false, EscapeState::AfterEsc}, {7, -1, false, EscapeState::AfterEsc}};
    for (const auto& [from, to, cleared, escape] : cases) {
        state = MakeScreen(24, 80, DisplayMode(from), 20, 40);
        Feed(*state, "hi");
        state->escapeState = EscapeState::AfterEsc;
        const std::string before = ScreenText(*state);
        OptionsValues chosen = OpenOptionsDialog(*state);
        EXPECT_EQ(chosen, (OptionsValues{"24", "80", from <= 2 ? from : -1, false, false, false,
                                         false, false, true}));
        chosen.mode = to;
        chosen.rxBit7 = chosen.rxCrLf = chosen.echo = chosen.txCrLf = chosen.txCapture = true;
        chosen.rxCapture = false;
        ASSERT_EQ(Accept([&](OptionsValues& v) { v = chosen; }), OptionsOutcome::Applied);
        EXPECT_EQ(OpenOptionsDialog(*state), chosen);
        EXPECT_EQ(ScreenText(*state), cleared ? std::string(23, '|') : before) << from << to;
        EXPECT_EQ(state->escapeState, escape) << from << " to " << to;
    }
    EXPECT_EQ(std::tuple(settings.Dword("Mode"), settings.Dword("RX_Capture")), std::tuple(7u, 0u));
}

// Sizes are taken as typed; one that cannot be had falls back to the view's, then ends the program.
TEST_F(OptionsModel, SizesAreTakenAsTypedWithOneFallback) {
    const std::pair<std::string, uint16_t> typed[] = {
        {"20000", 20000}, {"-1", 65535}, {"  +30x", 30}, {"abc", 20}};
    for (const auto& [text, rows] : typed) {
        Feed(*state, "\r\nx");
        ASSERT_EQ(Accept([&](OptionsValues& v) { v.rowsText = text; }), OptionsOutcome::Applied);
        EXPECT_EQ(std::tuple(state->numRows, settings.Dword("NumRows")), std::tuple(rows, rows));
        EXPECT_EQ(state->cursorRow + state->topRow, 0) << text;
    }
    state->visibleRows = 0;  // not even the view's size can be had
    settings.writes.clear();
    EXPECT_EQ(Accept([](OptionsValues& v) { v.rowsText = "0"; }), OptionsOutcome::ProgramEnded);
    EXPECT_EQ(host.calls.back(), "destroy");
    EXPECT_TRUE(settings.writes.empty());
}

TEST(OptionsArrows, StepWithinTheirRangeAndWrap) {
    const std::tuple<const char*, int, int, const char*> cases[] = {
        {"24", 1, 9999, "25"}, {"9999", 1, 9999, "0"},      {"0", -1, 999, "999"},
        {"abc", 1, 9999, "1"}, {"20000", -1, 9999, "9998"}, {"-5", 1, 999, "1"}};
    for (const auto& [text, delta, max, stepped] : cases)
        EXPECT_EQ(StepSizeText(text, delta, max), stepped) << text;
}

}  // namespace
}  // namespace vellor::testing
