#include <gtest/gtest.h>

#include "support/screen_fixture.h"

namespace vellor::testing {
namespace {

struct SizeCase {
    uint16_t rows;
    uint16_t cols;
    bool ok;
};

class Allocation : public ::testing::TestWithParam<SizeCase> {};

TEST_P(Allocation, RefusesSizesThatCannotHoldTheCursor) {
    const SizeCase c = GetParam();
    AppState s;
    s.numRows = c.rows;
    s.numCols = c.cols;
    RecordingPlatform platform;
    EXPECT_EQ(AllocateScreen(s, platform), c.ok ? 0 : -1);
    EXPECT_EQ(bool(s.screenBuffer), c.ok);
    if (c.ok) {
        EXPECT_TRUE(platform.messages.empty());
        EXPECT_EQ(s.screenBuffer->At(c.rows - 1, c.cols - 1), ScreenBuffer::kBlank);
    } else {
        ASSERT_EQ(platform.messages.size(), 1u);
        EXPECT_EQ(platform.messages[0].text, "AllocMem Failed");
        EXPECT_EQ(platform.messages[0].caption, "Error");
        EXPECT_EQ(platform.messages[0].owner, MessageOwner::MainWindow);
        PutByte(s, 'A');  // no buffer: nothing is written, nothing crashes
        EXPECT_EQ(s.cursorCol, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, Allocation,
                         ::testing::Values(SizeCase{24, 80, true}, SizeCase{1, 1, true},
                                           SizeCase{9999, 200, true}, SizeCase{0, 80, false},
                                           SizeCase{24, 0, false}, SizeCase{0, 0, false},
                                           SizeCase{65535, 65535, false}));

TEST(AllocationState, ReallocationHomesCursorAndViewAndDropsTheOldContent) {
    auto s = MakeScreen(10, 10, 0, 3, 5);
    Feed(*s, "abc\r\n\r\n\r\n\r\nxyz");
    s->numRows = 5;
    RecordingPlatform platform;
    ASSERT_EQ(AllocateScreen(*s, platform), 0);
    EXPECT_EQ(ScreenText(*s), "||||");
    EXPECT_EQ(s->cursorRow, 0);
    EXPECT_EQ(s->cursorCol, 0);
    EXPECT_EQ(s->topRow, 0);
    EXPECT_EQ(s->leftCol, 0);
}

TEST(AllocationState, FailedAllocationLeavesNoBuffer) {
    auto s = MakeScreen(10, 10);
    s->numRows = 0;
    RecordingPlatform platform;
    EXPECT_EQ(AllocateScreen(*s, platform), -1);
    EXPECT_FALSE(s->screenBuffer);
    // The caller's fallback: the view's size.
    s->visibleRows = 4;
    s->visibleCols = 6;
    FitBufferToView(*s);
    EXPECT_EQ(AllocateScreen(*s, platform), 0);
    EXPECT_EQ(s->screenBuffer->Rows(), 4);
    EXPECT_EQ(s->screenBuffer->Cols(), 6);
}

TEST(AllocationState, FreshStateHasTheDocumentedInitialValues) {
    AppState s;
    EXPECT_FALSE(s.portHandle);
    EXPECT_EQ(s.rxCapture.load(), 1);
    EXPECT_EQ(s.fontHeight, 14);
    EXPECT_EQ(s.displayMode, 0);
    EXPECT_EQ(s.numRows, 0);
    EXPECT_EQ(s.hexInput, 0);
    EXPECT_FALSE(s.screenBuffer);
}

}  // namespace
}  // namespace vellor::testing
