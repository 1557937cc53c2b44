#include "app/commands.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/command_ids.h"
#include "app/recording_shell_host.h"
#include "screen/screen.h"
#include "support/recording_platform.h"

namespace vellor {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using Strings = std::vector<std::string>;

struct RouteCase {
    int id;
    Strings calls;
};

class RoutingTest : public ::testing::TestWithParam<RouteCase> {};

TEST_P(RoutingTest, RoutesTheCommandToItsHandler) {
    AppState state;
    testing::RecordingShellHost host;
    DispatchCommand(state, host, GetParam().id);
    EXPECT_THAT(host.calls, ElementsAreArray(GetParam().calls));
}

INSTANTIATE_TEST_SUITE_P(
    Table, RoutingTest,
    ::testing::Values(
        RouteCase{kCmdDtr, {"dtr", "focus"}}, RouteCase{kCmdRts, {"rts", "focus"}},
        RouteCase{kCmdDsr, {"focus"}}, RouteCase{kCmdCts, {"focus"}}, RouteCase{kCmdCd, {"focus"}},
        RouteCase{kCmdRi, {"focus"}}, RouteCase{kCmdExit, {"destroy"}},
        RouteCase{kCmdAbout, {"message main About Vellor|" + AboutText() + "|"}},
        RouteCase{kCmdProperties, {"comm dialog"}}, RouteCase{kCmdOpenPort, {"open port"}},
        RouteCase{kCmdOptions, {"options dialog"}}, RouteCase{kCmdCapture, {"capture"}},
        RouteCase{kCmdSend, {"send"}},
        // Outside the range, and unused identifiers inside it.
        RouteCase{0, {}}, RouteCase{40000, {}}, RouteCase{40057, {}}, RouteCase{-40001, {}},
        RouteCase{40001 + 65536, {}}, RouteCase{40007, {}}, RouteCase{40012, {}},
        RouteCase{40020, {}}, RouteCase{40022, {}}, RouteCase{40027, {}}, RouteCase{40029, {}},
        RouteCase{40041, {}}, RouteCase{40043, {}}, RouteCase{40049, {}}, RouteCase{40051, {}},
        RouteCase{40054, {}}));

TEST(RoutingTest, UnusedIdentifiersInRangeChangeNoState) {
    const std::vector<int> used = {40001, 40002, 40003, 40004, 40005, 40006, 40008, 40009, 40010,
                                   40011, 40021, 40028, 40042, 40050, 40052, 40053, 40055, 40056};
    for (int id = kCmdFirst; id <= kCmdLast; ++id) {
        if (std::find(used.begin(), used.end(), id) != used.end()) continue;
        AppState state;
        testing::RecordingShellHost host;
        DispatchCommand(state, host, id);
        EXPECT_THAT(host.calls, IsEmpty()) << id;
        EXPECT_EQ(state.fontHeight, 14) << id;
        EXPECT_EQ(state.controlBar, 0) << id;
        EXPECT_EQ(state.hexInput, 0) << id;
    }
}

TEST(AboutTest, NamesTheProductAndVersion) {
    EXPECT_NE(AboutText().find("Vellor"), std::string::npos);
    EXPECT_NE(AboutText().find("v1.1"), std::string::npos);
    EXPECT_STREQ(kAboutCaption, "About Vellor");
}

struct ZoomCase {
    int from;
    bool zoomIn;
    int to;
    bool inChecked;
    bool outChecked;
};

class ZoomStepTest : public ::testing::TestWithParam<ZoomCase> {};

TEST_P(ZoomStepTest, StepsRoundsAndClamps) {
    const ZoomCase& c = GetParam();
    const ZoomStep step = NextZoom(c.from, c.zoomIn);
    EXPECT_EQ(step.fontHeight, c.to);
    EXPECT_EQ(step.zoomInChecked, c.inChecked);
    EXPECT_EQ(step.zoomOutChecked, c.outChecked);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ZoomStepTest,
    ::testing::Values(ZoomCase{14, true, 16, false, false}, ZoomCase{16, true, 18, false, false},
                      ZoomCase{18, true, 21, false, false}, ZoomCase{21, true, 22, false, false},
                      ZoomCase{22, true, 24, false, false}, ZoomCase{24, true, 27, true, false},
                      ZoomCase{27, true, 27, true, false}, ZoomCase{13, true, 14, false, false},
                      ZoomCase{15, true, 16, false, false}, ZoomCase{23, true, 24, false, false},
                      ZoomCase{27, false, 24, false, false}, ZoomCase{24, false, 22, false, false},
                      ZoomCase{22, false, 21, false, false}, ZoomCase{21, false, 18, false, false},
                      ZoomCase{18, false, 16, false, false}, ZoomCase{16, false, 14, false, false},
                      ZoomCase{14, false, 13, false, true}, ZoomCase{13, false, 13, false, true},
                      ZoomCase{15, false, 13, false, true}, ZoomCase{17, false, 14, false, false}));

std::vector<int> ZoomSequence(bool zoomIn, int from, int steps) {
    AppState state;
    state.fontHeight = from;
    testing::RecordingShellHost host;
    std::vector<int> sizes;
    for (int i = 0; i < steps; ++i) {
        DispatchCommand(state, host, zoomIn ? kCmdZoomIn : kCmdZoomOut);
        sizes.push_back(state.fontHeight);
    }
    return sizes;
}

TEST(ZoomTest, SequencesFromTheStartAndFromTheTop) {
    EXPECT_THAT(ZoomSequence(true, 14, 8), ElementsAre(16, 18, 21, 22, 24, 27, 27, 27));
    EXPECT_THAT(ZoomSequence(false, 27, 9), ElementsAre(24, 22, 21, 18, 16, 14, 13, 13, 13));
}

TEST(ZoomTest, ClearsBothMarksMeasuresTracesAndRebuildsTheCaret) {
    AppState state;
    state.fontHeight = 24;
    testing::RecordingShellHost host;
    DispatchCommand(state, host, kCmdZoomIn);
    EXPECT_THAT(host.calls, ElementsAre("check 40055 0", "check 40056 0", "check 40055 1",
                                        "metrics", "scrollbars", "trace 27 : size", "caret"));
    EXPECT_TRUE(host.marks[kCmdZoomIn]);
    EXPECT_FALSE(host.marks[kCmdZoomOut]);

    host.calls.clear();
    DispatchCommand(state, host, kCmdZoomOut);
    EXPECT_THAT(host.calls, ElementsAre("check 40055 0", "check 40056 0", "metrics", "scrollbars",
                                        "trace 24 : size", "caret"));
    EXPECT_FALSE(host.marks[kCmdZoomIn]);
}

TEST(ZoomTest, InvalidatesTheWholeView) {
    AppState state;
    testing::RecordingShellHost host;
    DispatchCommand(state, host, kCmdZoomOut);
    const Damage damage = TakeDamage(state);
    EXPECT_TRUE(damage.WholeView());
    EXPECT_TRUE(host.marks[kCmdZoomOut]);
    EXPECT_EQ(state.fontHeight, 13);
}

TEST(ClearAllTest, HomesCursorAndViewAndRefreshesTheBars) {
    AppState state;
    testing::RecordingPlatform platform;
    state.numRows = 50;
    state.numCols = 100;
    ASSERT_EQ(AllocateScreen(state, platform), 0);
    {
        std::lock_guard lock(state.screenMutex);
        state.visibleRows = 10;
        state.visibleCols = 40;
    }
    for (int i = 0; i < 45; ++i)
        PutBytes(state, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>("xy\r\n"), 4));
    {
        std::lock_guard lock(state.screenMutex);
        state.leftCol = 7;
        ASSERT_GT(state.topRow, 0);
    }
    testing::RecordingShellHost host;
    DispatchCommand(state, host, kCmdClearAll);
    EXPECT_THAT(host.calls, ElementsAre("scrollbars"));
    std::lock_guard lock(state.screenMutex);
    EXPECT_EQ(state.topRow, 0);
    EXPECT_EQ(state.leftCol, 0);
    EXPECT_EQ(state.cursorRow, 0);
    EXPECT_EQ(state.cursorCol, 0);
    EXPECT_EQ(host.lastBars.vertical.pos, 0);
    EXPECT_EQ(host.lastBars.horizontal.pos, 0);
    EXPECT_EQ(host.lastBars.vertical.max, 49);
    EXPECT_EQ(state.screenBuffer->At(0, 0), ScreenBuffer::kBlank);
}

