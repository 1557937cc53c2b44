// The terminal view: the pixel-exact grid, the damage pump, the bars, the mouse and the caret.
#include <gtest/gtest.h>

#include <QPainter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <set>
#include <thread>

#include "screen/qt/cell_glyphs.h"
#include "screen/qt/terminal_view.h"
#include "support/screen_fixture.h"

namespace vellor::testing {
namespace {

// A shown view, unfocused, of viewRows x viewCols cells and a half over a rows x cols screen.
struct ShownView {
    ShownView(uint16_t rows, uint16_t cols, int viewRows, int viewCols, int fontHeight = 14) {
        state.fontHeight = fontHeight;
        view.show();
        (void)QTest::qWaitForWindowExposed(&view);
        view.clearFocus();
        view.InitMetrics();
        std::tie(state.numRows, state.numCols) = std::tuple(rows, cols);
        FakeHost host;
        AllocateScreen(state, host);
        state.ready = 1;
        view.ApplyScrollBars(UpdateScrollBars(state));
        SizeToCells(viewRows, viewCols);
    }
    void SizeToCells(int rows, int cols) {  // and lets the frame timer fire
        const int cw = state.cellWidth, ch = state.cellHeight;
        view.resize(view.width() - view.viewport()->width() + cols * cw + cw / 2,
                    view.height() - view.viewport()->height() + rows * ch + ch / 2);
        QTest::qWait(3 * (TerminalView::kFrameIntervalMs + 4));
    }
    QRect Cell(int row, int col) const {
        return QRect((col - state.leftCol) * state.cellWidth,
                     (row - state.topRow) * state.cellHeight, state.cellWidth, state.cellHeight);
    }

