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
    std::string operator()(int id) {
        host.calls.clear();
        DispatchCommand(*state, host, settings, id);
        std::string calls;
        for (const std::string& call : host.calls)
            calls += call + ";";
        return calls;
    }
    std::unique_ptr<AppState> state = MakeScreen(50, 100, DisplayMode::Text, 10, 40);
    FakeHost host;
    FakeSettings settings;
};

// Added items route beside the original ones; unknown identifiers do nothing at all.
TEST(Commands, RouteToTheirHandlers) {
    Shell shell;
    std::string calls;
    for (int id :
         {+kCmdDtr, +kCmdRts, +kCmdDsr, +kCmdCts, +kCmdCd, +kCmdRi, +kCmdExit, +kCmdProperties,
          +kCmdOptions, +kCmdFind, +kCmdSendSettings, +kCmdStatusBar, +kCmdReconnect})
        calls += shell(id);
    EXPECT_EQ(calls,
              "focus;focus;focus;focus;focus;focus;destroy;comm dialog;options dialog;find bar;"
              "send settings dialog;check 40106 0;status bar 0;check 40101 0;");
    std::set<int> used = {kCmdDtr, kCmdRts, kCmdDsr, kCmdCts, kCmdCd, kCmdRi};
    for (const MenuSpec& menu : MainMenus())
        for (const MenuEntry& entry : menu.entries)
            used.insert(entry.id);
    Feed(*shell.state, "text");
    for (int id = kCmdFirst - 1; id <= 40110; ++id)
        EXPECT_TRUE(used.contains(id) || shell(id).empty()) << id;
    EXPECT_EQ(shell(-40001) + shell(40001 + 65536) + shell(0), "");
    EXPECT_EQ(ScreenText(*shell.state).substr(0, 5), "text|");
    shell.state->topRow = 3, shell.state->leftCol = 7;
    EXPECT_EQ(shell(kCmdClearAll), "scrollbars;");  // and homes the view
    EXPECT_EQ(shell.state->topRow + shell.state->leftCol + ScreenText(*shell.state).find('t'),
              std::string::npos);
    shell(kCmdAbout);
    ASSERT_EQ(shell.host.messages.size(), 1u);
    EXPECT_EQ(shell.host.messages[0].caption, "About Vellor");
}

// Zoom steps by two from the even size below, skips 20, stops at 13 and 27 marking that limit.
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
    shell.state->fontHeight = 24;
    TakeDamage(*shell.state);
    EXPECT_EQ(shell(kCmdZoomIn),
              "check 40055 0;check 40056 0;check 40055 1;metrics;scrollbars;"
              "trace 27 : size;caret;");
    EXPECT_TRUE(TakeDamage(*shell.state).WholeView());
}

// Control Bar (any non-zero value is on) and Hex Input (on forgets a half digit) save their group.
TEST(Commands, TogglesFlipMarkAndSave) {
    Shell shell;
    AppState& state = *shell.state;
    state.controlBar = 7;
    state.keyByte = 0xA0;
    EXPECT_EQ(shell(kCmdControlBar), "check 40021 0;layout;metrics;scrollbars;");
    shell(kCmdControlBar);
    EXPECT_EQ(shell.settings.Dword("Control"), 1u);
    shell(kCmdHexInput);
    EXPECT_TRUE(state.hexInput == HexEntry::AwaitHigh && state.keyByte == 0);
    state.hexInput = HexEntry::AwaitLow;  // the high digit was typed
    shell(kCmdHexInput);
    EXPECT_TRUE(state.hexInput == HexEntry::Off && shell.settings.Dword("HexInput") == 0u);
    EXPECT_EQ(shell.host.ChecksOf(kCmdHexInput), (std::vector<bool>{true, false}));
    EXPECT_EQ(shell.settings.writes.size(), 8u);
}

// Left edges of DTR, DSR, RTS, CTS, CD and RI, narrow (CD and RI beyond the edge) and wide.
TEST(MainLayout, BoxesFollowTheGapArithmetic) {
    const std::pair<int, std::array<int, 6>> widths[] = {{255, {9, 72, 135, 198, 255, 255}},
                                                         {256, {0, 45, 90, 135, 180, 220}},
                                                         {100, {-10, 15, 40, 65, 100, 100}}};
    for (const auto& [width, lefts] : widths) {
        const MainLayout layout = LayoutMainWindow(width, 300, true);
        for (int i = 0; i < 6; ++i) {
            const int box = IndexOf(MainLayout::kPlacingOrder[i]);
            EXPECT_EQ(layout.boxes[box], (ChildRect{lefts[i], 284, kBoxWidths[box], 15}))
                << width << " box " << i;
        }
    }
}

}  // namespace
}  // namespace vellor::testing