TEST(ControlBarTest, FlipsMarksLaysOutMeasuresAndSaves) {
    AppState state;
    testing::RecordingShellHost host;
    DispatchCommand(state, host, kCmdControlBar);
    EXPECT_EQ(state.controlBar, 1);
    EXPECT_THAT(host.calls,
                ElementsAre("check 40021 1", "layout", "metrics", "scrollbars", "save bar"));
    host.calls.clear();
    DispatchCommand(state, host, kCmdControlBar);
    EXPECT_EQ(state.controlBar, 0);
    EXPECT_THAT(host.calls,
                ElementsAre("check 40021 0", "layout", "metrics", "scrollbars", "save bar"));
}

TEST(ControlBarTest, AnyStoredNonZeroValueCountsAsShown) {
    AppState state;
    state.controlBar = 7;
    testing::RecordingShellHost host;
    DispatchCommand(state, host, kCmdControlBar);
    EXPECT_EQ(state.controlBar, 0);
    EXPECT_FALSE(host.marks[kCmdControlBar]);
}

TEST(HexInputTest, OnWaitsForTheHighDigitAndOffForgetsIt) {
    AppState state;
    state.keyByte = 0xA0;
    testing::RecordingShellHost host;
    DispatchCommand(state, host, kCmdHexInput);
    EXPECT_EQ(state.hexInput, 1);
    EXPECT_EQ(state.keyByte, 0);
    EXPECT_THAT(host.calls, ElementsAre("check 40050 1", "save bar"));

    state.hexInput = 2;  // the high digit was typed
    state.keyByte = 0xB0;
    host.calls.clear();
    DispatchCommand(state, host, kCmdHexInput);
    EXPECT_EQ(state.hexInput, 0);
    EXPECT_THAT(host.calls, ElementsAre("check 40050 0", "save bar"));

    host.calls.clear();
    DispatchCommand(state, host, kCmdHexInput);
    EXPECT_EQ(state.hexInput, 1);
    EXPECT_EQ(state.keyByte, 0);
}

}  // namespace
}  // namespace vellor