    AppState state;
    TerminalView view{state};
};

// What the view should show: every cell drawn alone at its place, each row on its own background.
QImage ReferenceImage(const ShownView& v) {
    const AppState& s = v.state;
    QImage image(v.view.viewport()->size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(v.view.ViewFont());
    const int ascent = QFontMetrics(v.view.ViewFont()).ascent();
    const Qt::GlobalColor kPens[2][2] = {{Qt::black, Qt::white}, {Qt::red, Qt::cyan}};  // marked?
    for (uint16_t r = s.topRow; r < s.numRows; ++r) {
        const ColumnSpan span = SelectedColumns(s.selection, r, s.numCols);
        painter.fillRect(v.Cell(r, s.leftCol).united(v.Cell(r, s.numCols - 1)), Qt::white);
        if (!span.Empty())
            painter.fillRect(v.Cell(r, span.from).united(v.Cell(r, span.to - 1)), Qt::black);
        for (uint16_t c = s.leftCol; c < s.numCols; ++c) {
            const uint16_t cell = s.screenBuffer->At(r, c);
            painter.setPen(kPens[s.displayMode == DisplayMode::HexChar && IsMarkedCell(cell)]
                                [c >= span.from && c < span.to]);
            painter.drawText(v.Cell(r, c).topLeft() + QPoint(0, ascent), QString(GlyphFor(cell)));
        }
    }
    return image;
}

// At every zoom size every kind of cell, selected or not, lands where the reference draws it.
TEST(ViewPainting, EveryZoomSizeLandsOnTheCellGrid) {
    std::set<std::pair<int, int>> cells;
    for (int size : {13, 14, 16, 18, 21, 22, 24, 27}) {
        ShownView v(24, 80, size % 2 ? 30 : 18, size % 2 ? 90 : 60, size);
        v.state.displayMode = DisplayMode::HexChar;
        v.state.topRow = v.state.leftCol = uint16_t(size % 3 == 0);
        for (int i = 0; i < 24 * 80; ++i)  // every code to 0x11F, and marked ones
            v.state.screenBuffer->Row(uint16_t(i / 80))[i % 80] =
                uint16_t(i % 7 ? i % 0x120 : 0x1000 + i % 0x100);
        SelectCells(v.state, {{2, 5}, {7, 30}});
        EXPECT_TRUE(v.view.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32) ==
                    ReferenceImage(v))
            << size;
        const int line = QFontMetrics(v.view.ViewFont()).height();  // the cell is the font's line
        EXPECT_TRUE(v.state.cellHeight == line && std::abs(line - size) <= 1) << size;
        cells.insert({v.state.cellWidth, v.state.cellHeight});
    }
    EXPECT_EQ(cells.size(), 8u);
}

// However the bar or the view moves, both agree; a worker's bytes reach the screen via the pump.
TEST(ViewScrollBars, BarAndViewNeverDisagreeAndWorkersArePainted) {
    ShownView v(100, 200, 10, 20);
    QScrollBar* bar = v.view.verticalScrollBar();
    const auto viewAndBar = [&] { return std::pair(int(v.state.topRow), bar->value()); };
    using A = QAbstractSlider;
    const std::tuple<A::SliderAction, int, int> actions[] = {
        {A::SliderSingleStepAdd, 5, 6}, {A::SliderSingleStepSub, 5, 4},
        {A::SliderPageStepAdd, 5, 14},  {A::SliderPageStepSub, 20, 11},
        {A::SliderToMaximum, 5, 90},    {A::SliderToMinimum, 50, 0}};
    for (const auto& [action, start, end] : actions) {
        v.state.topRow = uint16_t(start);
        v.view.ApplyScrollBars(UpdateScrollBars(v.state));
        bar->triggerAction(action);
        EXPECT_EQ(viewAndBar(), std::pair(end, end)) << action;
    }
    bar->setValue(37);  // as "Scroll here" does
    v.view.horizontalScrollBar()->setValue(12);
    EXPECT_EQ(std::tuple(v.state.topRow, v.state.leftCol), std::tuple(37, 12));
    bar->setSliderDown(true);  // a thumb dragged moves the view only once released
    bar->setSliderPosition(40);
    EXPECT_EQ(v.state.topRow, 37);
    bar->setSliderDown(false);
    EXPECT_EQ(viewAndBar(), std::pair(40, 40));

    bar->triggerAction(A::SliderToMinimum);
    v.view.horizontalScrollBar()->setValue(0);  // the cursor in view: the view follows it
    const uint64_t paints = v.view.PaintCount();
    std::thread([&] { Feed(v.state, std::string(14, '\n') + "hello\r\nworld"); }).join();
    v.SizeToCells(10, 20);
    EXPECT_TRUE(v.view.PaintCount() > paints && viewAndBar() == std::pair(6, 6));
}

// Clicks select words and rows, Shift extends, a middle click pastes; the caret follows the cursor.
TEST(ViewMouseAndCaret, SelectPasteAndFollowTheCursor) {
    ShownView v(50, 20, 10, 20);
    Feed(v.state, "foo bar baz\r\nline two");
    QWidget* area = v.view.viewport();
    const auto at = [&](int row, int col) { return v.Cell(row, col).topLeft() + QPoint(1, 5); };
    QSignalSpy changed(&v.view, &TerminalView::SelectionChanged);
    QSignalSpy paste(&v.view, &TerminalView::PasteSelectionRequested);
    v.view.setFocus();
    EXPECT_EQ(std::pair(v.view.CaretVisible(), v.view.CaretRect()), std::pair(true, v.Cell(1, 8)));

    QTest::mouseDClick(area, Qt::LeftButton, {}, at(0, 9));
    EXPECT_EQ(SelectedText(v.state), "baz");
    QTest::mouseClick(area, Qt::LeftButton, {}, at(0, 9));  // the third click
    EXPECT_EQ(SelectedText(v.state), "foo bar baz");
    QTest::mouseClick(area, Qt::LeftButton, Qt::ShiftModifier, at(1, 2));
    EXPECT_EQ(SelectedText(v.state), "foo bar baz\nline two");  // extended by rows
    const QPoint below(10, area->height() + 40);  // a drag held below the view scrolls it
    QTest::mousePress(area, Qt::LeftButton, {}, at(0, 0));
    QTest::mouseMove(area, below);
    EXPECT_TRUE(QTest::qWaitFor([&] { return v.state.topRow > 0; })) << "never scrolled";
    QTest::mouseRelease(area, Qt::LeftButton, {}, below);
    QTest::mouseClick(area, Qt::MiddleButton, {}, at(2, 2));
    EXPECT_TRUE(paste.count() == 1 && changed.count() > 0);

    v.view.verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMinimum);
    v.state.fontHeight = 27;
    v.view.RecomputeMetrics();
    v.view.RebuildCaret();
    EXPECT_EQ(std::pair(v.view.CaretVisible(), v.view.CaretRect()), std::pair(true, v.Cell(1, 8)));
    v.view.clearFocus();
    EXPECT_FALSE(v.view.CaretVisible());
}

}  // namespace
}  // namespace vellor::testing
