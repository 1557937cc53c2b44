#include <QCheckBox>
#include <QImage>

#include "app/command_ids.h"
#include "app/qt/app_fixture.h"
#include "app/qt/client_area.h"
#include "screen/qt/terminal_view.h"
#include "serial/qt/control_bar.h"

namespace vellor::testing {
namespace {

class LayoutQtTest : public AppFixture, public ::testing::WithParamInterface<int> {};

TEST_P(LayoutQtTest, ResizingPlacesViewAndBoxesByTheLayout) {
    Start();
    window_->Command(kCmdControlBar);
    const int width = GetParam();
    window_->setMinimumSize(0, 0);
    window_->resize(width, 400);
    QApplication::processEvents();
    const QWidget* client = window_->Client();
    ASSERT_EQ(client->width(), width);
    const int h = client->height();
    EXPECT_EQ(window_->View()->geometry(), QRect(0, 0, width, h - 17));
    const MainLayout layout = LayoutMainWindow(width, h, true);
    for (int i = 0; i < kBoxCount; ++i) {
        const ChildRect& r = layout.boxes[i];
        EXPECT_EQ(window_->Bar()->Box(BoxIndex(i))->geometry(), QRect(r.x, r.y, r.width, r.height))
            << kBoxLabels[i];
    }
    // Narrow: CD and RI just beyond the right edge.
    if (width <= 255) {
        EXPECT_EQ(window_->Bar()->Box(kCdBox)->x(), width);
        EXPECT_EQ(window_->Bar()->Box(kRiBox)->x(), width);
    }
}

INSTANTIATE_TEST_SUITE_P(Widths, LayoutQtTest, ::testing::Values(240, 255, 256, 320, 480, 640));

TEST(ClientAreaTest, PaintsTheGreyBandItsBlackLineAndWhiteBelow) {
    ClientArea area;
    area.resize(300, 100);
    QImage image(area.size(), QImage::Format_RGB32);
    image.fill(Qt::blue);
    area.render(&image);
    for (int x : {0, 150, 299}) {
        for (int y = 0; y < 16; ++y)
            EXPECT_EQ(image.pixel(x, y), qRgb(192, 192, 192)) << y;
        EXPECT_EQ(image.pixel(x, 16), qRgb(0, 0, 0));
        for (int y = 17; y < 100; ++y)
            EXPECT_EQ(image.pixel(x, y), qRgb(255, 255, 255)) << y;
    }
}

using BarStripTest = AppFixture;

TEST_F(BarStripTest, ShowsWhiteAboveAndBelowTheBoxes) {
    Start();
    window_->Command(kCmdControlBar);
    QApplication::processEvents();
    const QImage image = window_->Client()->grab().toImage();
    const int h = image.height();
    // The row above the boxes and the last row are the client area's white.
    for (int x = 0; x < image.width(); x += 7) {
        EXPECT_EQ(image.pixel(x, h - 17), qRgb(255, 255, 255)) << x;
        EXPECT_EQ(image.pixel(x, h - 1), qRgb(255, 255, 255)) << x;
    }
}

}  // namespace
}  // namespace vellor::testing
