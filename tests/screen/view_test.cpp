// What the screen asks to have repainted, how the view moves over the buffer, its scroll bars and
// its measuring, allocation, and the screen shared between threads.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "screen/viewport.h"
#include "support/screen_fixture.h"

namespace vellor::testing {
namespace {

using Rects = std::vector<PixelRect>;

// Cells are 8 x 16 pixels in every fixture.
PixelRect Cells(int row, int col, int width = 1) {
    return {col * 8, row * 16, (col + width) * 8, row * 16 + 16};
}

struct DamageCase {
    const char* name;
    uint16_t rows, cols, visibleRows, visibleCols;
    std::string before;  // fed before the damage is looked at
    std::string input;
    bool whole;
    bool barsMoved;
    Rects rects;  // when not whole: exactly these
    uint16_t topRow, leftCol;
};

const DamageCase kDamageCases[] = {
    {"CellInvalidatesTheOldCursorCell", 25, 80, 0, 0, "A", "B", false, false, {Cells(0, 1)}, 0, 0},
    {"RunAlongARowIsOneRectangle", 25, 80, 0, 0, "", "Hello", false, false, {Cells(0, 0, 5)}, 0, 0},
    {"BackspaceInvalidatesTheNewCursorCell",
     25,
     80,
     0,
     0,
     "ABCDE",
     "\b",
     false,
     false,
     {Cells(0, 4)},
     0,
     0},
    {"ScrollUnderAVisibleCursorRepaintsAll", 3, 4, 0, 0, "\n\n", "\n", true, false, {}, 0, 0},
    {"ViewFollowsTheCursorOffItsLastRow", 10, 4, 3, 4, "\n\n", "\n", true, true, {}, 1, 0},
    {"WrapWithAFollowingViewReturnsLeft",
     3,
     20,
     3,
     10,
     std::string(10, 'x'),
     std::string(10, 'y'),
     true,
     true,
     {},
     0,
     0},
};

class DamageCases : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamageCases, RepaintExactlyWhatChanged) {
    const DamageCase& c = GetParam();
    auto s = MakeScreen(c.rows, c.cols, DisplayMode::Text, c.visibleRows, c.visibleCols);
    Feed(*s, c.before);
    TakeDamage(*s);
    Feed(*s, c.input);
    const Damage d = TakeDamage(*s);
    EXPECT_EQ(d.WholeView(), c.whole);
    EXPECT_EQ(d.ScrollPositionsChanged(), c.barsMoved);
    if (!c.whole) {
        EXPECT_EQ(d.Rects(), c.rects);
    }
    EXPECT_EQ(s->topRow, c.topRow);
    EXPECT_EQ(s->leftCol, c.leftCol);
}

INSTANTIATE_TEST_SUITE_P(Table, DamageCases, ::testing::ValuesIn(kDamageCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Scrolled back, the view neither moves nor repaints while lines arrive; scrolling it one line
// repaints it from the buffer as it now is.
TEST(Damage, CursorOutOfViewLeavesTheViewAlone) {
    auto s = MakeScreen(10, 4, DisplayMode::Text, 3, 4);
    s->cursorRow = 9;
    Feed(*s, "X\r\n");
    EXPECT_FALSE(TakeDamage(*s).WholeView());
    EXPECT_EQ(s->topRow, 0);
    EXPECT_EQ(ScreenText(*s), "||||||||X|");
    HandleScroll(*s, ScrollBar::Vertical, kLineDown, 0);
    EXPECT_TRUE(TakeDamage(*s).WholeView());
}

TEST(Damage, ClearHomesAndAsksForAnImmediateWholeRepaint) {
    auto s = MakeScreen(10, 4, DisplayMode::Text, 3, 4);
    Feed(*s, "ab\n\n\n\ncd");
    ClearScreen(*s);
    const Damage d = TakeDamage(*s);
    EXPECT_TRUE(d.WholeView() && d.ImmediateRepaint());
    EXPECT_EQ(ScreenText(*s), "|||||||||");
    EXPECT_EQ(s->topRow + s->cursorRow + s->cursorCol, 0);
}

// The view's wake-up comes once per take however much is drawn; scattered rectangles beyond the
// limit merge into one that still covers them all.
TEST(Damage, ObserverOncePerTakeAndRectanglesMerge) {
    struct Counter : ScreenObserver {
        int calls = 0;
        void DamageAdded() override { ++calls; }
    } counter;
    auto s = MakeScreen(25, 80);
    s->screenObserver = &counter;
    Feed(*s, "many bytes\r\nand lines\r\n");
    TakeDamage(*s);
    Feed(*s, "x");
    EXPECT_EQ(counter.calls, 2);

    Damage d;
    const int count = int(Damage::kMaxRects) + 5;
    for (int i = 0; i < count; ++i)
        d.AddRect({0, i * 32, 8, i * 32 + 16});
    ASSERT_LE(d.Rects().size(), Damage::kMaxRects);
    for (int i = 0; i < count; ++i) {
        bool covered = false;
        for (const PixelRect& r : d.Rects())
            covered |= r.top <= i * 32 && i * 32 + 16 <= r.bottom;
        EXPECT_TRUE(covered) << i;
    }
}

struct ScrollCase {
    ScrollBar bar;
    int code;
    uint16_t thumb;
    int start;
    int end;
};

// Buffer 100 x 200, view 10 x 40: pages move one less than the view, the ends are the buffer's
// ends, the thumb scrolls only when released, and unknown codes do nothing.
TEST(Viewport, ScrollCodesMoveTheOffsetWithinTheBuffer) {
    const auto V = ScrollBar::Vertical, H = ScrollBar::Horizontal;
    const ScrollCase cases[] = {
        {V, kLineDown, 0, 0, 1},
        {V, kLineUp, 0, 0, 0},
        {V, kPageDown, 0, 0, 9},
        {V, kPageUp, 0, 20, 11},
        {V, kBottom, 0, 0, 90},
        {V, kTop, 0, 50, 0},
        {V, kThumbPosition, 42, 5, 42},
        {V, kThumbPosition, 99, 5, 90},
        {V, kThumbTrack, 42, 5, 5},
        {V, kEndScroll, 0, 5, 5},
        {V, 77, 0, 5, 5},
        {H, kLineDown, 0, 0, 1},
        {H, kPageDown, 0, 0, 39},
        {H, kPageUp, 0, 60, 21},
        {H, kBottom, 0, 0, 160},
        {H, kThumbPosition, 7, 0, 7},
    };
    for (const ScrollCase& c : cases) {
        auto s = MakeScreen(100, 200, DisplayMode::Text, 10, 40);
        uint16_t& offset = c.bar == V ? s->topRow : s->leftCol;
        offset = uint16_t(c.start);
        HandleScroll(*s, c.bar, c.code, c.thumb);
        SCOPED_TRACE(::testing::Message() << "code " << c.code << " from " << c.start);
        EXPECT_EQ(offset, c.end);
        const Damage d = TakeDamage(*s);
        EXPECT_EQ(d.WholeView(), c.end != c.start);
        EXPECT_EQ(d.ScrollPositionsChanged(), c.end != c.start);
    }
}

TEST(Viewport, BarsShowTheOffsetsAndWhetherThereIsAnywhereToScroll) {
    auto fits = MakeScreen(10, 40, DisplayMode::Text, 20, 80);
    for (int code : {kLineDown, kPageDown, kBottom})
        HandleScroll(*fits, ScrollBar::Vertical, code, 0);
    EXPECT_EQ(fits->topRow, 0);
    ScrollBars bars = UpdateScrollBars(*fits);
    EXPECT_EQ(bars.vertical, (ScrollBarSetup{0, 9, 20, 0, true}));  // shown, disabled
    EXPECT_TRUE(bars.vertical.Visible() && !bars.vertical.Enabled());
    EXPECT_FALSE(bars.horizontal.Visible());

    auto big = MakeScreen(100, 200, DisplayMode::Text, 10, 40);
    big->topRow = 7;
    big->leftCol = 3;
    bars = UpdateScrollBars(*big);
    EXPECT_EQ(bars.vertical, (ScrollBarSetup{0, 99, 10, 7, false}));
    EXPECT_EQ(bars.horizontal, (ScrollBarSetup{0, 199, 40, 3, false}));
    EXPECT_TRUE(bars.vertical.Enabled() && bars.horizontal.Visible());

    bars = ResetScrollBars();
    EXPECT_TRUE(bars.vertical.Visible() && !bars.vertical.Enabled());
    EXPECT_FALSE(bars.horizontal.Visible());
}

TEST(Viewport, FollowingTheCursorMovesTheViewByTheLeastAmount) {
    auto s = MakeScreen(100, 200, DisplayMode::Text, 10, 40);
    std::lock_guard lock(s->screenMutex);
    s->cursorRow = 50;
    s->cursorCol = 100;
    EnsureCursorVisible(*s);
    EXPECT_EQ(s->topRow, 41);   // the cursor on the bottom row
    EXPECT_EQ(s->leftCol, 61);  // and the rightmost column
    s->cursorRow = 5;
    s->cursorCol = 2;
    EnsureCursorVisible(*s);
    EXPECT_EQ(s->topRow, 5);
    EXPECT_EQ(s->leftCol, 2);
}

// Whole cells only count; a shorter view keeps a visible cursor on its last row; a taller one
// ending at the buffer's end pulls back; a cursor out of view gets only the clamp; columns keep.
TEST(Viewport, MeasuringCountsWholeCellsReanchorsAndClamps) {
    constexpr CellSize kCell{8, 14};
    auto s = MakeScreen(20, 80);
    InitViewMetrics(*s, kCell, ClientSize{320, 100});
    EXPECT_EQ(s->visibleRows, 7);  // 2 pixels of an eighth row do not count
    EXPECT_EQ(s->visibleCols, 40);
    s->cursorRow = 7;
    EXPECT_FALSE(CursorInView(*s));

    s->topRow = 10;
    s->cursorRow = 19;
    RecomputeViewMetrics(*s, kCell, ClientSize{640, 280});  // 20 rows: the whole buffer
    EXPECT_EQ(s->topRow, 0);
    RecomputeViewMetrics(*s, kCell, ClientSize{640, 70});  // 5 rows
    EXPECT_EQ(s->topRow, 15);                              // the cursor on the last row
    RecomputeViewMetrics(*s, kCell, ClientSize{640, 140});
    EXPECT_EQ(s->topRow, 10);  // clamped to the buffer's end
    s->topRow = 2;
    RecomputeViewMetrics(*s, kCell, ClientSize{640, 70});  // cursor out of view
    EXPECT_EQ(s->topRow, 2);
    s->leftCol = 50;
    RecomputeViewMetrics(*s, kCell, ClientSize{320, 70});
    EXPECT_EQ(s->leftCol, 50);            // columns are neither re-anchored nor clamped
    EXPECT_TRUE(TakeDamage(*s).Empty());  // measuring repaints nothing by itself
}

TEST(Allocation, RefusesSizesThatCannotHoldTheCursorAndFallsBackToTheView) {
    struct Size {
        uint16_t rows, cols;
        bool ok;
    } sizes[] = {{24, 80, true}, {1, 1, true},   {9999, 200, true},
                 {0, 80, false}, {24, 0, false}, {65535, 65535, false}};
    for (const Size& size : sizes) {
        auto s = MakeScreen(10, 10, DisplayMode::Text, 3, 5);
        Feed(*s, "abc\r\n\r\n\r\n\r\nxyz");
        s->numRows = size.rows;
        s->numCols = size.cols;
        FakeHost host;
        SCOPED_TRACE(::testing::Message() << size.rows << "x" << size.cols);
        EXPECT_EQ(AllocateScreen(*s, host), size.ok ? 0 : -1);
        EXPECT_EQ(bool(s->screenBuffer), size.ok);  // the old buffer is gone either way
        if (size.ok) {
            EXPECT_TRUE(host.messages.empty());
            EXPECT_EQ(s->screenBuffer->At(size.rows - 1, size.cols - 1), ScreenBuffer::kBlank);
            EXPECT_EQ(s->cursorRow + s->cursorCol + s->topRow + s->leftCol, 0);
            continue;
        }
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].text, "AllocMem Failed");
        EXPECT_EQ(host.messages[0].caption, "Error");
        FitBufferToView(*s);
        ASSERT_EQ(AllocateScreen(*s, host), 0);
        EXPECT_EQ(s->screenBuffer->Rows(), 3);
        EXPECT_EQ(s->screenBuffer->Cols(), 5);
    }
    const AppState fresh;  // before anything is loaded
    EXPECT_FALSE(fresh.portHandle);
    EXPECT_EQ(fresh.rxCapture.load(), 1);
    EXPECT_EQ(fresh.fontHeight, 14);
}

// Two writers draw while the UI thread paints, scrolls, selects, copies, clears, reallocates and
// switches modes.
// Under ThreadSanitizer this proves every path takes the screen lock; everywhere it proves the
// cursor never leaves the buffer.
TEST(ScreenConcurrency, WritersAndTheUiThreadNeverCorruptTheScreen) {
    auto s = MakeScreen(40, 80, DisplayMode::Text, 20, 60);
    std::atomic<bool> stop{false};
    auto writer = [&](char letter) {
        const std::string line = std::string(100, letter) + "\r\n\x1b[A\x1b[B\b";
        while (!stop.load())
            Feed(*s, line);
    };
    std::thread receive(writer, 'r');
    std::thread send(writer, 's');
    FakeHost host;
    for (int i = 0; i < 300; ++i) {
        {
            std::lock_guard lock(s->screenMutex);  // what painting does
            ASSERT_LT(s->cursorRow, s->numRows);
            ASSERT_LT(s->cursorCol, s->numCols);
        }
        TakeDamage(*s);
        HandleScroll(*s, ScrollBar::Vertical, i % 2 ? kLineUp : kPageDown, 0);
        if (i % 20 == 0) SelectAll(*s);
        ExtendSelection(*s, i * 3, i);
        ASSERT_LE(SelectedText(*s).size(), 4u * 40 * 80);
        if (i % 50 == 0) ClearScreen(*s);
        if (i % 75 == 0) {
            {
                std::lock_guard lock(s->screenMutex);
                s->numRows = uint16_t(20 + i % 7);
                s->numCols = uint16_t(30 + i % 11);
            }
            ASSERT_EQ(AllocateScreen(*s, host), 0);
        }
        if (i % 60 == 0) {
            std::lock_guard lock(s->screenMutex);
            s->displayMode = DisplayMode((int(s->displayMode) + 1) % 3);
        }
    }
    stop = true;
    receive.join();
    send.join();
}

}  // namespace
}  // namespace vellor::testing
