// The Options dialog's logic: what it shows, and what OK applies and saves.
#include <gtest/gtest.h>

#include "settings/options_model.h"
#include "support/fake_settings.h"
#include "support/screen_fixture.h"

namespace vellor::testing {
namespace {

class OptionsModel : public ::testing::Test {
  protected:
    OptionsModel() { Feed(*state, "hi"); }
    // Whether the screen still holds what was written before OK.
    bool Untouched() { return ScreenText(*state).starts_with("hi") && state->cursorCol == 2; }
    OptionsOutcome Accept(OptionsValues v) {
        return AcceptOptionsDialog(*state, settings, host, v);
    }

    std::unique_ptr<AppState> state = MakeScreen(24, 80, DisplayMode::Text, 20, 40);
    FakeSettings settings;
    FakeHost host;
};

// OK without changes, or with check boxes only, writes all nine display values and leaves the
// screen as it was: no reallocation, no clearing.
TEST_F(OptionsModel, OkWithoutAResizeOrModeChangeKeepsTheScreen) {
    const ScreenBuffer* buffer = state->screenBuffer.get();
    OptionsValues v = OpenOptionsDialog(*state);
    EXPECT_EQ(v.rowsText, "24");
    EXPECT_EQ(v.columnsText, "80");
    EXPECT_EQ(v.mode, 0);
    EXPECT_TRUE(v.rxCapture && !v.echo);
    v.rxBit7 = v.rxCrLf = v.echo = v.txCrLf = v.txCapture = true;
    v.rxCapture = false;
    EXPECT_EQ(Accept(v), OptionsOutcome::Applied);
    EXPECT_EQ(state->screenBuffer.get(), buffer);
    EXPECT_TRUE(Untouched());
    EXPECT_EQ(settings.writes.size(), 9u);
    EXPECT_EQ(state->rxBit7 + state->rxCrLf + state->echo + state->txCrLf + state->txCapture, 5);
    EXPECT_EQ(state->rxCapture.load(), 0);
}

// Typed sizes are taken as the text says (any text, any number, cut to 16 bits); a changed size
// reallocates and homes; one that cannot be allocated falls back to the view's size, which is
// what is saved; a second failure ends the program without saving.
TEST_F(OptionsModel, SizesAreTakenAsTypedWithOneFallback) {
    const std::pair<std::string, uint16_t> typed[] = {
        {"25", 25}, {"20000", 20000}, {"-1", 65535}, {"  +30x", 30}};
    for (const auto& [text, rows] : typed) {
        OptionsValues v = OpenOptionsDialog(*state);
        v.rowsText = text;
        ASSERT_EQ(Accept(v), OptionsOutcome::Applied) << text;
        EXPECT_EQ(state->numRows, rows) << text;
        EXPECT_EQ(settings.Dword("NumRows"), rows) << text;
        EXPECT_EQ(state->cursorRow + state->topRow, 0);
    }
    OptionsValues v = OpenOptionsDialog(*state);
    v.rowsText = "abc";
    EXPECT_EQ(Accept(v), OptionsOutcome::Applied);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "AllocMem Failed");
    EXPECT_EQ(state->numRows, 20);  // the view's size
    EXPECT_EQ(settings.Dword("NumRows"), 20u);

    state->visibleRows = 0;  // not even the view's size can be had
    v.rowsText = "0";
    settings.writes.clear();
    EXPECT_EQ(Accept(v), OptionsOutcome::ProgramEnded);
    EXPECT_EQ(host.calls.back(), "destroy");
    EXPECT_TRUE(settings.writes.empty());
}

// The screen clears only when the mode changes; Text resets a pending escape, the Hex modes keep
// it; a stored mode no button shows stays as it is.
TEST_F(OptionsModel, ModeChangesClearAndTextResetsEscapes) {
    const struct {
        int from, to;
        bool cleared;
        EscapeState after;
    } cases[] = {{0, 0, false, EscapeState::AfterEsc}, {1, 0, true, EscapeState::Normal},
                 {0, 1, true, EscapeState::AfterEsc},  {0, 2, true, EscapeState::AfterEsc},
                 {2, 2, false, EscapeState::AfterEsc}, {7, -1, false, EscapeState::AfterEsc}};
    for (const auto& c : cases) {
        state = MakeScreen(24, 80, DisplayMode(c.from), 20, 40);
        Feed(*state, "hi");
        state->escapeState = EscapeState::AfterEsc;
        const std::string before = ScreenText(*state);
        OptionsValues v = OpenOptionsDialog(*state);
        EXPECT_EQ(v.mode, c.from <= 2 ? c.from : -1);
        v.mode = c.to;
        Accept(v);
        EXPECT_EQ(int(state->displayMode), c.to < 0 ? c.from : c.to);
        EXPECT_EQ(ScreenText(*state), c.cleared ? std::string(23, '|') : before)
            << c.from << " to " << c.to;
        EXPECT_EQ(state->escapeState, c.after) << c.from << " to " << c.to;
    }
    EXPECT_EQ(settings.Dword("Mode"), 7u);
}

TEST(OptionsArrows, StepWithinTheirRangeAndWrap) {
    const struct {
        const char* text;
        int delta, max;
        const char* stepped;
    } cases[] = {{"24", 1, 9999, "25"}, {"9999", 1, 9999, "0"},      {"0", -1, 999, "999"},
                 {"abc", 1, 9999, "1"}, {"20000", -1, 9999, "9998"}, {"-5", 1, 999, "1"}};
    for (const auto& c : cases)
        EXPECT_EQ(StepSizeText(c.text, c.delta, c.max), c.stepped) << c.text;
}

}  // namespace
}  // namespace vellor::testing
