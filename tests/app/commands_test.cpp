// Command routing, the commands of the shell, and the main window's layout arithmetic.
#include <gtest/gtest.h>

#include "app/command_ids.h"
#include "app/commands.h"
#include "app/main_layout.h"
#include "support/fake_settings.h"
#include "support/screen_fixture.h"

namespace vellor::testing {
namespace {

// What each command asks of the window, in order; identifiers outside the range and unused ones
// inside it do nothing at all.
TEST(Commands, RouteToTheirHandlers) {
    const std::pair<int, std::vector<std::string>> routes[] = {{kCmdDtr, {"focus"}},
                                                               {kCmdRts, {"focus"}},
                                                               {kCmdDsr, {"focus"}},
                                                               {kCmdRi, {"focus"}},
                                                               {kCmdExit, {"destroy"}},
                                                               {kCmdProperties, {"comm dialog"}},
                                                               {kCmdOptions, {"options dialog"}}};
    for (const auto& [id, calls] : routes) {
        auto state = MakeScreen(5, 5);
        FakeHost host;
        FakeSettings settings;
        DispatchCommand(*state, host, settings, id);
        EXPECT_EQ(host.calls, calls) << id;
    }
    const std::vector<int> used = {40001, 40002, 40003, 40004, 40005, 40006, 40008, 40009, 40010,
                                   40011, 40021, 40028, 40042, 40050, 40052, 40053, 40055, 40056};
    for (int id : {0, 40000, 40057, -40001, 40001 + 65536, 1048}) {
        auto state = MakeScreen(5, 5);
        FakeHost host;
        FakeSettings settings;
        DispatchCommand(*state, host, settings, id);
        EXPECT_TRUE(host.calls.empty() && host.messages.empty()) << id;
    }
    for (int id = kCmdFirst; id <= kCmdLast; ++id) {
        if (std::find(used.begin(), used.end(), id) != used.end()) continue;
        AppState state;
        FakeHost host;
        FakeSettings settings;
        DispatchCommand(state, host, settings, id);
        EXPECT_TRUE(host.calls.empty() && settings.writes.empty()) << id;
        EXPECT_EQ(state.fontHeight, 14);
    }
    AppState state;
    FakeHost host;
    FakeSettings settings;
    DispatchCommand(state, host, settings, kCmdAbout);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].caption, "About Vellor");
    EXPECT_TRUE(host.messages[0].text.starts_with("Vellor v1.1"));
}

// Zoom rounds an odd size down to even, steps by two, skips 20 and stops at 13 and 27, checking
// the item at a limit; each step measures, refreshes the bars, repaints, traces and rebuilds
// the caret.
TEST(Commands, ZoomStepsRoundAndClamp) {
    const struct {
        int from;
        bool in;
        int to;
        bool inMark, outMark;
    } steps[] = {
        {14, true, 16, false, false},  {18, true, 21, false, false}, {21, true, 22, false, false},
        {24, true, 27, true, false},   {27, true, 27, true, false},  {13, true, 14, false, false},
        {15, true, 16, false, false},  {23, true, 24, false, false}, {22, false, 21, false, false},
        {21, false, 18, false, false}, {14, false, 13, false, true}, {15, false, 13, false, true},
        {17, false, 14, false, false}};
    for (const auto& s : steps) {
        const ZoomStep step = NextZoom(s.from, s.in);
        EXPECT_EQ(step.fontHeight, s.to) << s.from << (s.in ? " in" : " out");
        EXPECT_EQ(step.zoomInChecked, s.inMark) << s.from;
        EXPECT_EQ(step.zoomOutChecked, s.outMark) << s.from;
    }
    auto state = MakeScreen(5, 5);
    state->fontHeight = 24;
    FakeHost host;
    FakeSettings settings;
    DispatchCommand(*state, host, settings, kCmdZoomIn);
    EXPECT_EQ(host.calls,
              (std::vector<std::string>{"check 40055 0", "check 40056 0", "check 40055 1",
                                        "metrics", "scrollbars", "trace 27 : size", "caret"}));
    EXPECT_TRUE(TakeDamage(*state).WholeView());
    std::vector<int> sizes;
    for (int i = 0; i < 9; ++i) {
        DispatchCommand(*state, host, settings, kCmdZoomOut);
        sizes.push_back(state->fontHeight);
    }
    EXPECT_EQ(sizes, (std::vector<int>{24, 22, 21, 18, 16, 14, 13, 13, 13}));
}

