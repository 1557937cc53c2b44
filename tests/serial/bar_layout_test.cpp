#include "serial/bar_layout.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace vellor {
namespace {

struct LayoutCase {
    int width;
    // Left edges of DTR, DSR, RTS, CTS, CD, RI.
    std::array<int, 6> lefts;
};

class BarLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(BarLayoutTest, PlacesTheBoxesByTheGapArithmetic) {
    const LayoutCase& c = GetParam();
    const int height = 300;
    const MainLayout layout = LayoutMainWindow(c.width, height, true);
    EXPECT_EQ(layout.view, (ChildRect{0, 0, c.width, height - 17}));
    ASSERT_TRUE(layout.boxesPlaced);
    const std::array<BoxIndex, 6> order = {kDtrBox, kDsrBox, kRtsBox, kCtsBox, kCdBox, kRiBox};
    for (int i = 0; i < 6; ++i) {
        const ChildRect& box = layout.boxes[order[i]];
        EXPECT_EQ(box.x, c.lefts[i]) << kBoxLabels[order[i]] << " at width " << c.width;
        EXPECT_EQ(box.y, height - 16);
        EXPECT_EQ(box.height, 15);
        EXPECT_EQ(box.width, kBoxWidths[order[i]]);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Widths, BarLayoutTest,
    ::testing::Values(
        LayoutCase{240, {7, 67, 127, 187, 240, 240}}, LayoutCase{255, {9, 72, 135, 198, 255, 255}},
        LayoutCase{256, {0, 45, 90, 135, 180, 220}}, LayoutCase{257, {0, 45, 90, 135, 180, 220}},
        LayoutCase{261, {0, 46, 92, 138, 184, 225}}, LayoutCase{320, {5, 60, 115, 170, 225, 275}},
        LayoutCase{480, {18, 100, 182, 264, 346, 423}},
        LayoutCase{800, {45, 180, 315, 450, 585, 715}},
        // Exactly the four boxes, then narrower: the boxes overlap.
        LayoutCase{180, {0, 45, 90, 135, 180, 180}}, LayoutCase{179, {0, 45, 90, 135, 179, 179}},
        LayoutCase{100, {-10, 15, 40, 65, 100, 100}}, LayoutCase{0, {-22, -22, -22, -22, 0, 0}}));

TEST(BarLayoutTest, WithoutTheBarTheViewTakesTheWholeClientArea) {
    const MainLayout layout = LayoutMainWindow(480, 300, false);
    EXPECT_EQ(layout.view, (ChildRect{0, 0, 480, 300}));
    EXPECT_FALSE(layout.boxesPlaced);
}

TEST(BarLayoutTest, PlacingOrderIsDtrDsrRtsCtsCdRi) {
    const MainLayout layout = LayoutMainWindow(480, 300, true);
    EXPECT_EQ(layout.placingOrder,
              (std::array<BoxIndex, 6>{kDtrBox, kDsrBox, kRtsBox, kCtsBox, kCdBox, kRiBox}));
}

TEST(BarLayoutTest, LabelsAndWidthsByCommandOrder) {
    const std::array<std::string, 6> labels = {"DTR", "RTS", "DSR", "CTS", "CD", "RI"};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(kBoxLabels[i], labels[i]);
    EXPECT_EQ(kBoxWidths, (std::array<int, 6>{45, 45, 45, 45, 40, 35}));
}

}  // namespace
}  // namespace vellor
