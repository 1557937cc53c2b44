// The Options dialog's logic: what it shows, and what OK applies and saves.
#include <gtest/gtest.h>

#include "settings/options_model.h"
#include "support/fake_settings.h"
#include "support/screen_fixture.h"

namespace vellor::testing {
namespace {

// OK applies the boxes and the mode, clearing only for a new one (Text ends a pending escape).
TEST(OptionsModel, OkAppliesTheBoxesAndClearsOnlyForANewMode) {
    FakeSettings settings;
    FakeHost host;
    const std::tuple<int, int, bool> cases[] = {{0, 0, false}, {1, 0, true},  {0, 1, true},
                                                {0, 2, true},  {2, 2, false}, {7, -1, false}};
    for (const auto& [from, to, cleared] : cases) {
        auto state = MakeScreen(24, 80, DisplayMode(from), 20, 40);
        Feed(*state, "hi");
        state->escapeState = EscapeState::AfterEsc;
        const std::string before = ScreenText(*state);
        const OptionsValues chosen{"24", "80", to, true, false, true, true, true, false};
        ASSERT_EQ(AcceptOptionsDialog(*state, settings, host, chosen), OptionsOutcome::Applied);
        EXPECT_EQ(OpenOptionsDialog(*state), chosen);
        EXPECT_EQ(ScreenText(*state), cleared ? std::string(23, '|') : before) << from << to;
        EXPECT_EQ(state->escapeState,
                  cleared && to == 0 ? EscapeState::Normal : EscapeState::AfterEsc);
    }
    EXPECT_EQ(std::tuple(settings.Dword("Mode"), settings.Dword("RX_Capture")), std::tuple(7u, 0u));
}

// Sizes are taken as typed; one that cannot be had falls back to the view's, then ends the program.
TEST(OptionsModel, SizesAreTakenAsTypedWithOneFallback) {
    FakeSettings settings, none;
    FakeHost host;
    auto state = MakeScreen(24, 80, DisplayMode::Text, 20, 40);
    for (const auto& [text, rows] : {std::pair{"20000", 20000}, {"-1", 65535}, {"abc", 20}}) {
        Feed(*state, "\r\nx");
        ASSERT_EQ(AcceptOptionsDialog(*state, settings, host, {text, "80", 0}),
                  OptionsOutcome::Applied);
        EXPECT_EQ(std::tuple(state->numRows, settings.Dword("NumRows")), std::tuple(rows, rows));
        EXPECT_EQ(state->cursorRow + state->topRow, 0) << text;
    }
    state->visibleRows = 0;  // not even the view's size can be had
    EXPECT_EQ(AcceptOptionsDialog(*state, none, host, {"0", "80"}), OptionsOutcome::ProgramEnded);
    EXPECT_TRUE(host.calls.back() == "destroy" && none.writes.empty());
}

}  // namespace
}  // namespace vellor::testing
