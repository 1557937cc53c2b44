// Repaints, the view over the buffer and its bars, allocation, and the screen between threads.
#include <gtest/gtest.h>

#include <thread>

#include "screen/find.h"
#include "screen/viewport.h"
#include "support/screen_fixture.h"

namespace vellor::testing {
namespace {

PixelRect Cells(int row, int col, int width = 1) {
    return {col * 8, row * 16, (col + width) * 8, row * 16 + 16};
}

// A 10 x 20 buffer in a 3 x 10 view; the view follows only a visible cursor.
TEST(Damage, BytesRepaintWhatChangedAndTheViewFollowsAVisibleCursor) {
    const std::tuple<std::string, int, std::string, std::vector<PixelRect>, bool, int, int>
        cases[] = {{"A", -1, "B", {Cells(0, 1)}, false, 0, 0},
                   {"", -1, "Hello", {Cells(0, 0, 5)}, false, 0, 0},
                   {"\n\n\n\n\n", -1, "\x1b[A\x1b[A\x1b[A", {}, true, 2, 0},
                   {"", -1, std::string(12, 'x'), {}, true, 0, 3},
                   {std::string(9, '\n'), 0, "X\r\n", {Cells(9, 0, 2)}, false, 0, 0}};
    for (const auto& [before, top, input, rects, barsMoved, topRow, leftCol] : cases) {
        auto s = MakeScreen(10, 20, DisplayMode::Text, 3, 10);
        Feed(*s, before);
        if (top >= 0) s->topRow = uint16_t(top);
        TakeDamage(*s);
        Feed(*s, input);
        const Damage d = TakeDamage(*s);
        EXPECT_EQ(std::tuple(d.WholeView(), d.WholeView() ? rects : d.Rects(),
                             d.ScrollPositionsChanged(), s->topRow, s->leftCol),
                  std::tuple(rects.empty(), rects, barsMoved, topRow, leftCol))
            << before << "|" << input;
    }
    Damage merged;  // beyond the limit, rectangles merge into their bounding box
    for (int i = 0; i <= int(Damage::kMaxRects); ++i)
        merged.AddRect(Cells(2 * i, 0));
    EXPECT_EQ(merged.Rects(),
              (std::vector{PixelRect{0, 0, 8, Cells(2 * Damage::kMaxRects, 0).bottom}}));
}

// Buffer 100 x 200, view 10 x 40: a page is one less than the view; the thumb moves on release.
TEST(Viewport, ScrollCodesMoveTheOffsetWithinTheBuffer) {
    const auto V = ScrollBar::Vertical, H = ScrollBar::Horizontal;
    const std::tuple<ScrollBar, int, uint16_t, uint16_t, uint16_t> cases[] = {
        {V, kLineUp, 0, 0, 0},      {V, kThumbPosition, 42, 5, 42}, {V, kThumbPosition, 99, 5, 90},
        {V, kThumbTrack, 42, 5, 5}, {H, kLineUp, 0, 3, 2},          {H, kPageDown, 0, 0, 39},
        {H, kBottom, 0, 0, 160},    {H, kThumbPosition, 7, 0, 7}};
    for (const auto& [bar, code, thumb, from, to] : cases) {
        auto s = MakeScreen(100, 200, DisplayMode::Text, 10, 40);
        uint16_t& offset = bar == V ? s->topRow : s->leftCol;
        offset = from;
        HandleScroll(*s, bar, code, thumb);
        const Damage d = TakeDamage(*s);
        EXPECT_EQ(std::tuple(offset, d.WholeView(), d.ScrollPositionsChanged()),
                  std::tuple(to, to != from, to != from))
            << "code " << code << " from " << from;
    }
}

// Whole cells count; resizing keeps a visible cursor in view and the view in the buffer.
TEST(Viewport, MeasuringAndTheBars) {
    auto s = MakeScreen(20, 80);
    std::tie(s->topRow, s->leftCol, s->cursorRow, s->cursorCol) = std::tuple(10, 50, 19, 60);
    InitViewMetrics(*s, {8, 14}, {320, 70});  // start-up: nothing moves
    const std::tuple<uint16_t, uint16_t, ScrollBarSetup> steps[] = {
        {280, 10, {0, 19, 20, 0, true}},
        {70, 0, {0, 19, 5, 15, false}},
        {140, 15, {0, 19, 10, 10, false}},
        {100, 2, {0, 19, 7, 2, false}}};
    for (const auto& [height, top, vertical] : steps) {
        s->topRow = top;
        RecomputeViewMetrics(*s, {8, 14}, {320, height});
        EXPECT_EQ(UpdateScrollBars(*s), (ScrollBars{vertical, {0, 79, 40, 50, false}})) << height;
    }
}

// A size that cannot be had leaves no buffer and says so; a new one is blank, homed and shown.
TEST(Allocation, RefusesSizesThatCannotBeHadAndFallsBackToTheView) {
    const std::tuple<uint16_t, uint16_t, bool> sizes[] = {
        {1, 1, true}, {9999, 200, true}, {0, 80, false}, {24, 0, false}, {65535, 65535, false}};
    for (const auto& [rows, cols, ok] : sizes) {
        auto s = MakeScreen(10, 10, DisplayMode::Text, 3, 5);
        Feed(*s, "abc\r\n\r\n\r\n\r\nxyz");
        std::tie(s->numRows, s->numCols, s->leftCol) = std::tuple(rows, cols, 2);
        FakeHost host;
        EXPECT_EQ(AllocateScreen(*s, host), ok ? 0 : -1) << rows << "x" << cols;
        EXPECT_EQ(std::tuple(bool(s->screenBuffer), host.messages.size()),  // the old one is gone
                  std::tuple(ok, std::size_t(!ok)));
        ASSERT_TRUE(ok || (FitBufferToView(*s), AllocateScreen(*s, host) == 0));  // the view's size
        const Damage d = TakeDamage(*s);
        EXPECT_EQ(std::tuple(d.WholeView() && d.ImmediateRepaint(),
                             ScreenText(*s).find_first_not_of('|'), s->numRows, s->numCols,
                             s->cursorRow + s->cursorCol + s->topRow + s->leftCol),
                  std::tuple(true, std::string::npos, ok ? rows : 3, ok ? cols : 5, 0));
    }
}

// Two writers against the UI thread's every use of the screen (under TSan: every path locks).
TEST(ScreenConcurrency, WritersAndTheUiThreadNeverCorruptTheScreen) {
    auto s = MakeScreen(40, 80, DisplayMode::Text, 20, 60);
    const auto writer = [&](std::stop_token stop, char letter) {
        const std::string line = std::string(100, letter) + "\r\n\x1b[A\x1b[B\b";
        while (!stop.stop_requested())
            Feed(*s, line);
    };
    std::jthread receive(writer, 'r'), send(writer, 's');  // stopped and joined on the way out
    FakeHost host;
    for (int i = 0; i < 300; ++i) {
        {
            std::lock_guard lock(s->screenMutex);  // painting, a new mode, a new size not yet had
            EXPECT_TRUE(s->cursorRow < s->numRows && s->cursorCol < s->numCols);
            if (i % 60 == 0) s->displayMode = DisplayMode((int(s->displayMode) + 1) % 3);
            if (i % 75 == 0) s->numRows = uint16_t(20 + i % 7), s->numCols = uint16_t(30 + i % 11);
        }
        EXPECT_TRUE(i % 75 || AllocateScreen(*s, host) == 0);
        TakeDamage(*s);
        HandleScroll(*s, ScrollBar::Vertical, i % 2 ? kLineUp : kPageDown, 0);
        if (i % 20 == 0) SelectAll(*s);
        ExtendSelection(*s, i * 3, i);
        EXPECT_LE(SelectedText(*s).size(), 4u * 40 * 80);
        FindMatch(*s, {"rs"});
        if (i % 50 == 0) ClearScreen(*s);
    }
}

}  // namespace
}  // namespace vellor::testing
