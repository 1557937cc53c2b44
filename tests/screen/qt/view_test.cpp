// The terminal view: cells on a pixel-exact grid at every zoom size, the damage pump, the scroll
// bars and the caret.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFocusEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <thread>

#include "app/app_state.h"
#include "screen/qt/cell_glyphs.h"
#include "screen/qt/terminal_view.h"
#include "screen/screen.h"
#include "screen/selection.h"
#include "screen/viewport.h"
#include "support/fake_host.h"
#include "support/screen_fixture.h"

namespace vellor::testing {
namespace {

// A shown view over a freshly allocated rows x cols screen, sized to whole cells when asked.
struct ShownView {
    ShownView(uint16_t rows, uint16_t cols, int width, int height, int fontHeight = 14) {
        state.fontHeight = fontHeight;
        view = std::make_unique<TerminalView>(state);
        view->resize(width, height);
        view->show();
        (void)QTest::qWaitForWindowExposed(view.get());
        view->InitMetrics();
        state.numRows = rows;
        state.numCols = cols;
        FakeHost host;
        AllocateScreen(state, host);
        state.ready = 1;
        view->ApplyScrollBars(UpdateScrollBars(state));
        Settle();
    }
    // A view of exactly rows x cols whole cells, plus half a cell that does not count.
    void SizeToCells(int rows, int cols) {
        const int cw = state.cellWidth;
        const int ch = state.cellHeight;
        view->resize(view->width() - view->viewport()->width() + cols * cw + cw / 2,
                     view->height() - view->viewport()->height() + rows * ch + ch / 2);
        Settle();
    }
    void Settle() {
        for (int i = 0; i < 3; ++i)
            QTest::qWait(TerminalView::kFrameIntervalMs + 4);
    }
    void Fill(uint16_t cell) {
        std::lock_guard lock(state.screenMutex);
        for (uint16_t r = 0; r < state.numRows; ++r)
            std::fill_n(state.screenBuffer->Row(r), state.numCols, cell);
    }
    void Focus(bool in) {
        QFocusEvent event(in ? QEvent::FocusIn : QEvent::FocusOut, Qt::OtherFocusReason);
        QApplication::sendEvent(view.get(), &event);
    }
    QImage Grab() const {
        return view->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    QRect Cell(int row, int col) const {
        return QRect((col - state.leftCol) * state.cellWidth,
                     (row - state.topRow) * state.cellHeight, state.cellWidth, state.cellHeight);
    }

    AppState state;
    std::unique_ptr<TerminalView> view;
};

// What the view should show: every cell drawn on its own at its grid place, each row on an
// opaque background that covers what a glyph of the row above let hang into it.
QImage ReferenceImage(const ShownView& v) {
    const AppState& s = v.state;
    QImage image(v.view->viewport()->size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(v.view->ViewFont());
    const int ascent = QFontMetrics(v.view->ViewFont()).ascent();
    for (int r = s.topRow; r < s.numRows; ++r) {
        const QRect row = v.Cell(r, s.leftCol);
        painter.fillRect(row.x(), row.y(), (s.numCols - s.leftCol) * s.cellWidth, row.height(),
                         Qt::white);
        for (int c = s.leftCol; c < s.numCols; ++c) {
            const uint16_t cell = s.screenBuffer->At(uint16_t(r), uint16_t(c));
            painter.setPen(s.displayMode == DisplayMode::HexChar && IsMarkedCell(cell) ? Qt::red
                                                                                       : Qt::black);
            painter.drawText(v.Cell(r, c).topLeft() + QPoint(0, ascent), QString(GlyphFor(cell)));
        }
    }
    return image;
}

int CountPixels(const QImage& image, QRect area, QRgb colour) {
    int count = 0;
    area = area.intersected(image.rect());
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += image.pixel(x, y) == colour;
    return count;
}

// One text call per row must put every glyph exactly where drawing it alone would, at every
// size the zoom commands reach; a requested height is the cell height, and every step changes it.
TEST(ViewPainting, EveryZoomSizeLandsOnTheCellGrid) {
    std::pair<int, int> previous{0, 0};
    for (int size : {13, 14, 16, 18, 21, 22, 24, 27}) {
        ShownView v(12, 40, 900, 420, size);
        v.view->clearFocus();
        int code = 0x20;  // every Latin-1 code, row after row
        for (uint16_t r = 0; r < 12; ++r)
            for (uint16_t c = 0; c < 40; ++c, code = code == 0xFF ? 0x20 : code + 1)
                v.state.screenBuffer->Row(r)[c] = uint16_t(code);
        v.view->viewport()->update();
        EXPECT_TRUE(v.Grab() == ReferenceImage(v)) << "font size " << size;
        EXPECT_LE(std::abs(int(v.state.cellHeight) - size), 1) << "font size " << size;
        const std::pair<int, int> cell{int(v.state.cellWidth), int(v.state.cellHeight)};
        EXPECT_NE(cell, previous) << "font size " << size;
        previous = cell;
    }
}

// Cells without a glyph of their own show a placeholder in their place; Hex + Char marks
// characters in red; the partly visible last row and column are drawn; beyond the buffer is
// white.
TEST(ViewPainting, PlaceholdersRedMarksPartialCellsAndWhiteBeyond) {
    ShownView v(30, 60, 100, 100);
    v.view->clearFocus();
    v.SizeToCells(5, 10);
    v.Fill('#');
    const uint16_t odd[] = {0x7F, 0x80, 0x9F, 0xAD, 0x01, 0x1041};
    for (int i = 0; i < 6; ++i)
        v.state.screenBuffer->Row(uint16_t(i / 3))[1 + 2 * (i % 3)] = odd[i];
    v.state.displayMode = DisplayMode::HexChar;
    const QImage shown = v.Grab();
    EXPECT_TRUE(shown == ReferenceImage(v));
    for (int i = 0; i < 5; ++i) {
        EXPECT_LT(CountPixels(shown, v.Cell(i / 3, 1 + 2 * (i % 3)), qRgb(255, 255, 255)),
                  v.state.cellWidth * v.state.cellHeight)
            << "cell " << odd[i];
    }
    EXPECT_GT(CountPixels(shown, v.Cell(1, 5), qRgb(255, 0, 0)), 0);
    EXPECT_EQ(CountPixels(shown, v.Cell(0, 1), qRgb(255, 0, 0)), 0);
    EXPECT_GT(CountPixels(shown, v.Cell(5, 0), qRgb(0, 0, 0)), 0);   // partly visible row
    EXPECT_GT(CountPixels(shown, v.Cell(0, 10), qRgb(0, 0, 0)), 0);  // partly visible column

    ShownView small(3, 5, 400, 200);
    small.view->clearFocus();
    small.Fill('#');
    const QImage beyond = small.Grab();
    EXPECT_TRUE(beyond == ReferenceImage(small));
    const QRect outside(5 * small.state.cellWidth, 3 * small.state.cellHeight, 100, 100);
    EXPECT_EQ(
        CountPixels(beyond, outside, qRgb(255, 255, 255)),
        outside.intersected(beyond.rect()).width() * outside.intersected(beyond.rect()).height());
}

// Bytes drawn by another thread reach the screen through the view's own damage pump.
TEST(ViewPainting, BytesFromAWorkerThreadArePainted) {
    ShownView v(10, 40, 400, 200);
    v.view->clearFocus();
    std::thread([&] {
        for (char ch : std::string("hello\r\nworld"))
            PutByte(v.state, uint8_t(ch));
    }).join();
    const uint64_t before = v.view->PaintCount();
    v.Settle();
    EXPECT_GT(v.view->PaintCount(), before);
    EXPECT_TRUE(v.Grab() == ReferenceImage(v));
}

// Every way a bar moves (its actions, a value set without one as "Scroll here" does, a dragged
// thumb once released, a worker following the cursor, a resize) leaves bar and view agreeing.
TEST(ViewScrollBars, BarAndViewNeverDisagree) {
    ShownView v(100, 200, 300, 300);
    v.SizeToCells(10, 20);
    QScrollBar* bar = v.view->verticalScrollBar();
    const struct {
        QAbstractSlider::SliderAction action;
        int start, end;
    } actions[] = {{QAbstractSlider::SliderSingleStepAdd, 5, 6},
                   {QAbstractSlider::SliderPageStepAdd, 5, 14},
                   {QAbstractSlider::SliderPageStepSub, 3, 0},
                   {QAbstractSlider::SliderToMaximum, 5, 90},
                   {QAbstractSlider::SliderToMinimum, 50, 0}};
    for (const auto& a : actions) {
        v.state.topRow = uint16_t(a.start);
        v.view->ApplyScrollBars(UpdateScrollBars(v.state));
        bar->triggerAction(a.action);
        EXPECT_EQ(v.state.topRow, a.end) << a.action;
        EXPECT_EQ(bar->value(), a.end) << a.action;
    }
    bar->setValue(37);
    EXPECT_EQ(v.state.topRow, 37);
    v.view->horizontalScrollBar()->setValue(12);
    EXPECT_EQ(v.state.leftCol, 12);

    bar->setSliderDown(true);
    bar->setSliderPosition(40);
    EXPECT_EQ(v.state.topRow, 37);  // tracking scrolls nothing
    bar->setSliderDown(false);
    EXPECT_EQ(v.state.topRow, 40);
    EXPECT_EQ(bar->value(), 40);

    bar->triggerAction(QAbstractSlider::SliderToMinimum);
    v.view->horizontalScrollBar()->setValue(0);  // the cursor in view: the view follows it
    std::thread([&] {
        for (int i = 0; i < 15; ++i)
            PutByte(v.state, '\n');
    }).join();
    v.Settle();
    EXPECT_EQ(v.state.topRow, 6);
    EXPECT_EQ(bar->value(), 6);

    v.SizeToCells(120, 20);  // the buffer fits: nowhere to scroll
    EXPECT_EQ(v.state.topRow, 0);
    EXPECT_FALSE(bar->isEnabled());
}

// The caret exists only with the focus, sits on the cursor cell, hides while the cursor is
// scrolled away, and is rebuilt at the new cell size after a zoom.
TEST(ViewCaret, FollowsFocusCursorScrollingAndZoom) {
    ShownView v(50, 40, 300, 300);
    v.SizeToCells(10, 20);
    v.Focus(false);
    PutByte(v.state, '\n');
    PutByte(v.state, 'x');
    EXPECT_FALSE(v.view->CaretVisible());
    v.Focus(true);
    EXPECT_TRUE(v.view->CaretVisible());
    EXPECT_EQ(v.view->CaretRect(), v.Cell(1, 1));

    v.view->verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
    v.Settle();
    v.view->viewport()->repaint();
    EXPECT_FALSE(v.view->CaretVisible());
    EXPECT_EQ(v.state.caretShown, 0);
    v.view->verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMinimum);
    v.Settle();
    v.view->viewport()->repaint();
    EXPECT_EQ(v.view->CaretRect(), v.Cell(1, 1));

    v.state.fontHeight = 27;
    v.view->RecomputeMetrics();
    v.view->RebuildCaret();
    EXPECT_TRUE(v.view->CaretVisible());
    EXPECT_EQ(v.view->CaretRect(), v.Cell(1, 1));
    v.Focus(false);
    EXPECT_FALSE(v.view->CaretVisible());
    EXPECT_EQ(v.state.caretShown, 1);  // kept until the next focus gain
    v.view->RebuildCaret();
    EXPECT_FALSE(v.view->CaretVisible());
}

// The mouse selects: a drag by cell boundaries, drawn inverted; a double click a word, a third
// click its row, Shift+click extends; held below the view it scrolls. A middle click asks for a
// paste.
TEST(ViewSelection, MouseSelectsDrawsInvertedScrollsAndPastes) {
    ShownView v(50, 20, 300, 300);
    v.SizeToCells(10, 20);
    Feed(v.state, "foo bar baz\r\nline two");
    QWidget* area = v.view->viewport();
    const auto at = [&](int row, int col) { return v.Cell(row, col).topLeft() + QPoint(1, 5); };
    QSignalSpy changed(v.view.get(), &TerminalView::SelectionChanged);
    QSignalSpy paste(v.view.get(), &TerminalView::PasteSelectionRequested);

    QTest::mousePress(area, Qt::LeftButton, {}, at(0, 4));
    QTest::mouseMove(area, at(1, 4));
    QTest::mouseRelease(area, Qt::LeftButton, {}, at(1, 4));
    EXPECT_EQ(SelectedText(v.state), "bar baz\nline");
    EXPECT_GE(changed.count(), 1);
    v.Settle();
    const QImage shown = v.Grab();
    const int cellArea = v.state.cellWidth * v.state.cellHeight;
    EXPECT_GT(CountPixels(shown, v.Cell(0, 8), qRgb(0, 0, 0)), cellArea / 2);  // a blank, inverted
    EXPECT_EQ(CountPixels(shown, v.Cell(0, 3), qRgb(0, 0, 0)), 0);

    QTest::mouseDClick(area, Qt::LeftButton, {}, at(0, 9));
    EXPECT_EQ(SelectedText(v.state), "baz");
    QTest::mousePress(area, Qt::LeftButton, {}, at(0, 9));
    QTest::mouseRelease(area, Qt::LeftButton, {}, at(0, 9));
    EXPECT_EQ(SelectedText(v.state), "foo bar baz");
    QTest::mouseClick(area, Qt::LeftButton, {}, at(0, 1));
    EXPECT_FALSE(HasSelection(v.state));
    QTest::mouseClick(area, Qt::LeftButton, Qt::ShiftModifier, at(1, 2));
    EXPECT_EQ(SelectedText(v.state), "oo bar baz\nli");

    QTest::mousePress(area, Qt::LeftButton, {}, at(0, 0));
    QTest::mouseMove(area, QPoint(10, area->height() + 40));
    EXPECT_TRUE(QTest::qWaitFor([&] { return v.state.topRow >= 5; })) << "never scrolled";
    QTest::mouseRelease(area, Qt::LeftButton, {}, QPoint(10, area->height() + 40));
    EXPECT_GE(v.state.selection.cells.end.row, 14);

    QTest::mouseClick(area, Qt::MiddleButton, {}, at(2, 2));
    EXPECT_EQ(paste.count(), 1);
}

}  // namespace
}  // namespace vellor::testing
