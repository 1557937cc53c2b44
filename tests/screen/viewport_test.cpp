#include <gtest/gtest.h>

#include "screen/viewport.h"
#include "support/screen_fixture.h"

namespace vellor::testing {
namespace {

constexpr CellSize kCell{8, 14};

TEST(ViewMetrics, PartlyVisibleRowIsNotCounted) {
    auto s = MakeScreen(50, 80);
    InitViewMetrics(*s, kCell, ClientSize{640, 100});
    EXPECT_EQ(s->visibleRows, 7);
    EXPECT_EQ(s->visibleCols, 80);
    EXPECT_EQ(s->cellHeight, 14);
    EXPECT_EQ(s->cellWidth, 8);
    s->cursorRow = 7;
    EXPECT_FALSE(CursorInView(*s));
}

TEST(ViewMetrics, ShrinkingKeepsACursorOnTheLastRowVisible) {
    auto s = MakeScreen(50, 80);
    RecomputeViewMetrics(*s, kCell, ClientSize{640, 140});  // 10 rows
    s->cursorRow = 9;
    RecomputeViewMetrics(*s, kCell, ClientSize{640, 70});  // 5 rows
    EXPECT_EQ(s->topRow, 5);
    EXPECT_TRUE(CursorInView(*s));
}

TEST(ViewMetrics, GrowingAtTheEndPullsTheTopBack) {
    auto s = MakeScreen(20, 80);
    RecomputeViewMetrics(*s, kCell, ClientSize{640, 140});
    s->topRow = 10;
    s->cursorRow = 19;
    RecomputeViewMetrics(*s, kCell, ClientSize{640, 280});  // 20 rows fit
    EXPECT_EQ(s->topRow, 0);
    RecomputeViewMetrics(*s, kCell, ClientSize{640, 70});
    EXPECT_EQ(s->topRow, 15);  // re-anchored on the cursor
    RecomputeViewMetrics(*s, kCell, ClientSize{640, 140});
    EXPECT_EQ(s->topRow, 10);  // clamped to the buffer's end
}

TEST(ViewMetrics, CursorOutOfViewGetsOnlyTheClamp) {
    auto s = MakeScreen(20, 80);
    RecomputeViewMetrics(*s, kCell, ClientSize{640, 140});
    s->topRow = 2;
    s->cursorRow = 19;
    RecomputeViewMetrics(*s, kCell, ClientSize{640, 70});
    EXPECT_EQ(s->topRow, 2);
}

TEST(ViewMetrics, WiderViewKeepsLeftColumn) {
    auto s = MakeScreen(20, 80);
    RecomputeViewMetrics(*s, kCell, ClientSize{320, 140});
    s->leftCol = 50;
    RecomputeViewMetrics(*s, kCell, ClientSize{640, 140});
    EXPECT_EQ(s->leftCol, 50);
}

TEST(ViewMetrics, RecomputeNeitherInvalidatesNorTouchesBars) {
    auto s = MakeScreen(20, 80);
    RecomputeViewMetrics(*s, kCell, ClientSize{640, 70});
    EXPECT_TRUE(TakeDamage(*s).Empty());
}

struct ScrollCase {
    const char* name;
    ScrollBar bar;
    int code;
    uint16_t thumb;
    int startOffset;
    int expectedOffset;
};

// Buffer 100 x 200, view 10 x 40.
const ScrollCase kScrollCases[] = {
    {"LineDown", ScrollBar::Vertical, kLineDown, 0, 0, 1},
    {"LineUpAtTop", ScrollBar::Vertical, kLineUp, 0, 0, 0},
    {"PageDownMovesOneLessThanTheView", ScrollBar::Vertical, kPageDown, 0, 0, 9},
    {"PageUp", ScrollBar::Vertical, kPageUp, 0, 20, 11},
    {"Bottom", ScrollBar::Vertical, kBottom, 0, 0, 90},
    {"Top", ScrollBar::Vertical, kTop, 0, 50, 0},
    {"ThumbRelease", ScrollBar::Vertical, kThumbPosition, 42, 5, 42},
    {"ThumbReleaseBeyondEnd", ScrollBar::Vertical, kThumbPosition, 99, 5, 90},
    {"ThumbTrackIgnored", ScrollBar::Vertical, kThumbTrack, 42, 5, 5},
    {"EndScrollIgnored", ScrollBar::Vertical, kEndScroll, 0, 5, 5},
    {"UnknownCodeIgnored", ScrollBar::Vertical, 77, 0, 5, 5},
    {"LineRight", ScrollBar::Horizontal, kLineDown, 0, 0, 1},
    {"PageRight", ScrollBar::Horizontal, kPageDown, 0, 0, 39},
    {"Right", ScrollBar::Horizontal, kBottom, 0, 0, 160},
    {"Left", ScrollBar::Horizontal, kTop, 0, 100, 0},
    {"ThumbHorizontal", ScrollBar::Horizontal, kThumbPosition, 7, 0, 7},
};

class ScrollCodes : public ::testing::TestWithParam<ScrollCase> {};

TEST_P(ScrollCodes, MoveTheOffsetWithinTheBuffer) {
    const ScrollCase& c = GetParam();
    auto s = MakeScreen(100, 200, 0, 10, 40);
    uint16_t& offset = c.bar == ScrollBar::Vertical ? s->topRow : s->leftCol;
    offset = uint16_t(c.startOffset);
    HandleScroll(*s, c.bar, c.code, c.thumb);
    EXPECT_EQ(offset, c.expectedOffset);
    Damage d = TakeDamage(*s);
    const bool moved = c.expectedOffset != c.startOffset;
    EXPECT_EQ(d.WholeView(), moved);
    EXPECT_EQ(d.ScrollPositionsChanged(), moved);
}

INSTANTIATE_TEST_SUITE_P(Codes, ScrollCodes, ::testing::ValuesIn(kScrollCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ScrollBars, BufferThatFitsKeepsTopAtZeroAndDisablesTheBar) {
    auto s = MakeScreen(10, 40, 0, 20, 80);
    for (int code : {kLineDown, kPageDown, kBottom}) {
        HandleScroll(*s, ScrollBar::Vertical, code, 0);
        EXPECT_EQ(s->topRow, 0);
    }
    EXPECT_TRUE(TakeDamage(*s).Empty());
    const ScrollBars bars = UpdateScrollBars(*s);
    EXPECT_EQ(bars.vertical, (ScrollBarSetup{0, 9, 20, 0, true}));
    EXPECT_TRUE(bars.vertical.Visible());
    EXPECT_FALSE(bars.vertical.Enabled());
    EXPECT_EQ(bars.horizontal, (ScrollBarSetup{0, 39, 80, 0, false}));
    EXPECT_FALSE(bars.horizontal.Visible());
}

TEST(ScrollBars, TallAndWideBufferShowsBothBarsAtTheOffsets) {
    auto s = MakeScreen(100, 200, 0, 10, 40);
    s->topRow = 7;
    s->leftCol = 3;
    const ScrollBars bars = UpdateScrollBars(*s);
    EXPECT_EQ(bars.vertical, (ScrollBarSetup{0, 99, 10, 7, false}));
    EXPECT_TRUE(bars.vertical.Enabled());
    EXPECT_EQ(bars.horizontal, (ScrollBarSetup{0, 199, 40, 3, false}));
    EXPECT_TRUE(bars.horizontal.Visible());
}

TEST(ScrollBars, ResetShowsADisabledVerticalBarAndNoHorizontalOne) {
    const ScrollBars bars = ResetScrollBars();
    EXPECT_TRUE(bars.vertical.Visible());
    EXPECT_FALSE(bars.vertical.Enabled());
    EXPECT_FALSE(bars.horizontal.Visible());
}

TEST(EnsureCursor, MovesTheViewByTheLeastAmount) {
    auto s = MakeScreen(100, 200, 0, 10, 40);
    std::lock_guard lock(s->screenMutex);
    s->cursorRow = 50;
    s->cursorCol = 100;
    EnsureCursorVisible(*s);
    EXPECT_EQ(s->topRow, 41);   // cursor on the bottom row
    EXPECT_EQ(s->leftCol, 61);  // and the rightmost column
    s->cursorRow = 5;
    s->cursorCol = 2;
    EnsureCursorVisible(*s);
    EXPECT_EQ(s->topRow, 5);  // cursor on the top row
    EXPECT_EQ(s->leftCol, 2);
}

}  // namespace
}  // namespace vellor::testing
