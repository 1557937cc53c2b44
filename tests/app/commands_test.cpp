// Command routing, the commands of the shell, and the main window's layout arithmetic.
#include <gtest/gtest.h>

#include <set>

#include "app/command_ids.h"
#include "app/commands.h"
#include "app/main_layout.h"
#include "app/menu_table.h"
#include "support/fake_settings.h"
#include "support/screen_fixture.h"

namespace vellor::testing {
namespace {

// A screen of 50 x 100 cells seen through 10 x 40; a command returns what it asked of the window.
struct Shell {
    std::vector<std::string> operator()(int id) {
        host.calls.clear();
        DispatchCommand(*state, host, settings, id);
        return host.calls;
    }
    std::unique_ptr<AppState> state = MakeScreen(50, 100, DisplayMode::Text, 10, 40);
    FakeHost host;
    FakeSettings settings;
};

// Identifiers outside the ranges, and unused ones inside, do nothing at all.
TEST(Commands, RouteToTheirHandlers) {
    Shell shell;
    std::string calls;
    for (int id :
         std::initializer_list<int>{kCmdDtr, kCmdRts, kCmdDsr, kCmdCts, kCmdCd, kCmdRi, kCmdExit,
                                    kCmdFind, kCmdProperties, kCmdOptions, kCmdSendSettings})
        for (const std::string& call : shell(id))
            calls += call + ";";
    EXPECT_EQ(calls,
              "focus;focus;focus;focus;focus;focus;destroy;find bar;comm dialog;options dialog;"
              "send settings dialog;");
    std::set<int> used = {kCmdDtr, kCmdRts, kCmdDsr, kCmdCts, kCmdCd, kCmdRi};
    for (const MenuSpec& menu : MainMenus())
        for (const MenuEntry& entry : menu.entries)
            used.insert(entry.id);
    Feed(*shell.state, "text");
    for (int id = kCmdFirst - 1; id <= kCmdLast + 1; ++id)
        EXPECT_TRUE(used.contains(id) || shell(id).empty()) << id;
    for (int id : {40100, 40110, -40001, 40001 + 65536, 0, 1048})
        EXPECT_TRUE(shell(id).empty()) << id;
    EXPECT_EQ(ScreenText(*shell.state).substr(0, 5), "text|");
    EXPECT_TRUE(shell.host.messages.empty() && shell.settings.writes.empty());
    shell(kCmdAbout);
    ASSERT_EQ(shell.host.messages.size(), 1u);
    EXPECT_EQ(shell.host.messages[0].caption + "|" + shell.host.messages[0].text,
              "About Vellor|Vellor v1.1\nSerial terminal");
}

// Zoom steps by two, skips 20 and stops at 13 and 27, marking the item whose limit it reached
// (^ in, _ out); an odd size zooms as the even one below it. A step measures, refreshes the bars,
// repaints, traces and rebuilds the caret.
TEST(Commands, ZoomStepsRoundAndClamp) {
    Shell shell;
    std::string sizes;
    for (int i = 0; i < 16; ++i) {
        shell(i < 7 ? kCmdZoomIn : kCmdZoomOut);
        sizes += std::to_string(shell.state->fontHeight) +
                 (shell.host.ChecksOf(kCmdZoomIn).back() ? "^" : "") +
                 (shell.host.ChecksOf(kCmdZoomOut).back() ? "_ " : " ");
    }
    EXPECT_EQ(sizes, "16 18 21 22 24 27^ 27^ 24 22 21 18 16 14 13_ 13_ 13_ ");
    for (int odd = 13; odd <= 27; odd += 2)
        for (bool in : {true, false})
            EXPECT_EQ(NextZoom(odd, in).fontHeight, NextZoom(odd - 1, in).fontHeight) << odd;
    shell.state->fontHeight = 24;
    TakeDamage(*shell.state);
    EXPECT_EQ(shell(kCmdZoomIn),
              (std::vector<std::string>{"check 40055 0", "check 40056 0", "check 40055 1",
                                        "metrics", "scrollbars", "trace 27 : size", "caret"}));
    EXPECT_TRUE(TakeDamage(*shell.state).WholeView());
}

// Control Bar and Hex Input flip, mark and save the bar group; Control Bar lays the window out
// and measures again; any stored non-zero value counts as on; switching hex entry on forgets a
// half-entered byte.
TEST(Commands, TogglesFlipMarkAndSave) {
    Shell shell;
    AppState& state = *shell.state;
    state.controlBar = 7;
    state.keyByte = 0xA0;
    EXPECT_EQ(shell(kCmdControlBar),
              (std::vector<std::string>{"check 40021 0", "layout", "metrics", "scrollbars"}));
    shell(kCmdControlBar);
    EXPECT_EQ(state.controlBar, 1);
    EXPECT_EQ(shell.settings.Dword("Control"), 1u);
    shell(kCmdHexInput);
    EXPECT_EQ(state.hexInput, HexEntry::AwaitHigh);
    EXPECT_EQ(state.keyByte, 0);
    state.hexInput = HexEntry::AwaitLow;  // the high digit was typed
    shell(kCmdHexInput);
    EXPECT_EQ(state.hexInput, HexEntry::Off);
    EXPECT_EQ(shell.settings.Dword("HexInput"), 0u);
    EXPECT_EQ(shell.host.ChecksOf(kCmdHexInput), (std::vector<bool>{true, false}));
    EXPECT_EQ(shell.settings.writes.size(), 8u);
}

TEST(Commands, ClearAllHomesTheViewAndRefreshesTheBars) {
    Shell shell;
    for (int i = 0; i < 45; ++i)
        Feed(*shell.state, "xy\r\n");
    shell.state->leftCol = 7;
    ASSERT_GT(shell.state->topRow, 0);
    EXPECT_EQ(shell(kCmdClearAll), std::vector<std::string>{"scrollbars"});
    const AppState& s = *shell.state;
    EXPECT_EQ(s.topRow + s.leftCol + s.cursorRow + s.cursorCol, 0);
    EXPECT_EQ(ScreenText(s).find_first_not_of('|'), std::string::npos);
}

// Left edges of DTR, DSR, RTS, CTS, CD and RI for client widths, narrow (CD and RI just beyond
// the right edge, overlapping below 180 pixels) and wide; the view gives the bar 17 pixels.
TEST(MainLayout, BoxesFollowTheGapArithmetic) {
    const std::pair<int, std::array<int, 6>> widths[] = {
        {240, {7, 67, 127, 187, 240, 240}}, {255, {9, 72, 135, 198, 255, 255}},
        {256, {0, 45, 90, 135, 180, 220}},  {480, {18, 100, 182, 264, 346, 423}},
        {100, {-10, 15, 40, 65, 100, 100}}, {0, {-22, -22, -22, -22, 0, 0}}};
    for (const auto& [width, lefts] : widths) {
        const MainLayout layout = LayoutMainWindow(width, 300, true);
        EXPECT_EQ(layout.view, (ChildRect{0, 0, width, 283}));
        for (int i = 0; i < 6; ++i) {
            const int box = IndexOf(MainLayout::kPlacingOrder[i]);
            EXPECT_EQ(layout.boxes[box], (ChildRect{lefts[i], 284, kBoxWidths[box], 15}))
                << width << " box " << i;
        }
    }
    const MainLayout hidden = LayoutMainWindow(480, 300, false);
    EXPECT_EQ(hidden.view, (ChildRect{0, 0, 480, 300}));
    EXPECT_FALSE(hidden.boxesPlaced);
}

}  // namespace
}  // namespace vellor::testing