// Control Bar and Hex Input flip their state and mark and save the bar group; Control Bar lays
// the window out and measures again; any stored non-zero value counts as on; switching hex entry
// on forgets a half-entered byte.
TEST(Commands, TogglesFlipMarkAndSave) {
    AppState state;
    state.controlBar = 7;
    state.keyByte = 0xA0;
    FakeHost host;
    FakeSettings settings;
    DispatchCommand(state, host, settings, kCmdControlBar);
    EXPECT_EQ(state.controlBar, 0);
    EXPECT_EQ(host.calls,
              (std::vector<std::string>{"check 40021 0", "layout", "metrics", "scrollbars"}));
    DispatchCommand(state, host, settings, kCmdControlBar);
    EXPECT_EQ(state.controlBar, 1);
    EXPECT_EQ(settings.Dword("Control"), 1u);

    DispatchCommand(state, host, settings, kCmdHexInput);
    EXPECT_EQ(state.hexInput, HexEntry::AwaitHigh);
    EXPECT_EQ(state.keyByte, 0);
    state.hexInput = HexEntry::AwaitLow;  // the high digit was typed
    DispatchCommand(state, host, settings, kCmdHexInput);
    EXPECT_EQ(state.hexInput, HexEntry::Off);
    EXPECT_EQ(settings.Dword("HexInput"), 0u);
    EXPECT_EQ(host.ChecksOf(kCmdHexInput), (std::vector<bool>{true, false}));
    EXPECT_EQ(settings.writes.size(), 8u);
}

TEST(Commands, ClearAllHomesTheViewAndRefreshesTheBars) {
    auto state = MakeScreen(50, 100, DisplayMode::Text, 10, 40);
    for (int i = 0; i < 45; ++i)
        Feed(*state, "xy\r\n");
    state->leftCol = 7;
    ASSERT_GT(state->topRow, 0);
    FakeHost host;
    FakeSettings settings;
    DispatchCommand(*state, host, settings, kCmdClearAll);
    EXPECT_EQ(host.calls, std::vector<std::string>{"scrollbars"});
    EXPECT_EQ(state->topRow + state->leftCol + state->cursorRow + state->cursorCol, 0);
    EXPECT_EQ(ScreenText(*state).find_first_not_of('|'), std::string::npos);
}

// Left edges of DTR, DSR, RTS, CTS, CD and RI for client widths, narrow (CD and RI just beyond
// the right edge, overlapping below 180 pixels) and wide; the view gives the bar 17 pixels.
TEST(MainLayout, BoxesFollowTheGapArithmetic) {
    const std::pair<int, std::array<int, 6>> widths[] = {
        {240, {7, 67, 127, 187, 240, 240}}, {255, {9, 72, 135, 198, 255, 255}},
        {256, {0, 45, 90, 135, 180, 220}},  {261, {0, 46, 92, 138, 184, 225}},
        {320, {5, 60, 115, 170, 225, 275}}, {480, {18, 100, 182, 264, 346, 423}},
        {180, {0, 45, 90, 135, 180, 180}},  {100, {-10, 15, 40, 65, 100, 100}},
        {0, {-22, -22, -22, -22, 0, 0}}};
    for (const auto& [width, lefts] : widths) {
        const MainLayout layout = LayoutMainWindow(width, 300, true);
        EXPECT_EQ(layout.view, (ChildRect{0, 0, width, 283}));
        for (int i = 0; i < 6; ++i) {
            const ChildRect& box = layout.boxes[IndexOf(MainLayout::kPlacingOrder[i])];
            EXPECT_EQ(box, (ChildRect{lefts[i], 284,
                                      kBoxWidths[IndexOf(MainLayout::kPlacingOrder[i])], 15}))
                << width << " box " << i;
        }
    }
    const MainLayout hidden = LayoutMainWindow(480, 300, false);
    EXPECT_EQ(hidden.view, (ChildRect{0, 0, 480, 300}));
    EXPECT_FALSE(hidden.boxesPlaced);
}

}  // namespace
}  // namespace vellor::testing
