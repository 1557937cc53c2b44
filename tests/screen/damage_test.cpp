#include <gtest/gtest.h>

#include "screen/viewport.h"
#include "support/screen_fixture.h"

namespace vellor::testing {
namespace {

using Rects = std::vector<PixelRect>;

// Cells are 8 x 16 pixels in every fixture.
PixelRect Cell(int row, int col) {
    return {col * 8, row * 16, col * 8 + 8, row * 16 + 16};
}

TEST(Damage, EachCellInvalidatesTheOldCursorCell) {
    auto s = MakeScreen(25, 80);
    Feed(*s, "A");
    Damage d = TakeDamage(*s);
    EXPECT_FALSE(d.WholeView());
    EXPECT_EQ(d.Rects(), Rects{Cell(0, 0)});
    Feed(*s, "B");
    EXPECT_EQ(TakeDamage(*s).Rects(), Rects{Cell(0, 1)});
}

TEST(Damage, RunAlongARowIsOneRectangle) {
    auto s = MakeScreen(25, 80);
    Feed(*s, "Hello");
    EXPECT_EQ(TakeDamage(*s).Rects(), (Rects{PixelRect{0, 0, 40, 16}}));
}

TEST(Damage, BackspaceInvalidatesTheNewCursorCell) {
    auto s = MakeScreen(25, 80);
    Feed(*s, "ABCDE");
    TakeDamage(*s);
    Feed(*s, "\b");
    EXPECT_EQ(TakeDamage(*s).Rects(), Rects{Cell(0, 4)});
}

TEST(Damage, ScrollUnderAVisibleCursorInvalidatesTheWholeView) {
    auto s = MakeScreen(3, 4);
    Feed(*s, "\n\n");
    TakeDamage(*s);
    Feed(*s, "\n");
    Damage d = TakeDamage(*s);
    EXPECT_TRUE(d.WholeView());
    EXPECT_FALSE(d.ScrollPositionsChanged());  // the view itself did not move
    EXPECT_EQ(d.Rects(), Rects{Cell(2, 0)});
    EXPECT_EQ(s->topRow, 0);
}

TEST(Damage, ViewFollowsACursorLeavingItsLastRow) {
    auto s = MakeScreen(10, 4, 0, 3, 4);
    Feed(*s, "\n\n");
    TakeDamage(*s);
    Feed(*s, "\n");
    Damage d = TakeDamage(*s);
    EXPECT_EQ(s->topRow, 1);
    EXPECT_TRUE(d.WholeView());
    EXPECT_TRUE(d.ScrollPositionsChanged());
    EXPECT_EQ(d.Rects(), Rects{Cell(2, 0)});
}

TEST(Damage, CursorOutOfViewNeitherMovesNorRepaintsTheView) {
    auto s = MakeScreen(10, 4, 0, 3, 4);
    s->cursorRow = 9;  // the user has scrolled back to the top
    Feed(*s, "X\r\n");
    Damage d = TakeDamage(*s);
    EXPECT_FALSE(d.WholeView());
    EXPECT_EQ(s->topRow, 0);
    EXPECT_EQ(ScreenText(*s), "||||||||X|");
    // Scrolling the view one line repaints it from the current buffer.
    {
        std::lock_guard lock(s->screenMutex);
        ScrollRows(*s, 1);
    }
    EXPECT_TRUE(TakeDamage(*s).WholeView());
}

TEST(Damage, WrapWithAFollowingViewReturnsToColumnZero) {
    auto s = MakeScreen(3, 20, 0, 3, 10);
    Feed(*s, std::string(10, 'x'));
    EXPECT_EQ(s->leftCol, 1);
    Feed(*s, std::string(10, 'y'));
    EXPECT_EQ(s->cursorRow, 1);
    EXPECT_EQ(s->cursorCol, 0);
    EXPECT_EQ(s->leftCol, 0);
}

TEST(Damage, ClearScreenAsksForAnImmediateWholeRepaint) {
    auto s = MakeScreen(10, 4, 0, 3, 4);
    Feed(*s, "ab\n\n\n\ncd");
    ClearScreen(*s);
    Damage d = TakeDamage(*s);
    EXPECT_TRUE(d.WholeView());
    EXPECT_TRUE(d.ImmediateRepaint());
    EXPECT_EQ(ScreenText(*s), "|||||||||");
    EXPECT_EQ(s->topRow, 0);
    EXPECT_EQ(s->cursorRow, 0);
    EXPECT_EQ(s->cursorCol, 0);
}

TEST(Damage, ObserverIsToldOncePerTake) {
    struct Counter : ScreenObserver {
        int calls = 0;
        void DamageAdded() override { ++calls; }
    } counter;
    auto s = MakeScreen(25, 80);
    s->screenObserver = &counter;
    Feed(*s, "many bytes\r\nand lines\r\n");
    EXPECT_EQ(counter.calls, 1);
    TakeDamage(*s);
    Feed(*s, "x");
    EXPECT_EQ(counter.calls, 2);
}

TEST(Damage, ManyScatteredRectanglesCollapseIntoTheirBoundingBox) {
    Damage d;
    for (int i = 0; i < int(Damage::kMaxRects) + 5; ++i)
        d.AddRect({0, i * 32, 8, i * 32 + 16});
    ASSERT_LE(d.Rects().size(), Damage::kMaxRects);
    // Every rectangle added is still covered.
    for (int i = 0; i < int(Damage::kMaxRects) + 5; ++i) {
        const int y = i * 32;
        bool covered = false;
        for (const PixelRect& r : d.Rects())
            covered |= r.top <= y && y + 16 <= r.bottom;
        EXPECT_TRUE(covered) << i;
    }
}

}  // namespace
}  // namespace vellor::testing
