#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>
#include <utility>

#include "screen/qt/terminal_view.h"
#include "screen/qt/view_test_support.h"

namespace vellor::viewtest {
namespace {

QRect CellRect(const AppState& s, int row, int col) {
    return QRect((col - s.leftCol) * s.cellWidth, (row - s.topRow) * s.cellHeight, s.cellWidth,
                 s.cellHeight);
}

// Fills the screen with every Latin-1 code from 0x20 on, row after row, wrapping round.
void FillWithLatin1(ShownView& v) {
    int code = 0x20;
    for (uint16_t r = 0; r < v.state.numRows; ++r) {
        for (uint16_t c = 0; c < v.state.numCols; ++c) {
            v.SetCell(r, c, uint16_t(code));
            code = code == 0xFF ? 0x20 : code + 1;
        }
    }
}

class ZoomSizes : public ::testing::TestWithParam<int> {};

// One text call per row must put every glyph exactly where drawing it alone would.
TEST_P(ZoomSizes, RunsLandOnTheCellGrid) {
    ShownView v(12, 40, 900, 420, GetParam());
    v.view->clearFocus();
    ASSERT_EQ(v.state.cellHeight, QFontMetrics(v.view->ViewFont()).height());
    ASSERT_GT(v.state.cellWidth, 0);
    FillWithLatin1(v);
    v.view->viewport()->update();
    const QImage shown = v.Grab();
    const QImage expected = ReferenceImage(v);
    ASSERT_EQ(shown.size(), expected.size());
    EXPECT_TRUE(shown == expected) << "font size " << GetParam();
}

INSTANTIATE_TEST_SUITE_P(EveryZoomStep, ZoomSizes,
                         ::testing::Values(13, 14, 16, 18, 21, 22, 24, 27));

// A character height asks for the cell height, and every zoom step changes the cell.
TEST(ViewMetrics, CellIsTheRequestedHeightAndEveryZoomStepChangesIt) {
    std::pair<int, int> previous{0, 0};
    for (int size : {13, 14, 16, 18, 21, 22, 24, 27}) {
        ShownView v(2, 2, 200, 100, size);
        EXPECT_LE(std::abs(int(v.state.cellHeight) - size), 1) << "font size " << size;
        const std::pair<int, int> cell{v.state.cellWidth, v.state.cellHeight};
        EXPECT_NE(cell, previous) << "font size " << size;
        previous = cell;
    }
}

TEST(ViewPainting, CellsWithoutGlyphsKeepTheirPlaceAndShowSomething) {
    ShownView v(3, 20, 400, 120);
    v.view->clearFocus();
    const uint16_t odd[] = {0x7F, 0x80, 0x85, 0x9F, 0xAD, 0x01};
    for (uint16_t c = 0; c < 20; ++c)
        v.SetCell(0, c, 'A');
    for (int i = 0; i < 6; ++i)
        v.SetCell(0, uint16_t(1 + 2 * i), odd[i]);
    const QImage shown = v.Grab();
    EXPECT_TRUE(shown == ReferenceImage(v));
    for (int i = 0; i < 6; ++i) {
        EXPECT_FALSE(CellAllWhite(shown, CellRect(v.state, 0, 1 + 2 * i))) << "cell " << odd[i];
    }
}

TEST(ViewPainting, HexCharMarksCharactersInRedOnTheGrid) {
    ShownView v(4, 24, 400, 120);
    v.view->clearFocus();
    {
        std::lock_guard lock(v.state.screenMutex);
        v.state.displayMode = 2;
    }
    PutByte(v.state, 0x41);
    PutByte(v.state, 0x42);
    v.Settle();
    const QImage shown = v.Grab();
    EXPECT_TRUE(shown == ReferenceImage(v));
    const QRgb red = qRgb(255, 0, 0);
    // "41" black, "A" red, blank, "42", "B" red, blank.
    for (int c : {0, 1, 4, 5}) {
        EXPECT_FALSE(CellAllWhite(shown, CellRect(v.state, 0, c))) << c;
        EXPECT_TRUE(CellHasNoRed(shown, CellRect(v.state, 0, c))) << c;
    }
    for (int c : {2, 6})
        EXPECT_TRUE(CellHasColour(shown, CellRect(v.state, 0, c), red)) << c;
    // Blank cells: white apart from a neighbouring glyph's edge.
    for (int c : {3, 7, 8}) {
        EXPECT_TRUE(CellAllWhite(shown, CellRect(v.state, 0, c).adjusted(2, 0, -2, 0))) << c;
    }
}

TEST(ViewPainting, PartlyVisibleLastRowAndColumnAreDrawn) {
    // A view a little more than 5 rows and 10 columns over a larger buffer.
    ShownView v(30, 60, 100, 100);
    v.view->clearFocus();
    const int cw = v.state.cellWidth;
    const int ch = v.state.cellHeight;
    v.view->resize(v.view->width() - v.view->viewport()->width() + 10 * cw + cw / 2,
                   v.view->height() - v.view->viewport()->height() + 5 * ch + ch / 2);
    v.Settle();
    ASSERT_EQ(v.state.visibleCols, 10);
    ASSERT_EQ(v.state.visibleRows, 5);
    for (uint16_t r = 0; r < 30; ++r)
        for (uint16_t c = 0; c < 60; ++c)
            v.SetCell(r, c, '#');
    const QImage shown = v.Grab();
    EXPECT_TRUE(shown == ReferenceImage(v));
    EXPECT_FALSE(CellAllWhite(shown, CellRect(v.state, 5, 0)));
    EXPECT_FALSE(CellAllWhite(shown, CellRect(v.state, 0, 10)));
}

TEST(ViewPainting, AreaBeyondTheBufferStaysWhite) {
    ShownView v(3, 5, 400, 200);
    v.view->clearFocus();
    for (uint16_t r = 0; r < 3; ++r)
        for (uint16_t c = 0; c < 5; ++c)
            v.SetCell(r, c, '#');
    const QImage shown = v.Grab();
    EXPECT_TRUE(shown == ReferenceImage(v));
    EXPECT_FALSE(CellAllWhite(shown, CellRect(v.state, 2, 4)));
    // Repainting only the area beyond the last column and below the last row draws nothing.
    const int cw = v.state.cellWidth;
    const int ch = v.state.cellHeight;
    const QSize size = v.view->viewport()->size();
    const QRegion beyond = QRegion(5 * cw, 0, size.width() - 5 * cw, size.height()) +
                           QRegion(0, 3 * ch, size.width(), size.height() - 3 * ch);
    QImage canvas(size, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    const uint64_t paints = v.view->PaintCount();
    v.view->viewport()->render(&canvas, beyond.boundingRect().topLeft(), beyond,
                               QWidget::RenderFlags(QWidget::DrawChildren));
    EXPECT_GT(v.view->PaintCount(), paints);
    EXPECT_TRUE(CellAllWhite(canvas, canvas.rect()));
}

TEST(ViewPainting, UpdateOfOneCellRedrawsOnlyThatCell) {
    ShownView v(4, 10, 300, 120);
    v.view->clearFocus();
    QImage canvas(v.view->viewport()->size(), QImage::Format_RGB32);
    canvas.fill(Qt::white);
    for (uint16_t c = 0; c < 10; ++c)
        v.SetCell(1, c, 'X');
    const QRect one = CellRect(v.state, 1, 3);
    v.view->viewport()->render(&canvas, one.topLeft(), QRegion(one),
                               QWidget::RenderFlags(QWidget::DrawChildren));
    EXPECT_FALSE(CellAllWhite(canvas, one));
    EXPECT_TRUE(CellAllWhite(canvas, CellRect(v.state, 1, 2)));
    EXPECT_TRUE(CellAllWhite(canvas, CellRect(v.state, 1, 4)));
}

TEST(ViewPainting, BytesFromAWorkerThreadReachTheScreen) {
    ShownView v(10, 40, 400, 200);
    v.view->clearFocus();
    std::thread worker([&] {
        const std::string text = "hello\r\nworld";
        for (char ch : text)
            PutByte(v.state, uint8_t(ch));
    });
    worker.join();
    const uint64_t before = v.view->PaintCount();
    v.Settle();
    EXPECT_GT(v.view->PaintCount(), before);
    const QImage shown = v.Grab();
    EXPECT_TRUE(shown == ReferenceImage(v));
    EXPECT_FALSE(CellAllWhite(shown, CellRect(v.state, 1, 4)));
}

}  // namespace
}  // namespace vellor::viewtest
